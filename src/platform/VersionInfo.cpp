#include "platform/VersionInfo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/ProgramPaths.h"

namespace platform {

namespace {

// Layout of the section (numbers in the byte order of the ELF file):
//   8 bytes magic "VLMVINF\0", the 52-byte fixed record, a 32-bit count N,
//   N translations (16-bit language, 16-bit code page), then per translation
//   a 32-bit size and that many bytes of "name\0value\0" pairs, an empty name
//   ending the table early.
constexpr char kMagic[8] = {'V', 'L', 'M', 'V', 'I', 'N', 'F', '\0'};
constexpr std::uint32_t kMaxTranslations = 64;
constexpr std::uint64_t kMaxSectionSize = 1 << 20;
constexpr std::uint64_t kMaxTableSize = 64ull << 20;  // section headers, section names

class Bytes {
 public:
  explicit Bytes(bool bigEndian) : big_(bigEndian) {}
  std::uint16_t U16(const unsigned char* p) const {
    return big_ ? static_cast<std::uint16_t>(p[0] << 8 | p[1]) : static_cast<std::uint16_t>(p[1] << 8 | p[0]);
  }
  std::uint32_t U32(const unsigned char* p) const {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(p[big_ ? 3 - i : i]) << (8 * i);
    return v;
  }
  std::uint64_t U64(const unsigned char* p) const {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(p[big_ ? 7 - i : i]) << (8 * i);
    return v;
  }

