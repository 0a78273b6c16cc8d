// Memory and file streams for the transport's receive and send sides.
#include "net/Stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace net {

std::size_t TMemoryStream::Write(const void* data, std::size_t len) {
  if (pos_ + len > data_.size()) data_.resize(pos_ + len);
  if (len) std::memcpy(data_.data() + pos_, data, len);
  pos_ += len;
  return len;
}

std::size_t TMemoryStream::Read(void* data, std::size_t len) {
  std::size_t n = pos_ < data_.size() ? std::min(len, data_.size() - pos_) : 0;
  if (n) std::memcpy(data, data_.data() + pos_, n);
  pos_ += n;
  return n;
}

void TMemoryStream::Seek(std::int64_t position) {
  pos_ = static_cast<std::size_t>(std::clamp<std::int64_t>(position, 0, Size()));
}

void TMemoryStream::SetSize(std::int64_t size) {
  data_.resize(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)));
  pos_ = std::min(pos_, data_.size());
}

TFileStream::~TFileStream() { Close(); }

bool TFileStream::Create(const std::string& path) {
  Close();
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  pos_ = 0;
  return fd_ >= 0;
}

bool TFileStream::OpenRead(const std::string& path) {
  Close();
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  pos_ = 0;
  return fd_ >= 0;
}

void TFileStream::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  pos_ = 0;
}

std::size_t TFileStream::Write(const void* data, std::size_t len) {
  if (fd_ < 0) return 0;
  const char* p = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < len) {
    ssize_t n = ::pwrite(fd_, p + done, len - done, pos_);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
    pos_ += n;
  }
  return done;
}

std::size_t TFileStream::Read(void* data, std::size_t len) {
  if (fd_ < 0) return 0;
  ssize_t n;
  do {
    n = ::pread(fd_, data, len, pos_);
  } while (n < 0 && errno == EINTR);
  if (n <= 0) return 0;
  pos_ += n;
  return static_cast<std::size_t>(n);
}

std::int64_t TFileStream::Size() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
  return st.st_size;
}

void TFileStream::Seek(std::int64_t position) { pos_ = std::clamp<std::int64_t>(position, 0, Size()); }

void TFileStream::SetSize(std::int64_t size) {
  if (fd_ < 0) return;
  if (::ftruncate(fd_, std::max<std::int64_t>(size, 0)) == 0) pos_ = std::min(pos_, std::max<std::int64_t>(size, 0));
}

}  // namespace net
