// Content codings of HTTP/1.1 bodies: the decoder base class, the class
// reference through which the registry knows a coding without an instance,
// and the two built-in pseudo-codings "identity" and "*".
//
// A decoder takes body bytes in WriteData, undoes its coding and passes the
// result to its downstream sink; Finish flushes at the end of the body. A
// coding class names itself by a static `kClassName`, and may supply static
// `GetCoding()` (its token) and `IsActive()` (whether it may be offered);
// without GetCoding the token follows from the class name: a name beginning
// "TContentCoding" gives the rest of it, any other name makes GetCoding raise
// EContentCodingException.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace net {

// Where a stage writes its bytes.
using TCodingSink = std::function<void(const char* data, std::size_t len)>;

class EContentCodingException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TContentCoding {
 public:
  explicit TContentCoding(TCodingSink downstream) : downstream_(std::move(downstream)) {}
  virtual ~TContentCoding() = default;
  TContentCoding(const TContentCoding&) = delete;
  TContentCoding& operator=(const TContentCoding&) = delete;

  // Bytes in: decode and pass on to the downstream sink.
  virtual void WriteData(const char* data, std::size_t len) = 0;
  // End of body: pass on whatever is still held. The base holds nothing.
  virtual void Finish() {}

 protected:
  void PassOn(const char* data, std::size_t len) const {
    if (downstream_) downstream_(data, len);
  }

 private:
  TCodingSink downstream_;
};

// A class reference: the class-level operations of one coding.
class TContentCodingClass {
 public:
  virtual ~TContentCodingClass() = default;
  virtual std::string_view ClassName() const = 0;
  // The token; by default from the class name (see the file comment).
  virtual std::string GetCoding() const;
  virtual bool IsActive() const { return true; }
  // A new decoder writing into `downstream`.
  virtual std::unique_ptr<TContentCoding> Create(TCodingSink downstream) const = 0;
};

using TContentCodingClassRef = const TContentCodingClass*;

// The token the default rule gives `className`, or EContentCodingException.
std::string DefaultCodingToken(std::string_view className);

template <class Coding>
class TContentCodingClassOf final : public TContentCodingClass {
 public:
  std::string_view ClassName() const override { return Coding::kClassName; }
  std::string GetCoding() const override {
    if constexpr (requires { Coding::GetCoding(); }) {
      return std::string(Coding::GetCoding());
    } else {
      return TContentCodingClass::GetCoding();
    }
  }
  bool IsActive() const override {
    if constexpr (requires { Coding::IsActive(); }) {
      return Coding::IsActive();
    } else {
      return true;
    }
  }
  std::unique_ptr<TContentCoding> Create(TCodingSink downstream) const override {
    return std::make_unique<Coding>(std::move(downstream));
  }
};

// The class reference of `Coding`; one object per class for the process.
template <class Coding>
TContentCodingClassRef CodingClass() {
  static const TContentCodingClassOf<Coding> instance;
  return &instance;
}

// "identity": the body as sent. Its decoder passes bytes through unchanged.
class TCodingIdentity : public TContentCoding {
 public:
  static constexpr std::string_view kClassName = "TCodingIdentity";
  static std::string_view GetCoding() { return "identity"; }
  using TContentCoding::TContentCoding;
  void WriteData(const char* data, std::size_t len) override { PassOn(data, len); }
};

// "*": any coding, only meaningful in Accept-Encoding. A response naming it
// gets a pass-through decoder, as for identity.
class TCodingStar : public TContentCoding {
 public:
  static constexpr std::string_view kClassName = "TCodingStar";
  static std::string_view GetCoding() { return "*"; }
  using TContentCoding::TContentCoding;
  void WriteData(const char* data, std::size_t len) override { PassOn(data, len); }
};

}  // namespace net
