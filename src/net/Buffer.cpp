// The send chunk.
#include "net/Buffer.h"

#include <algorithm>
#include <cstring>

namespace net {

TBuffer::TBuffer(std::int32_t size) : Capacity_(size <= 0 ? 1514 : size) {
  Block_ = std::make_unique<char[]>(static_cast<std::size_t>(Capacity_));
}

std::int32_t TBuffer::Write(const void* data, std::int32_t len) {
  std::int32_t n = std::clamp(len, 0, Capacity_ - Written_);
  if (n > 0) std::memcpy(Block_.get() + Written_, data, static_cast<std::size_t>(n));
  Written_ += n;
  return n;
}

const char* TBuffer::Peek(std::int32_t& len) const {
  len = Written_ - Consumed_;
  return Block_.get() + Consumed_;
}

std::int32_t TBuffer::Remove(std::int32_t n) {
  n = std::clamp(n, 0, Written_ - Consumed_);
  Consumed_ += n;
  if (Consumed_ == Written_) Consumed_ = Written_ = 0;
  return n;
}

}  // namespace net
