// One chunk of unsent socket data: a block of fixed capacity that is written
// at its end and consumed from its front. Invariant:
// 0 <= Consumed <= Written <= Capacity. When everything written has been
// consumed both counts return to 0, so the chunk can be filled again.
#pragma once

#include <cstdint>
#include <memory>

namespace net {

class TBuffer {
 public:
  // A requested size of 0 or less gives 1514.
  explicit TBuffer(std::int32_t size);

  std::int32_t Capacity() const { return Capacity_; }
  std::int32_t Written() const { return Written_; }
  std::int32_t Consumed() const { return Consumed_; }

  // Copies as many bytes as fit; returns their number (0 when full).
  std::int32_t Write(const void* data, std::int32_t len);
  // The unconsumed bytes: where they start and how many.
  const char* Peek(std::int32_t& len) const;
  // Takes n bytes out (n is cut to the unconsumed count); returns how many.
  std::int32_t Remove(std::int32_t n);

 private:
  std::unique_ptr<char[]> Block_;
  std::int32_t Capacity_;
  std::int32_t Written_ = 0;
  std::int32_t Consumed_ = 0;
};

}  // namespace net
