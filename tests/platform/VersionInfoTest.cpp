// Version information: what the build step writes into an executable reads
// back through the version reader; files without it, damaged ones and ones of
// the other byte order or word size are read safely.
#include "platform/VersionInfo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/ProgramPaths.h"
#include "support/Sandbox.h"

using platform::VersionInfoReader;
using testsupport::Sandbox;

namespace {

// Numbers in a chosen byte order.
struct Writer {
  bool big;
  std::string bytes;
  void U8(unsigned v) { bytes += static_cast<char>(v); }
  void U16(unsigned v) {
    for (int i = 0; i < 2; ++i) U8((v >> (8 * (big ? 1 - i : i))) & 0xFF);
  }
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) U8((v >> (8 * (big ? 3 - i : i))) & 0xFF);
  }
  void U64(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) U8(static_cast<unsigned>((v >> (8 * (big ? 7 - i : i))) & 0xFF));
  }
  void Word(bool is64, std::uint64_t v) { is64 ? U64(v) : U32(static_cast<std::uint32_t>(v)); }
};

struct Table {
  std::uint16_t language;
  std::uint16_t codePage;
  std::string strings;  // "name\0value\0..."
};

// The section's contents as the build step lays them out.
std::string Payload(bool big, const std::vector<Table>& tables, std::uint32_t fileMS = 0x00030008,
                    std::uint32_t fileLS = 0x00000001) {
  Writer w{big, "VLMVINF"};
  w.U8(0);
  const std::uint32_t fixed[13] = {0xFEEF04BD, 0x10000, fileMS, fileLS, 0x00050006, 0, 0x3F, 0, 0, 1, 0, 0, 0};
  for (std::uint32_t v : fixed) w.U32(v);
  w.U32(static_cast<std::uint32_t>(tables.size()));
  for (const Table& t : tables) {
    w.U16(t.language);
    w.U16(t.codePage);
  }
  for (const Table& t : tables) {
    w.U32(static_cast<std::uint32_t>(t.strings.size()));
    w.bytes += t.strings;
  }
  return w.bytes;
}

// A minimal relocatable ELF file holding one section with `payload` under
// `sectionName`.
std::string MakeElf(bool is64, bool big, const std::string& payload,
                    const std::string& sectionName = ".velmora_version") {
  const std::string names = std::string("\0.shstrtab\0", 11) + sectionName + '\0';
  const std::uint64_t headerSize = is64 ? 64 : 52;
  const std::uint64_t payloadAt = headerSize;
  const std::uint64_t namesAt = payloadAt + payload.size();
  const std::uint64_t tableAt = namesAt + names.size();
  const unsigned entry = is64 ? 64 : 40;

  Writer w{big, "\x7f" "ELF"};
  w.U8(is64 ? 2 : 1);
  w.U8(big ? 2 : 1);
  w.U8(1);
  w.bytes.append(9, '\0');
  w.U16(1);                  // relocatable
  w.U16(is64 ? 62 : 20);     // machine
  w.U32(1);                  // version
  w.Word(is64, 0);           // entry
  w.Word(is64, 0);           // program headers
  w.Word(is64, tableAt);     // section headers
  w.U32(0);                  // flags
  w.U16(static_cast<unsigned>(headerSize));
  w.U16(0);
  w.U16(0);
  w.U16(entry);
  w.U16(3);  // sections
  w.U16(1);  // names section
  w.bytes += payload + names;

  auto section = [&](std::uint32_t name, std::uint32_t type, std::uint64_t offset, std::uint64_t size) {
    const std::size_t start = w.bytes.size();
    w.U32(name);
    w.U32(type);
    w.Word(is64, 0);  // flags
    w.Word(is64, 0);  // address
    w.Word(is64, offset);
    w.Word(is64, size);
    w.U32(0);  // link
    w.U32(0);  // info
    w.Word(is64, 1);
    w.Word(is64, 0);
    EXPECT_EQ(w.bytes.size() - start, entry);
  };
  section(0, 0, 0, 0);
  section(1, 3, namesAt, names.size());
  section(11, 1, payloadAt, payload.size());
  return w.bytes;
}

// "name\0value\0" for each pair.
std::string Strings(std::initializer_list<std::pair<std::string, std::string>> pairs) {
  std::string s;
  for (const auto& [name, value] : pairs) s += name + '\0' + value + '\0';
  return s;
}

