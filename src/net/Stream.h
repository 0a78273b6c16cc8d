// The byte streams the HTTP transport reads from and writes to: the receive
// stream (set by the owner, not owned) gets every body byte; the send stream
// feeds POST and PUT bodies. A stream can be cut back to an earlier size, so a
// refused or relocated response leaves nothing behind in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace net {

class TStream {
 public:
  virtual ~TStream() = default;
  // Writes all `len` bytes at the position; returns how many were written
  // (fewer only on failure).
  virtual std::size_t Write(const void* data, std::size_t len) = 0;
  // Reads up to `len` bytes from the position; 0 at the end.
  virtual std::size_t Read(void* data, std::size_t len) = 0;
  virtual std::int64_t Size() const = 0;
  virtual std::int64_t Position() const = 0;
  virtual void Seek(std::int64_t position) = 0;
  // Cuts the stream (or extends it) to `size`; the position is kept within it.
  virtual void SetSize(std::int64_t size) = 0;
};

// A stream in memory.
class TMemoryStream final : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string content) : data_(content.begin(), content.end()) {}
  std::size_t Write(const void* data, std::size_t len) override;
  std::size_t Read(void* data, std::size_t len) override;
  std::int64_t Size() const override { return static_cast<std::int64_t>(data_.size()); }
  std::int64_t Position() const override { return static_cast<std::int64_t>(pos_); }
  void Seek(std::int64_t position) override;
  void SetSize(std::int64_t size) override;
  std::string Text() const { return std::string(data_.begin(), data_.end()); }

 private:
  std::vector<char> data_;
  std::size_t pos_ = 0;
};

// A stream on a file descriptor it owns. `Open` creates or truncates the file.
class TFileStream final : public TStream {
 public:
  TFileStream() = default;
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  // Creates (or truncates) `path` for writing and reading; false on failure
  // with errno kept.
  bool Create(const std::string& path);
  // Opens an existing file for reading.
  bool OpenRead(const std::string& path);
  bool IsOpen() const { return fd_ >= 0; }
  void Close();

  std::size_t Write(const void* data, std::size_t len) override;
  std::size_t Read(void* data, std::size_t len) override;
  std::int64_t Size() const override;
  std::int64_t Position() const override { return pos_; }
  void Seek(std::int64_t position) override;
  void SetSize(std::int64_t size) override;

 private:
  int fd_ = -1;
  std::int64_t pos_ = 0;
};

}  // namespace net
