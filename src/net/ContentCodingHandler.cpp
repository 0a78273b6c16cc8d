#include "net/ContentCodingHandler.h"

#include <charconv>

namespace net {

TCodingHandler::TCodingHandler(TCodingSink receiveStreamWriter, TCodingSink outputSink,
                               const TCodingRegistry& registry)
    : registry_(&registry), receiveStreamWriter_(std::move(receiveStreamWriter)), outputSink_(std::move(outputSink)) {
  deliverySink_ = [this](const char* data, std::size_t len) { Deliver(data, len); };
  inputSink_ = deliverySink_;
  parameters_.reserve(registry.Entries().size());
  for (const TCodingRegistryEntry& entry : registry.Entries()) parameters_.emplace_back(entry.codingClass, entry.quality);
}

TCodingHandler::TCodingHandler(TStream* const& receiveStream, TCodingSink outputSink,
                               const TCodingRegistry& registry)
    : TCodingHandler(
          [&receiveStream](const char* data, std::size_t len) {
            if (receiveStream != nullptr) receiveStream->Write(data, len);
          },
          std::move(outputSink), registry) {}

TCodingHandler::~TCodingHandler() { DropDecoders(); }

void TCodingHandler::SetUseQuality(bool useQuality) {
  if (useQuality != useQuality_) recalculate_ = true;
  useQuality_ = useQuality;
}

std::string TCodingHandler::AcceptEncodingValue() {
  if (!enabled_) return {};
  if (!recalculate_) return acceptEncoding_;

  int enabledCount = 0;
  for (const TCodingItem& item : parameters_) enabledCount += item.Enabled() ? 1 : 0;
  // A single coding is listed without a q-value.
  const bool withQuality = useQuality_ && enabledCount >= 2;

  std::string value;
  for (const TCodingItem& item : parameters_) {
    if (!item.Enabled()) continue;
    if (withQuality) {
      if (!value.empty()) value += ", ";
      value += item.GetCoding() + ";q=" + FormatCodingQuality(item.Quality());
    } else {
      if (!(item.Quality() > 0.0f)) continue;
      if (!value.empty()) value += ", ";
      value += item.GetCoding();
    }
  }
  recalculate_ = false;
  acceptEncoding_ = value;
  return acceptEncoding_;
}

bool TCodingHandler::SetupDecoders(std::string_view contentEncoding) {
  DropDecoders();
  if (!enabled_ || contentEncoding.empty()) return true;

  // Each decoder writes into the previous stage, so the last token's decoder
  // sees the bytes first: codings are undone in reverse order of the header.
  bool result = true;
  for (const std::string& token : SplitCodingList(contentEncoding)) {
    const TContentCodingClassRef codingClass = registry_->FindCodingClass(token);
    if (codingClass == nullptr) {
      result = false;
      break;
    }
    decoders_.push_back(codingClass->Create(inputSink_));
    TContentCoding* decoder = decoders_.back().get();
    inputSink_ = [decoder](const char* data, std::size_t len) { decoder->WriteData(data, len); };
  }
  if (!result) DropDecoders();
  return result;
}

void TCodingHandler::FinishDecoders() {
  for (auto it = decoders_.rbegin(); it != decoders_.rend(); ++it) (*it)->Finish();
}

void TCodingHandler::Deliver(const char* data, std::size_t len) {
  if (receiveStreamWriter_) receiveStreamWriter_(data, len);
  if (outputSink_) outputSink_(data, len);
}

void TCodingHandler::DropDecoders() {
  inputSink_ = deliverySink_;
  // Later stages write into earlier ones; free them head first.
  while (!decoders_.empty()) decoders_.pop_back();
}

std::vector<std::string> SplitCodingList(std::string_view text) {
  const auto isSeparatorBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  std::vector<std::string> tokens;
  std::size_t pos = 0;
  const auto skipBlanks = [&] {
    while (pos < text.size() && isSeparatorBlank(text[pos])) ++pos;
  };
  skipBlanks();
  while (pos < text.size()) {
    std::string token;
    if (text[pos] == '"') {
      ++pos;
      while (pos < text.size()) {
        if (text[pos] == '"') {
          if (pos + 1 < text.size() && text[pos + 1] == '"') {
            token += '"';
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        token += text[pos++];
      }
    } else {
      while (pos < text.size() && text[pos] != ',' && !isSeparatorBlank(text[pos])) token += text[pos++];
    }
    tokens.push_back(std::move(token));
    skipBlanks();
    if (pos < text.size() && text[pos] == ',') {
      if (pos + 1 == text.size()) tokens.emplace_back();  // a trailing comma ends with an empty item
      ++pos;
      skipBlanks();
    }
  }
  return tokens;
}

std::string FormatCodingQuality(float quality) {
  // to_chars ignores the locale, so the separator is always a full stop.
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, quality, std::chars_format::fixed, 3);
  if (error != std::errc()) return "0";
  std::string text(buffer, end);
  if (const std::size_t dot = text.find('.'); dot != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  return text;
}

}  // namespace net
