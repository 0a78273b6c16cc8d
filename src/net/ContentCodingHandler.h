// One HTTP client's content-coding handler: builds the Accept-Encoding value
// from its copy of the registry, and for each response turns the
// Content-Encoding list into a chain of decoders that every body byte passes
// before delivery. Delivery writes the bytes to the client's receive stream
// (looked up at each write) and then to the client's document-data sink.
//
// A new handler is switched off: its Accept-Encoding value is empty and bodies
// pass through unchanged. A Content-Encoding naming an unregistered coding
// makes SetupDecoders answer false and leaves the body undecoded. The handler
// holds sinks bound to itself, so it is neither copied nor moved.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/ContentCoding.h"
#include "net/ContentCodingRegistry.h"
#include "net/Stream.h"

namespace net {

// The handler's copy of one registry entry.
class TCodingItem {
 public:
  TCodingItem(TContentCodingClassRef codingClass, float quality) : codingClass_(codingClass), quality_(quality) {}

  TContentCodingClassRef CodingClass() const { return codingClass_; }
  float Quality() const { return quality_; }
  // The enabled flag (set on creation) and the class's IsActive.
  bool Enabled() const { return enabled_ && codingClass_->IsActive(); }
  std::string GetCoding() const { return codingClass_->GetCoding(); }

 private:
  TContentCodingClassRef codingClass_;
  float quality_;
  bool enabled_ = true;
};

class TCodingHandler {
 public:
  // `receiveStreamWriter` writes bytes to the client's current receive stream
  // when it has one; `outputSink` is the client's document-data operation.
  // The registry's entries are copied now, so later registrations do not
  // change the Accept-Encoding value; decoders are looked up in the registry
  // itself, which must outlive the handler.
  TCodingHandler(TCodingSink receiveStreamWriter, TCodingSink outputSink,
                 const TCodingRegistry& registry = ProcessCodingRegistry());
  // The same with a receive-stream variable, read at every write (null: no
  // stream). The variable must outlive the handler.
  TCodingHandler(TStream* const& receiveStream, TCodingSink outputSink,
                 const TCodingRegistry& registry = ProcessCodingRegistry());
  ~TCodingHandler();
  TCodingHandler(const TCodingHandler&) = delete;
  TCodingHandler& operator=(const TCodingHandler&) = delete;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  bool UseQuality() const { return useQuality_; }
  // A different value forces the Accept-Encoding value to be rebuilt.
  void SetUseQuality(bool useQuality);

  // The value for "Accept-Encoding: "; empty when switched off.
  std::string AcceptEncodingValue();

  // Builds the decoder chain for one response from its Content-Encoding text;
  // false when a token names no registered coding (the chain is then empty).
  bool SetupDecoders(std::string_view contentEncoding);
  // Where the client writes body bytes; changes with SetupDecoders.
  const TCodingSink& InputSink() const { return inputSink_; }
  void Write(const char* data, std::size_t len) { inputSink_(data, len); }
  // End of body: every decoder's Finish, the head of the data flow first.
  void FinishDecoders();

  const std::vector<TCodingItem>& Parameters() const { return parameters_; }
  std::size_t DecoderCount() const { return decoders_.size(); }

 private:
  void Deliver(const char* data, std::size_t len);
  void DropDecoders();

  const TCodingRegistry* registry_;
  std::vector<std::unique_ptr<TContentCoding>> decoders_;  // in Content-Encoding order
  std::vector<TCodingItem> parameters_;
  TCodingSink receiveStreamWriter_;
  TCodingSink outputSink_;
  TCodingSink deliverySink_;
  TCodingSink inputSink_;
  std::string acceptEncoding_;
  bool recalculate_ = true;
  bool enabled_ = false;
  bool useQuality_ = false;
};

// The tokens of a Content-Encoding text read as a comma-text list: commas and
// blanks (any character up to the space) separate tokens, double quotes
// enclose a token with two quotes standing for one, and an empty item between
// commas or after a trailing comma is an empty token.
std::vector<std::string> SplitCodingList(std::string_view text);

// A quality in the form "0.###": up to three decimals, no trailing zeros, "0"
// for zero, always with a full stop whatever the locale.
std::string FormatCodingQuality(float quality);

}  // namespace net
