// The profile reader on arbitrary text: it never reads outside its input, and
// what is written reads back the same, also after a round through the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/ProfileFile.h"

namespace {

// Splits the input into up to four parts at "\x01" bytes: the file text, then
// a section, key and value to write.
std::string_view Part(std::string_view& rest) {
  std::size_t cut = rest.find('\x01');
  std::string_view part = rest.substr(0, cut);
  rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
  return part;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string_view text = Part(rest);
  const std::string_view section = Part(rest);
  const std::string_view key = Part(rest);
  const std::string_view value = Part(rest);

  platform::ProfileFile f = platform::ProfileFile::FromText("fuzz.ini", text);
  const std::string before = f.ReadString(section, key, "\x02");
  (void)f.ReadInteger(section, key, 0);
  (void)f.HasKey(section, "Proxy");

  // Saving and reading again changes no value.
  const platform::ProfileFile again = platform::ProfileFile::FromText("fuzz.ini", f.Text());
  if (again.ReadString(section, key, "\x02") != before) std::abort();

  if (f.WriteString(section, key, value)) {
    if (f.ReadString(section, key, "\x02") != value) std::abort();
    const platform::ProfileFile written = platform::ProfileFile::FromText("fuzz.ini", f.Text());
    if (written.ReadString(section, key, "\x02") != value) std::abort();
  }
  return 0;
}
