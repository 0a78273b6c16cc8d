// A port on 127.0.0.1 that was free a moment ago: bound, read back and
// released, for a server a test starts itself or for a port nothing listens on.
#pragma once

#include <cstdint>

namespace testsupport {

std::uint16_t FreeLoopbackPort();

}  // namespace testsupport
