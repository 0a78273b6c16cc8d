// Header lines, chunked bodies and response fields, each table fed whole,
// byte by byte and in random splits.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "net/HttpResponseParser.h"

using namespace net;

namespace {

// The ways one input is cut into arrivals.
std::vector<std::vector<std::string>> Splits(const std::string& input) {
  std::vector<std::vector<std::string>> all;
  all.push_back({input});
  std::vector<std::string> bytes;
  for (char c : input) bytes.emplace_back(1, c);
  all.push_back(bytes);
  std::mt19937 rng(static_cast<unsigned>(input.size()) * 7919u + 17u);
  for (int round = 0; round < 8; ++round) {
    std::vector<std::string> pieces;
    std::size_t at = 0;
    while (at < input.size()) {
      std::size_t n = std::uniform_int_distribution<std::size_t>(1, 40)(rng);
      pieces.push_back(input.substr(at, n));
      at += n;
    }
    all.push_back(pieces);
  }
  return all;
}

struct LineResult {
  std::vector<std::string> lines;
  std::string rest;  // bytes not taken
  int overflows = 0;
};

// Feeds lines until `stopAtEmpty` finds the empty line; what follows it is
// the rest (the body).
LineResult FeedLines(const std::vector<std::string>& pieces, bool stopAtEmpty = true) {
  THttpLineBuffer buffer;
  LineResult r;
  bool stopped = false;
  for (const auto& piece : pieces) {
    std::size_t off = 0;
    while (!stopped && off < piece.size()) {
      std::string line;
      bool got = false, cr = false;
      off += buffer.Feed(piece.data() + off, piece.size() - off, line, got, cr);
      if (got) {
        r.lines.push_back(line);
        if (stopAtEmpty && line.empty()) stopped = true;
      }
    }
    if (stopped) r.rest += piece.substr(off);
  }
  r.overflows = buffer.Overflows();
  return r;
}

TEST(HttpLineBufferTest, CutsLinesAtLineFeedsInEverySplit) {
  const struct {
    std::string input;
    std::vector<std::string> lines;
    std::string rest;
  } cases[] = {
      {"HTTP/1.0 200 OK\r\nA: b\r\n\r\nbody", {"HTTP/1.0 200 OK", "A: b", ""}, "body"},
      {"HTTP/1.1 200 OK\nA: b\n\nbo\r\ndy", {"HTTP/1.1 200 OK", "A: b", ""}, "bo\r\ndy"},
      {"X\r\r\n\r\n", {"X\r", ""}, ""},
      {"\r\nafter", {""}, "after"},
  };
  for (const auto& c : cases) {
    for (const auto& pieces : Splits(c.input)) {
      LineResult r = FeedLines(pieces);
      EXPECT_EQ(r.lines, c.lines) << c.input << " in " << pieces.size() << " pieces";
      EXPECT_EQ(r.rest, c.rest) << c.input << " in " << pieces.size() << " pieces";
    }
  }
}

TEST(HttpLineBufferTest, OverlongLineIsDroppedAndTheHeaderGoesOn) {
  const std::string exact(THttpLineBuffer::kCapacity, 'a');      // fits
  const std::string tooLong(THttpLineBuffer::kCapacity + 10, 'b');  // LF within the 25-byte probe
  const std::string farTooLong(THttpLineBuffer::kCapacity + 100, 'c');  // LF beyond it
  const struct {
    std::string input;
    std::vector<std::string> lines;
    int overflows;
  } cases[] = {
      {"S\r\n" + exact + "\nT\r\n\r\n", {"S", exact, "T", ""}, 0},
      {"S\r\n" + tooLong + "\r\nT\r\n\r\n", {"S", "T", ""}, 1},
      // Beyond the probe the tail of the long line comes back as a line of
      // its own; the header still ends where it ends.
      {"S\r\n" + farTooLong + "\r\nT\r\n\r\n", {"S", std::string(100 - 25, 'c'), "T", ""}, 1},
  };
  for (const auto& c : cases) {
    for (const auto& pieces : Splits(c.input)) {
      LineResult r = FeedLines(pieces);
      EXPECT_EQ(r.lines, c.lines) << pieces.size() << " pieces";
      EXPECT_EQ(r.overflows, c.overflows);
    }
  }
}

struct ChunkResult {
  std::string body;
  THttpChunkDecoder::State state;
  THttpChunkDecoder::Failure failure;
  std::string rest;
};

ChunkResult FeedChunks(const std::vector<std::string>& pieces) {
  THttpChunkDecoder d;
  ChunkResult r;
  for (const auto& piece : pieces) {
    std::size_t off = 0;
    while (off < piece.size() && !d.Finished()) {
      const char* data;
      std::size_t len;
      std::size_t used = d.Feed(piece.data() + off, piece.size() - off, data, len);
      if (len) r.body.append(data, len);
      off += used;
      if (used == 0) break;
    }
    if (d.Finished()) r.rest += piece.substr(off);
  }
  r.state = d.GetState();
  r.failure = d.GetFailure();
  return r;
}

TEST(HttpChunkDecoderTest, DecodesChunksWithExtensionsAndTrailersInEverySplit) {
  using S = THttpChunkDecoder::State;
  using F = THttpChunkDecoder::Failure;
  const struct {
    std::string input;
    std::string body;
    S state;
    F failure;
    std::string rest;
  } cases[] = {
      {"5\r\nhello\r\n6\r\n world\r\n0\r\n\r\nNEXT", "hello world", S::Done, F::None, "NEXT"},
      {"5;name=value\r\nhello\r\n0;last\r\n\r\n", "hello", S::Done, F::None, ""},
      {"A\r\n0123456789\r\n0\r\nExpires: never\r\nX-Trail: 1\r\n\r\nNEXT", "0123456789", S::Done, F::None, "NEXT"},
      {"00000003\r\nabc\r\n0\n\n", "abc", S::Done, F::None, ""},
      {"1a\r\n" + std::string(26, 'z') + "\r\n0\r\n\r\n", std::string(26, 'z'), S::Done, F::None, ""},
      {"3\r\nabc\r\n", "abc", S::Length, F::None, ""},  // not yet finished
      {"zz\r\nabc\r\n", "", S::Error, F::NoDigits, ""},
      {"7fffffffffffffff\r\n", "", S::Data, F::None, ""},  // the largest size: waits for data
      {"8000000000000000\r\nabc", "", S::Error, F::SizeTooLarge, ""},
      {"ffffffffffffffffff\r\n", "", S::Error, F::SizeTooLarge, ""},
  };
  for (const auto& c : cases) {
    for (const auto& pieces : Splits(c.input)) {
      ChunkResult r = FeedChunks(pieces);
      EXPECT_EQ(r.body, c.body) << c.input.substr(0, 30) << " in " << pieces.size() << " pieces";
      EXPECT_EQ(r.state, c.state) << c.input.substr(0, 30);
      EXPECT_EQ(r.failure, c.failure) << c.input.substr(0, 30);
      if (c.state == S::Done) {
        EXPECT_EQ(r.rest, c.rest);
      }
    }
  }
}

TEST(HttpResponseFieldsTest, StatusLineContentLengthAndRange) {
  const struct {
    const char* line;
    const char* version;
    int code;
    const char* reason;
  } statuses[] = {{"HTTP/1.0 200 OK", "1.0", 200, "OK"},
                  {"HTTP/1.1 404 Not Found", "1.1", 404, "Not Found"},
                  {"HTTP/1.1 302", "1.1", 302, ""},
                  {"HTTP/1.0  301 Moved", "1.0", 301, "Moved"},
                  {"HTTP/1.1 xyz", "1.1", 0, ""}};
  for (const auto& s : statuses) {
    ASSERT_TRUE(IsStatusLine(s.line));
    TStatusLine st = ParseStatusLine(s.line);
    EXPECT_EQ(st.version, s.version) << s.line;
    EXPECT_EQ(st.statusCode, s.code) << s.line;
    EXPECT_EQ(st.reason, s.reason) << s.line;
  }
  EXPECT_FALSE(IsStatusLine("HTTP/2 200"));
  EXPECT_FALSE(IsStatusLine("<html>"));
  EXPECT_EQ(ParseStatusLine("HTTP").statusCode, 0);

  const struct {
    const char* value;
    std::int64_t length;
  } lengths[] = {{"0", 0},
                 {" 1234 ", 1234},
                 {"9223372036854775807", 9223372036854775807LL},
                 {"9223372036854775808", -1},
                 {"99999999999999999999999", -1},
                 {"-5", -1},
                 {"12abc", -1},
                 {"abc", -1},
                 {"", -1}};
  for (const auto& l : lengths) EXPECT_EQ(ParseContentLength(l.value), l.length) << l.value;

  std::string b, e;
  ParseContentRange("bytes 100-499/1234", b, e);
  EXPECT_EQ(b, "100");
  EXPECT_EQ(e, "499");
  ParseContentRange("bytes", b, e);
  EXPECT_EQ(b, "");
  EXPECT_EQ(e, "");
}

}  // namespace