const std::string kStrings = Strings({{"FileVersion", "3.8.0.1"}, {"ProductName", "Velmora"}});

class VersionInfoFiles : public testsupport::SandboxedTest {
 protected:
  std::string Write(const std::string& name, const std::string& content) {
    sandbox.WriteFile(name, content);
    return sandbox / name;
  }
  static void ExpectNoInformation(const VersionInfoReader& r, const std::string& what) {
    EXPECT_FALSE(r.HasInfo()) << what;
    EXPECT_EQ(r.TranslationIndex(), -1) << what;
    EXPECT_EQ(r.TranslationKey(), "") << what;
    EXPECT_EQ(r.FixedInfo().dwSignature, 0u) << what;
    for (std::string_view name : VersionInfoReader::kStandardNames) EXPECT_EQ(r.Value(name), "") << what;
  }
};

TEST(VersionInfoOwnFile, TheBuildStepsStringsAndNumbersReadBack) {
  const VersionInfoReader r;  // the running program
  ASSERT_TRUE(r.HasInfo());
  EXPECT_EQ(r.FileName(), platform::ExecutablePath());
  EXPECT_EQ(r.FileVersion(), VELMORA_PROJECT_VERSION);
  EXPECT_EQ(r.FileVersion(), "3.8.0.0");
  EXPECT_EQ(r.ProductVersion(), "3.8.0.0");
  EXPECT_EQ(r.ProductName(), "Velmora");
  EXPECT_EQ(r.Value("CompanyName"), "Orlendt");
  EXPECT_EQ(r.Value("InternalName"), "platform_VersionInfoTest");
  EXPECT_EQ(r.Value("OriginalFileName"), "platform_VersionInfoTest");
  EXPECT_EQ(r.Value("OriginalFilename"), "platform_VersionInfoTest");  // names without regard to case
  EXPECT_EQ(r.Value("fileversion"), "3.8.0.0");
  EXPECT_NE(r.Value("FileDescription"), "");
  EXPECT_NE(r.Value("LegalCopyright"), "");
  EXPECT_EQ(r.Value("Comments"), "Say \"hi\" \\ tab\there 3\\0 caf\xc3\xa9");  // escaped by the generator
  EXPECT_EQ(r.Value("PrivateBuild"), "");
  EXPECT_EQ(r.Value("NoSuchName"), "");

  EXPECT_EQ(r.FixedInfo().dwSignature, VersionInfoReader::kFixedSignature);
  EXPECT_EQ(r.FixedInfo().dwFileVersionMS, 0x00030008u);
  EXPECT_EQ(r.FixedInfo().dwFileVersionLS, 0u);
  EXPECT_EQ(r.FileVersionNumbers(), (std::array<std::uint16_t, 4>{3, 8, 0, 0}));
  ASSERT_EQ(r.Translations().size(), 1u);
  EXPECT_EQ(r.TranslationIndex(), 0);
  EXPECT_EQ(r.TranslationKey(), "0409fde9");
}

TEST(VersionInfoOwnFile, ANamedFileIsReadWithItsOwnVersion) {
  const VersionInfoReader r(VELMORA_TEST_HELPER);
  ASSERT_TRUE(r.HasInfo());
  EXPECT_EQ(r.FileName(), VELMORA_TEST_HELPER);
  EXPECT_EQ(r.FileVersion(), "2.10.300.4000");
  EXPECT_EQ(r.FileVersionNumbers(), (std::array<std::uint16_t, 4>{2, 10, 300, 4000}));
  EXPECT_EQ(r.ProductVersion(), "5.6");
  EXPECT_EQ(r.ProductVersionNumbers(), (std::array<std::uint16_t, 4>{5, 6, 0, 0}));  // missing numbers are 0
  EXPECT_EQ(r.ProductName(), "Helper");
  EXPECT_EQ(r.Value("LegalTrademarks"), "");
  EXPECT_EQ(r.Value("InternalName"), "platform_test_helper");
}

TEST_F(VersionInfoFiles, FilesWithoutTheSectionHaveNoInformation) {
  std::filesystem::create_directory(sandbox / "folder");
  const std::string files[] = {
      "/bin/sh",  // a real executable built without it
      sandbox / "missing",
      sandbox / "folder",
      Write("empty", ""),
      Write("text", "not an executable at all, but long enough to hold an ELF header and more of it\n"),
      Write("other-section", MakeElf(true, false, Payload(false, {{0x0409, 0xFDE9, kStrings}}), ".velmora_versio")),
  };
  for (const std::string& f : files) ExpectNoInformation(VersionInfoReader(f), f);
}

