// libFuzzer target for the response header and chunk parser: the input is cut
// into arrivals (sizes from its first byte), header lines go through the line
// buffer and the field readers, and everything after the empty line through
// the chunk decoder. Nothing may be read or written outside the input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/HttpResponseParser.h"
#include "net/HttpUrl.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t piece = (data[0] % 64) + 1;
  const char* in = reinterpret_cast<const char*>(data + 1);
  const std::size_t len = size - 1;

  net::THttpLineBuffer lines;
  net::THttpChunkDecoder chunks;
  bool inBody = false;
  std::int64_t total = 0;
  std::string begin, end;
  for (std::size_t at = 0; at < len;) {
    const std::size_t n = len - at < piece ? len - at : piece;
    const char* p = in + at;
    std::size_t off = 0;
    while (off < n) {
      if (!inBody) {
        std::string line;
        bool got = false, cr = false;
        std::size_t used = lines.Feed(p + off, n - off, line, got, cr);
        if (used == 0) return 0;
        off += used;
        if (!got) continue;
        if (line.empty()) {
          inBody = true;
          continue;
        }
        if (net::IsStatusLine(line)) {
          net::TStatusLine s = net::ParseStatusLine(line);
          (void)s;
        }
        std::size_t colon = line.find(':');
        if (colon != std::string::npos) {
          std::string_view value = std::string_view(line).substr(colon + 1);
          (void)net::ParseContentLength(value);
          net::ParseContentRange(value, begin, end);
          (void)net::ResolveLocation(value, "http", "h", "80", "/a/b?c");
          (void)net::ParseURL(value, "/a/b");
        }
      } else {
        const char* payload = nullptr;
        std::size_t payloadLen = 0;
        std::size_t used = chunks.Feed(p + off, n - off, payload, payloadLen);
        if (payloadLen) {
          // The payload must lie inside this arrival.
          if (payload < p + off || payload + payloadLen > p + n) __builtin_trap();
          total += static_cast<std::int64_t>(payloadLen);
        }
        if (chunks.Finished()) return 0;
        if (used == 0) return 0;
        off += used;
      }
    }
    at += n;
  }
  (void)total;
  return 0;
}
