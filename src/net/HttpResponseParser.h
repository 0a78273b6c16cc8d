// The socket-free pieces of reading an HTTP response, fed with bytes as they
// arrive (any split gives the same result):
//  - THttpLineBuffer cuts header bytes into lines at LF (a CR before the LF
//    dropped). A line holds at most 8190 bytes; a longer one is dropped whole:
//    its first 8190 bytes are thrown away, then up to 25 more bytes are read
//    and only the part after their first LF is kept. Without an LF among them
//    those bytes go too, and the next byte starts a new line.
//  - THttpChunkDecoder reads a chunked body: hexadecimal size (extensions after
//    it skipped), that many data bytes, the line end; after the last (size 0)
//    chunk the trailer lines up to an empty line. A size line without a digit
//    or a size beyond 63 bits is an error, after which nothing more is read.
//  - Field helpers for the status line, Content-Length and Content-Range.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace net {

class THttpLineBuffer {
 public:
  static constexpr std::size_t kCapacity = 8190;
  static constexpr std::size_t kOverflowProbe = 25;

  // Consumes bytes up to and including the end of the first complete line.
  // Returns how many bytes were taken; when a line ended, `gotLine` is set and
  // `line` holds it without CR LF, and `hadCR` tells whether a CR preceded
  // the LF.
  std::size_t Feed(const char* data, std::size_t len, std::string& line, bool& gotLine, bool& hadCR);
  void Clear();
  // Bytes of the line being collected.
  std::size_t Pending() const { return line_.size(); }
  // Lines dropped for being too long.
  int Overflows() const { return overflows_; }

 private:
  std::string line_;
  std::size_t probeLeft_ = 0;  // > 0: skipping the rest of an overlong line
  int overflows_ = 0;
};

class THttpChunkDecoder {
 public:
  enum class State {
    Length,   // reading the hexadecimal size
    LineEnd,  // skipping the rest of the size line (extensions)
    Data,     // passing the chunk's bytes
    DataEnd,  // skipping to the end of the line after the data
    Trailer,  // after the last chunk: trailer lines up to an empty one
    Done,     // the body is complete
    Error,    // malformed size; the body ends as an error
  };
  enum class Failure { None, NoDigits, SizeTooLarge };

  // Consumes bytes; stops after a piece of chunk data (returned through
  // `data`/`dataLen`, pointing into the input), at Done or at Error. Returns
  // the number of bytes consumed.
  std::size_t Feed(const char* in, std::size_t len, const char*& data, std::size_t& dataLen);
  void Reset();
  State GetState() const { return state_; }
  Failure GetFailure() const { return failure_; }
  bool Finished() const { return state_ == State::Done || state_ == State::Error; }

 private:
  State state_ = State::Length;
  Failure failure_ = Failure::None;
  std::int64_t size_ = 0;
  std::int64_t left_ = 0;
  bool digits_ = false;
  bool sizeEnded_ = false;     // a non-hex byte ended the size
  bool trailerLineHasText_ = false;
};

// "HTTP/1.0" or "HTTP/1.1" at the start of a line.
bool IsStatusLine(std::string_view line);
struct TStatusLine {
  std::string version;  // "1.0" or "1.1"
  int statusCode = 0;   // three characters from the first digit at or after the 10th
  std::string reason;   // what follows one blank after the code
};
TStatusLine ParseStatusLine(std::string_view line);

// The trimmed value as a decimal length; -1 when it is not a number, negative
// or beyond 63 bits.
std::int64_t ParseContentLength(std::string_view value);

// "bytes 0-499/1234": begin from the seventh character up to "-", end between
// "-" and "/".
void ParseContentRange(std::string_view value, std::string& begin, std::string& end);

}  // namespace net