 private:
  bool big_;
};

class File {
 public:
  explicit File(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    struct stat st {};
    if (fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) size_ = static_cast<std::uint64_t>(st.st_size);
  }
  ~File() {
    if (fd_ >= 0) ::close(fd_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Reads exactly [offset, offset + n) of the file, or fails.
  bool Read(std::uint64_t offset, std::uint64_t n, std::vector<unsigned char>& out) const {
    if (fd_ < 0 || offset > size_ || n > size_ - offset) return false;
    out.resize(static_cast<std::size_t>(n));
    std::size_t got = 0;
    while (got < out.size()) {
      ssize_t r = ::pread(fd_, out.data() + got, out.size() - got, static_cast<off_t>(offset + got));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
      got += static_cast<std::size_t>(r);
    }
    return true;
  }

 private:
  int fd_;
  std::uint64_t size_ = 0;
};

struct Section {
  std::uint32_t type = 0;
  std::uint32_t name = 0;
  std::uint32_t link = 0;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

constexpr std::uint32_t kShtNobits = 8;

// Finds the named section and reads its contents.
bool ReadElfSection(const File& file, std::string_view wanted, std::vector<unsigned char>& contents, bool& big) {
  std::vector<unsigned char> h;
  if (!file.Read(0, 64, h) && !file.Read(0, 52, h)) return false;
  if (std::memcmp(h.data(), "\x7f" "ELF", 4) != 0) return false;
  const bool is64 = h[4] == 2;
  if (h[4] != 1 && h[4] != 2) return false;
  if (h[5] != 1 && h[5] != 2) return false;
  if (is64 && h.size() < 64) return false;
  big = h[5] == 2;
  const Bytes b(big);

  const std::uint64_t shoff = is64 ? b.U64(&h[0x28]) : b.U32(&h[0x20]);
  const std::uint16_t shentsize = b.U16(&h[is64 ? 0x3A : 0x2E]);
  std::uint64_t shnum = b.U16(&h[is64 ? 0x3C : 0x30]);
  std::uint64_t shstrndx = b.U16(&h[is64 ? 0x3E : 0x32]);
  const std::uint16_t minEntry = is64 ? 64 : 40;
  if (shoff == 0 || shentsize < minEntry) return false;

  auto readHeader = [&](const unsigned char* p) {
    Section s;
    s.name = b.U32(p);
    s.type = b.U32(p + 4);
    s.offset = is64 ? b.U64(p + 0x18) : b.U32(p + 0x10);
    s.size = is64 ? b.U64(p + 0x20) : b.U32(p + 0x14);
    s.link = b.U32(p + (is64 ? 0x28 : 0x18));
    return s;
  };

  // Very many sections: the real count and index live in the first header.
  if (shnum == 0 || shstrndx == 0xFFFF) {
    std::vector<unsigned char> first;
    if (!file.Read(shoff, shentsize, first)) return false;
    Section s0 = readHeader(first.data());
    if (shnum == 0) shnum = s0.size;
    if (shstrndx == 0xFFFF) shstrndx = s0.link;
  }
  if (shnum == 0 || shstrndx >= shnum || shnum > kMaxTableSize / shentsize) return false;

  std::vector<unsigned char> table;
  if (!file.Read(shoff, shnum * shentsize, table)) return false;
  const Section names = readHeader(&table[shstrndx * shentsize]);
  if (names.type == kShtNobits || names.size > kMaxTableSize) return false;
  std::vector<unsigned char> strtab;
  if (!file.Read(names.offset, names.size, strtab)) return false;

  for (std::uint64_t i = 0; i < shnum; ++i) {
    const Section s = readHeader(&table[i * shentsize]);
    if (s.name >= strtab.size()) continue;
    const char* name = reinterpret_cast<const char*>(&strtab[s.name]);
    const std::size_t room = strtab.size() - s.name;
    const std::size_t length = strnlen(name, room);
    if (length == room || std::string_view(name, length) != wanted) continue;
    if (s.type == kShtNobits || s.size > kMaxSectionSize) return false;
    return file.Read(s.offset, s.size, contents);
  }
  return false;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

VersionInfoReader::VersionInfoReader(std::string fileName) : fileName_(std::move(fileName)) {
  const bool own = fileName_.empty();
  if (own) fileName_ = ExecutablePath();
  // The running program is read through the system's link to it, which still
  // leads to the right file when an update has replaced the one on disk.
  File file(own ? std::string("/proc/self/exe") : fileName_);

  std::vector<unsigned char> s;
  bool big = false;
  if (!ReadElfSection(file, kSectionName, s, big)) return;
  const Bytes b(big);
  if (s.size() < 64 || std::memcmp(s.data(), kMagic, sizeof kMagic) != 0) return;

  static constexpr std::uint32_t VersionFixedInfo::*kFields[13] = {
      &VersionFixedInfo::dwSignature,        &VersionFixedInfo::dwStrucVersion,   &VersionFixedInfo::dwFileVersionMS,
      &VersionFixedInfo::dwFileVersionLS,    &VersionFixedInfo::dwProductVersionMS,
      &VersionFixedInfo::dwProductVersionLS, &VersionFixedInfo::dwFileFlagsMask,  &VersionFixedInfo::dwFileFlags,
      &VersionFixedInfo::dwFileOS,           &VersionFixedInfo::dwFileType,       &VersionFixedInfo::dwFileSubtype,
      &VersionFixedInfo::dwFileDateMS,       &VersionFixedInfo::dwFileDateLS};
  VersionFixedInfo fixed;
  for (std::size_t i = 0; i < 13; ++i) fixed.*kFields[i] = b.U32(&s[8 + 4 * i]);
  if (fixed.dwSignature != kFixedSignature) return;

  const std::uint32_t count = b.U32(&s[60]);
  std::size_t pos = 64;
  if (count > kMaxTranslations || s.size() - pos < 4ull * count) return;
  std::vector<VersionTranslation> translations;
  for (std::uint32_t i = 0; i < count; ++i, pos += 4)
    translations.push_back({b.U16(&s[pos]), b.U16(&s[pos + 2])});

  std::vector<StringTable> tables;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (s.size() - pos < 4) return;
    const std::uint32_t size = b.U32(&s[pos]);
    pos += 4;
    if (s.size() - pos < size) return;
    std::string_view blob(reinterpret_cast<const char*>(&s[pos]), size);
    pos += size;
    StringTable table;
    while (!blob.empty()) {
      const std::size_t nameEnd = blob.find('\0');
      if (nameEnd == 0) break;  // an empty name ends the table
      const std::size_t valueEnd = nameEnd == std::string_view::npos ? nameEnd : blob.find('\0', nameEnd + 1);
      if (valueEnd == std::string_view::npos) return;  // cut short: damaged
      table.emplace_back(std::string(blob.substr(0, nameEnd)),
                         std::string(blob.substr(nameEnd + 1, valueEnd - nameEnd - 1)));
      blob.remove_prefix(valueEnd + 1);
    }
    tables.push_back(std::move(table));
  }

  hasInfo_ = true;
  fixed_ = fixed;
  translations_ = std::move(translations);
  tables_ = std::move(tables);
  translationIndex_ = translations_.empty() ? -1 : 0;
}

bool VersionInfoReader::SelectTranslation(int index) {
  if (index < 0 || index >= static_cast<int>(translations_.size())) return false;
  translationIndex_ = index;
  return true;
}

std::string VersionInfoReader::TranslationKey() const {
  if (translationIndex_ < 0) return {};
  const VersionTranslation& t = translations_[static_cast<std::size_t>(translationIndex_)];
  char key[16];
  std::snprintf(key, sizeof key, "%4.4x%4.4x", static_cast<unsigned>(t.language), static_cast<unsigned>(t.codePage));
  return key;
}

std::string VersionInfoReader::Value(std::string_view name) const {
  if (translationIndex_ < 0) return {};
  for (const auto& [key, value] : tables_[static_cast<std::size_t>(translationIndex_)])
    if (SameName(key, name)) return value;
  return {};
}

std::array<std::uint16_t, 4> VersionInfoReader::FileVersionNumbers() const {
  return {static_cast<std::uint16_t>(fixed_.dwFileVersionMS >> 16), static_cast<std::uint16_t>(fixed_.dwFileVersionMS),
          static_cast<std::uint16_t>(fixed_.dwFileVersionLS >> 16), static_cast<std::uint16_t>(fixed_.dwFileVersionLS)};
}

std::array<std::uint16_t, 4> VersionInfoReader::ProductVersionNumbers() const {
  return {static_cast<std::uint16_t>(fixed_.dwProductVersionMS >> 16),
          static_cast<std::uint16_t>(fixed_.dwProductVersionMS),
          static_cast<std::uint16_t>(fixed_.dwProductVersionLS >> 16),
          static_cast<std::uint16_t>(fixed_.dwProductVersionLS)};
}

}  // namespace platform
