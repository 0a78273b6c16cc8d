// The version information an executable carries: the fixed version record,
// the translations and, per translation, the named version strings. The build
// step `velmora_embed_version_info` (cmake/VelmoraVersionInfo.cmake) writes
// them into the ELF section ".velmora_version"; `VersionInfoReader` reads them
// back from the file. A file without the section, or with a damaged one, has
// no information: every string is empty and the fixed record is all zero.
// The reader never reads outside the file or the section.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// The fixed version record (52 bytes), field by field as the system gives it.
struct VersionFixedInfo {
  std::uint32_t dwSignature = 0;  // 0xFEEF04BD
  std::uint32_t dwStrucVersion = 0;
  std::uint32_t dwFileVersionMS = 0;  // major << 16 | minor
  std::uint32_t dwFileVersionLS = 0;  // release << 16 | build
  std::uint32_t dwProductVersionMS = 0;
  std::uint32_t dwProductVersionLS = 0;
  std::uint32_t dwFileFlagsMask = 0;
  std::uint32_t dwFileFlags = 0;
  std::uint32_t dwFileOS = 0;
  std::uint32_t dwFileType = 0;
  std::uint32_t dwFileSubtype = 0;
  std::uint32_t dwFileDateMS = 0;
  std::uint32_t dwFileDateLS = 0;
};
static_assert(sizeof(VersionFixedInfo) == 52);

struct VersionTranslation {
  std::uint16_t language = 0;
  std::uint16_t codePage = 0;
};

class VersionInfoReader {
 public:
  static constexpr std::string_view kSectionName = ".velmora_version";
  static constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
  // The standard string names, in their usual order.
  static constexpr std::array<std::string_view, 12> kStandardNames = {
      "Comments",         "CompanyName",  "FileDescription", "FileVersion",
      "InternalName",     "LegalCopyright", "LegalTrademarks", "OriginalFileName",
      "PrivateBuild",     "ProductName",  "ProductVersion",  "SpecialBuild"};

  // Reads `fileName`; empty: the running program's own file.
  explicit VersionInfoReader(std::string fileName = {});

  const std::string& FileName() const { return fileName_; }
  bool HasInfo() const { return hasInfo_; }
  const VersionFixedInfo& FixedInfo() const { return fixed_; }
  const std::vector<VersionTranslation>& Translations() const { return translations_; }
  // The current translation: the first one, or -1 when there is none.
  int TranslationIndex() const { return translationIndex_; }
  // Makes another translation current; false (nothing changed) when out of range.
  bool SelectTranslation(int index);
  // The current translation as eight lower-case hexadecimal digits, language
  // first ("%4.4x%4.4x"); empty when there is none.
  std::string TranslationKey() const;

  // The string `name` of the current translation (the name compared without
  // regard to case); empty when absent.
  std::string Value(std::string_view name) const;
  std::string FileVersion() const { return Value("FileVersion"); }
  std::string ProductName() const { return Value("ProductName"); }
  std::string ProductVersion() const { return Value("ProductVersion"); }

  // The four numbers of the fixed record: major, minor, release, build.
  std::array<std::uint16_t, 4> FileVersionNumbers() const;
  std::array<std::uint16_t, 4> ProductVersionNumbers() const;

 private:
  using StringTable = std::vector<std::pair<std::string, std::string>>;

  std::string fileName_;
  bool hasInfo_ = false;
  VersionFixedInfo fixed_;
  std::vector<VersionTranslation> translations_;
  std::vector<StringTable> tables_;  // one per translation
  int translationIndex_ = -1;
};

}  // namespace platform
