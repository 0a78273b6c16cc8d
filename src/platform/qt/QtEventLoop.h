// The event loop on Qt's dispatcher: posts become posted QEvents, timers
// QTimers and descriptor watches QSocketNotifiers. A QCoreApplication (or
// QApplication) must exist on the calling thread before the loop is created.
#pragma once

#include <memory>

#include "platform/EventLoop.h"

namespace platform {

std::unique_ptr<EventLoop> CreateQtEventLoop();

}  // namespace platform
