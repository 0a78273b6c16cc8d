// Header lines, chunked bodies and response fields, without sockets.
#include "net/HttpResponseParser.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace net {

// --- line buffer ---------------------------------------------------------

std::size_t THttpLineBuffer::Feed(const char* data, std::size_t len, std::string& line, bool& gotLine, bool& hadCR) {
  gotLine = false;
  hadCR = false;
  std::size_t i = 0;
  while (probeLeft_ > 0 && i < len) {
    --probeLeft_;
    if (data[i++] == '\n') {
      probeLeft_ = 0;
      break;
    }
  }
  if (i == len) return i;
  const char* lf = static_cast<const char*>(std::memchr(data + i, '\n', len - i));
  const std::size_t room = kCapacity - line_.size();
  if (!lf) {
    std::size_t take = std::min(room, len - i);
    line_.append(data + i, take);
    i += take;
    if (line_.size() >= kCapacity && i < len) {
      // Full without a line end: the line is dropped.
      line_.clear();
      ++overflows_;
      probeLeft_ = kOverflowProbe;
      return i + Feed(data + i, len - i, line, gotLine, hadCR);
    }
    return i;
  }
  std::size_t lineLen = static_cast<std::size_t>(lf - (data + i));
  if (lineLen > room) {
    line_.append(data + i, room);
    i += room;
    line_.clear();
    ++overflows_;
    probeLeft_ = kOverflowProbe;
    return i + Feed(data + i, len - i, line, gotLine, hadCR);
  }
  line_.append(data + i, lineLen);
  i += lineLen + 1;
  if (!line_.empty() && line_.back() == '\r') {
    line_.pop_back();
    hadCR = true;
  }
  line.swap(line_);
  line_.clear();
  gotLine = true;
  return i;
}

void THttpLineBuffer::Clear() {
  line_.clear();
  probeLeft_ = 0;
}

// --- chunk decoder -------------------------------------------------------

namespace {
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

void THttpChunkDecoder::Reset() { *this = THttpChunkDecoder(); }

std::size_t THttpChunkDecoder::Feed(const char* in, std::size_t len, const char*& data, std::size_t& dataLen) {
  data = nullptr;
  dataLen = 0;
  std::size_t i = 0;
  while (i < len) {
    switch (state_) {
      case State::Length: {
        char c = in[i];
        int v = HexValue(c);
        if (v >= 0 && !sizeEnded_) {
          if (size_ > (std::numeric_limits<std::int64_t>::max() >> 4)) {
            state_ = State::Error;
            failure_ = Failure::SizeTooLarge;
            return i;
          }
          size_ = (size_ << 4) | v;
          digits_ = true;
          ++i;
          break;
        }
        if (!digits_ && (c == ' ' || c == '\t')) {  // blanks before the size
          ++i;
          break;
        }
        if (!digits_) {
          state_ = State::Error;
          failure_ = Failure::NoDigits;
          return i;
        }
        sizeEnded_ = true;
        state_ = State::LineEnd;
        break;
      }
      case State::LineEnd: {
        const char* lf = static_cast<const char*>(std::memchr(in + i, '\n', len - i));
        if (!lf) return len;
        i = static_cast<std::size_t>(lf - in) + 1;
        if (size_ == 0) {
          state_ = State::Trailer;
          trailerLineHasText_ = false;
        } else {
          left_ = size_;
          state_ = State::Data;
        }
        break;
      }
      case State::Data: {
        std::size_t take = static_cast<std::size_t>(std::min<std::int64_t>(left_, static_cast<std::int64_t>(len - i)));
        data = in + i;
        dataLen = take;
        left_ -= static_cast<std::int64_t>(take);
        i += take;
        if (left_ == 0) state_ = State::DataEnd;
        return i;
      }
      case State::DataEnd: {
        const char* lf = static_cast<const char*>(std::memchr(in + i, '\n', len - i));
        if (!lf) return len;
        i = static_cast<std::size_t>(lf - in) + 1;
        size_ = 0;
        digits_ = false;
        sizeEnded_ = false;
        state_ = State::Length;
        break;
      }
      case State::Trailer: {
        char c = in[i++];
        if (c == '\n') {
          if (!trailerLineHasText_) {
            state_ = State::Done;
            return i;
          }
          trailerLineHasText_ = false;
        } else if (c != '\r') {
          trailerLineHasText_ = true;
        }
        break;
      }
      case State::Done:
      case State::Error:
        return i;
    }
  }
  return i;
}

// --- fields --------------------------------------------------------------

bool IsStatusLine(std::string_view line) {
  return line.substr(0, 8) == "HTTP/1.0" || line.substr(0, 8) == "HTTP/1.1";
}

TStatusLine ParseStatusLine(std::string_view line) {
  TStatusLine s;
  if (!IsStatusLine(line)) return s;
  s.version = std::string(line.substr(5, 3));
  std::size_t p = 9;
  while (p < line.size() && !(line[p] >= '0' && line[p] <= '9')) ++p;
  if (p >= line.size()) return s;
  std::string_view code = line.substr(p, 3);
  int value = 0;
  for (char c : code) {
    if (c < '0' || c > '9') {
      value = 0;
      break;
    }
    value = value * 10 + (c - '0');
  }
  s.statusCode = value;
  if (p + 4 <= line.size()) s.reason = std::string(line.substr(p + 4));
  return s;
}

std::int64_t ParseContentLength(std::string_view value) {
  std::size_t b = 0, e = value.size();
  while (b < e && static_cast<unsigned char>(value[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(value[e - 1]) <= ' ') --e;
  if (b == e) return -1;
  std::int64_t n = 0;
  for (std::size_t i = b; i < e; ++i) {
    char c = value[i];
    if (c < '0' || c > '9') return -1;
    if (n > (std::numeric_limits<std::int64_t>::max() - (c - '0')) / 10) return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

void ParseContentRange(std::string_view value, std::string& begin, std::string& end) {
  begin.clear();
  end.clear();
  if (value.size() < 7) return;
  std::string_view rest = value.substr(6);
  std::size_t dash = rest.find('-');
  begin = std::string(rest.substr(0, dash));
  if (dash == std::string_view::npos) return;
  std::string_view after = rest.substr(dash + 1);
  end = std::string(after.substr(0, after.find('/')));
}

}  // namespace net