TEST_F(VersionInfoFiles, EveryWordSizeAndByteOrderReads) {
  for (bool is64 : {false, true})
    for (bool big : {false, true}) {
      const std::string what = std::string(is64 ? "64" : "32") + (big ? " big" : " little");
      const VersionInfoReader r(
          Write("elf", MakeElf(is64, big, Payload(big, {{0x0407, 0x04E4, kStrings}}, 0x00020001, 0x00030004))));
      ASSERT_TRUE(r.HasInfo()) << what;
      EXPECT_EQ(r.FileVersion(), "3.8.0.1") << what;
      EXPECT_EQ(r.ProductName(), "Velmora") << what;
      EXPECT_EQ(r.TranslationKey(), "040704e4") << what;
      EXPECT_EQ(r.FileVersionNumbers(), (std::array<std::uint16_t, 4>{2, 1, 3, 4})) << what;
    }
}

TEST_F(VersionInfoFiles, StringsBelongToTheirTranslation) {
  const std::string german = Strings({{"FileVersion", "3,8"}});
  const VersionInfoReader none(Write("none", MakeElf(true, false, Payload(false, {}))));
  EXPECT_TRUE(none.HasInfo());  // a fixed record without strings
  EXPECT_EQ(none.TranslationIndex(), -1);
  EXPECT_EQ(none.FileVersion(), "");

  VersionInfoReader two(
      Write("two", MakeElf(true, false, Payload(false, {{0x0409, 0x04B0, kStrings}, {0x0407, 0x04B0, german}}))));
  ASSERT_EQ(two.Translations().size(), 2u);
  EXPECT_EQ(two.TranslationIndex(), 0);  // the first one
  EXPECT_EQ(two.FileVersion(), "3.8.0.1");
  EXPECT_TRUE(two.SelectTranslation(1));
  EXPECT_EQ(two.TranslationKey(), "040704b0");
  EXPECT_EQ(two.FileVersion(), "3,8");
  EXPECT_EQ(two.ProductName(), "");
  EXPECT_FALSE(two.SelectTranslation(2));
  EXPECT_FALSE(two.SelectTranslation(-1));
  EXPECT_EQ(two.TranslationIndex(), 1);
}

TEST_F(VersionInfoFiles, DamagedFilesHaveNoInformation) {
  const std::string good = MakeElf(true, false, Payload(false, {{0x0409, 0xFDE9, kStrings}}));
  ASSERT_TRUE(VersionInfoReader(Write("good", good)).HasInfo());
  const std::size_t payloadAt = 64;
  auto patched = [&](std::size_t at, const std::string& bytes) {
    std::string s = good;
    s.replace(at, bytes.size(), bytes);
    return s;
  };
  const std::string u32max = "\xff\xff\xff\xff";
  struct Case {
    const char* what;
    std::string content;
  } cases[] = {
      {"cut in the ELF header", good.substr(0, 40)},
      {"cut before the section headers", good.substr(0, good.size() - 10)},
      {"section headers beyond the end", patched(0x28, std::string("\xff\xff\xff\x7f\0\0\0\0", 8))},
      {"names section out of range", patched(0x3E, std::string("\x09\0", 2))},
      {"word size unknown", patched(4, "\x03")},
      {"magic damaged", patched(payloadAt, "X")},
      {"fixed record without its signature", patched(payloadAt + 8, std::string(4, '\0'))},
      {"absurd translation count", patched(payloadAt + 60, u32max)},
      {"string table longer than the section", patched(payloadAt + 68, u32max)},
      {"string table cut inside a value", patched(payloadAt + 68, std::string("\x1c\0\0\0", 4))},
  };
  for (const Case& c : cases) ExpectNoInformation(VersionInfoReader(Write("damaged", c.content)), c.what);

  // The real executable cut short: its section headers sit at the end.
  const std::string own = Sandbox::ReadFile(platform::ExecutablePath());
  ASSERT_GT(own.size(), 1000u);
  for (std::size_t size : {std::size_t{0}, std::size_t{63}, own.size() / 2, own.size() - 1})
    ExpectNoInformation(VersionInfoReader(Write("cut", own.substr(0, size))), "own file cut at " + std::to_string(size));
}

}  // namespace
