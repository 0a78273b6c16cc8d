// NTLM: the hashes and responses against the published example and well-known
// hashes, the exact type-1 message, the type-2 reader on a message laid out
// by hand and on every malformed form it must refuse, the type-3 layout in
// Unicode and OEM, and the test servers' checker accepting only right answers.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "net/Base64.h"
#include "net/NtlmAuthorization.h"
#include "net/NtlmMessages.h"
#include "net/NtlmResponses.h"
#include "net/NtlmStrings.h"
#include "support/NtlmCheck.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

const net::NtlmChallengeBytes kChallenge = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};

template <class Container>
std::string Hex(const Container& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const std::uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

Bytes Utf16(std::string_view ascii) {
  Bytes out;
  for (const char c : ascii) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(0);
  }
  return out;
}

void Put16(Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
std::uint32_t Get16(const Bytes& in, std::size_t at) { return in[at] | (in[at + 1] << 8); }
std::uint32_t Get32(const Bytes& in, std::size_t at) { return Get16(in, at) | (Get16(in, at + 2) << 16); }

// The published example challenge, assembled field by field: target name
// "DOMAIN" (Unicode) at 48, flags 0x00810201, target information at 60.
Bytes PublishedType2() {
  Bytes m = {'N', 'T', 'L', 'M', 'S', 'S', 'P', 0};
  Put32(m, 2);
  Put16(m, 12), Put16(m, 12), Put32(m, 48);  // target name
  Put32(m, 0x00810201);
  m.insert(m.end(), kChallenge.begin(), kChallenge.end());
  m.insert(m.end(), 8, 0);                   // context
  Put16(m, 98), Put16(m, 98), Put32(m, 60);  // target information
  const Bytes domain = Utf16("DOMAIN");
  m.insert(m.end(), domain.begin(), domain.end());
  const std::pair<std::uint16_t, const char*> info[] = {
      {2, "DOMAIN"}, {1, "SERVER"}, {4, "domain.com"}, {3, "server.domain.com"}};
  for (const auto& [type, text] : info) {
    const Bytes value = Utf16(text);
    Put16(m, type);
    Put16(m, static_cast<std::uint32_t>(value.size()));
    m.insert(m.end(), value.begin(), value.end());
  }
  Put32(m, 0);
  return m;
}

std::string Type2Line(const Bytes& message) { return "NTLM " + net::Base64Encode(message); }

TEST(NtlmResponses, PublishedExample) {
  EXPECT_EQ(Hex(net::LmHash("SecREt01")), "ff3750bcc2b22412c2265b23734e0dac");
  EXPECT_EQ(Hex(net::NtHash("SecREt01")), "cd06ca7c7e10c99b1d33b7485a2ed808");
  EXPECT_EQ(Hex(net::LmResponse("SecREt01", kChallenge)), "c337cd5cbd44fc9782a667af6d427c6de67c20c2d3e77c56");
  EXPECT_EQ(Hex(net::NtResponse("SecREt01", kChallenge)), "25a98c1c31e81847466b29b2df4680f39958fb8c213a9cc6");
}

TEST(NtlmResponses, WellKnownHashes) {
  EXPECT_EQ(Hex(net::LmHash("")), "aad3b435b51404eeaad3b435b51404ee");
  EXPECT_EQ(Hex(net::NtHash("")), "31d6cfe0d16ae931b73c59d7e0c089c0");
  EXPECT_EQ(Hex(net::LmHash("password")), "e52cac67419a9a224a3b108f3fa6cb6d");
  EXPECT_EQ(Hex(net::NtHash("password")), "8846f7eaee8fb117ad06bdd830b7586c");
}

// LM upper-cases the password and uses 14 bytes of it; NT keeps both.
TEST(NtlmResponses, LmIgnoresCaseAndLengthBeyondFourteenNtDoesNot) {
  const auto lm = net::LmResponse("SecREt01", kChallenge);
  EXPECT_EQ(net::LmResponse("secret01", kChallenge), lm);
  EXPECT_EQ(net::LmResponse("SECRET01", kChallenge), lm);
  EXPECT_NE(net::NtResponse("secret01", kChallenge), net::NtResponse("SecREt01", kChallenge));
  EXPECT_EQ(net::LmHash("abcdefghijklmnXYZ"), net::LmHash("ABCDEFGHIJKLMN"));
  EXPECT_NE(net::NtHash("abcdefghijklmnXYZ"), net::NtHash("abcdefghijklmn"));
}

TEST(NtlmStrings, Utf8ToUtf16LeWithLatin1ForInvalidBytes) {
  const std::pair<std::string, std::string> cases[] = {
      {"A", "4100"},
      {"\xC3\xBC", "fc00"},                  // u with diaeresis
      {"\xE2\x82\xAC", "ac20"},              // euro sign
      {"\xF0\x9F\x98\x80", "3dd800de"},      // beyond the BMP: a surrogate pair
      {"\xE4", "e400"},                      // a lone Latin-1 byte
      {"\xE2\x82", "e2008200"},              // a sequence cut short
      {"\xC0\x80", "c0008000"},              // overlong
      {"\xED\xA0\x80", "ed00a0008000"},      // an encoded surrogate
      {"a\xC3", "6100c300"},
  };
  for (const auto& [utf8, utf16] : cases) EXPECT_EQ(Hex(net::Utf8ToUtf16Le(utf8)), utf16) << Hex(utf8);
  EXPECT_EQ(net::Utf16LeToUtf8(net::Utf8ToUtf16Le("J\xC3\xBCrgen \xE2\x82\xAC\xF0\x9F\x98\x80")),
            "J\xC3\xBCrgen \xE2\x82\xAC\xF0\x9F\x98\x80");
  // Unpaired surrogates and an odd byte read back as U+FFFD.
  EXPECT_EQ(net::Utf16LeToUtf8(Bytes{0x00, 0xD8, 0x41, 0x00, 0x42}), "\xEF\xBF\xBD" "A" "\xEF\xBF\xBD");
}

TEST(NtlmMessages, Type1IsExactlyTheNegotiationWithoutDomainOrHost) {
  const Bytes expected = {'N', 'T', 'L', 'M', 'S', 'S', 'P', 0,  // signature
                          1,   0,   0,   0,                      // type 1
                          0x07, 0x82, 0, 0,                      // Unicode, OEM, target, NTLM, always sign
                          0,   0,   0,   0,   32,  0,   0,   0,  // no domain
                          0,   0,   0,   0,   32,  0,   0,   0}; // no workstation
  EXPECT_EQ(Hex(net::BuildNtlmType1()), Hex(expected));
  EXPECT_EQ(net::NtlmType1Value(), "NTLM TlRMTVNTUAABAAAAB4IAAAAAAAAgAAAAAAAAACAAAAA=");
  EXPECT_TRUE(testsupport::IsNtlmType1(net::NtlmType1Value()));
}

TEST(NtlmMessages, Type2ReaderTakesThePublishedLayout) {
  const Bytes message = PublishedType2();
  ASSERT_EQ(message.size(), 158u);
  const auto type2 = net::ReadNtlmType2(message);
  ASSERT_TRUE(type2.has_value());
  EXPECT_EQ(type2->flags, 0x00810201u);
  EXPECT_EQ(type2->challenge, kChallenge);
  EXPECT_EQ(type2->targetName, Utf16("DOMAIN"));
  ASSERT_EQ(type2->targetInfo.size(), 98u);
  EXPECT_EQ(Bytes(message.begin() + 60, message.end()), type2->targetInfo);
}

Bytes WithField(Bytes message, std::size_t field, std::uint32_t length, std::uint32_t offset) {
  message[field] = static_cast<std::uint8_t>(length);
  message[field + 1] = static_cast<std::uint8_t>(length >> 8);
  message[field + 2] = message[field];
  message[field + 3] = message[field + 1];
  for (int i = 0; i < 4; ++i) message[field + 4 + i] = static_cast<std::uint8_t>(offset >> (8 * i));
  return message;
}

TEST(NtlmMessages, Type2ReaderRefusesWhatItCannotReadSafely) {
  const Bytes good = PublishedType2();
  Bytes badSignature = good;
  badSignature[7] = 'X';
  Bytes badType = good;
  badType[8] = 3;
  const std::pair<const char*, Bytes> refused[] = {
      {"empty", {}},
      {"shorter than the fixed part", Bytes(good.begin(), good.begin() + 31)},
      {"wrong signature", badSignature},
      {"wrong type", badType},
      {"target name past the end", WithField(good, 12, 12, 150)},
      {"target name offset outside", WithField(good, 12, 1, 158)},
      {"target name offset wraps", WithField(good, 12, 16, 0xFFFFFFF8u)},
      {"target name longer than the message", WithField(good, 12, 0xFFFF, 0)},
      {"target information past the end", WithField(good, 40, 99, 60)},
      {"target information offset outside", WithField(good, 40, 4, 0x80000000u)},
  };
  for (const auto& [what, message] : refused) {
    EXPECT_FALSE(net::ReadNtlmType2(message).has_value()) << what;
    EXPECT_FALSE(net::NtlmType3Value(Type2Line(message), "user", "SecREt01", "HOST").has_value()) << what;
  }
  // Every cut of the message leaves a field pointing past its end.
  for (std::size_t size = 0; size < good.size(); ++size) {
    EXPECT_FALSE(net::ReadNtlmType2(std::span(good.data(), size)).has_value()) << size;
  }
}

TEST(NtlmMessages, Type2ReaderAcceptsTheShortFormsAndEmptyFieldsAnywhere) {
  const Bytes published = PublishedType2();
  Bytes minimal = WithField(Bytes(published.begin(), published.begin() + 32), 12, 0, 0);
  minimal[22] = 0;  // flags without target information
  const auto shortForm = net::ReadNtlmType2(minimal);
  ASSERT_TRUE(shortForm.has_value());
  EXPECT_EQ(shortForm->challenge, kChallenge);
  EXPECT_TRUE(shortForm->targetName.empty());

  // An empty field reads nothing, so where it points does not matter.
  const auto emptyFields = net::ReadNtlmType2(WithField(WithField(PublishedType2(), 12, 0, 0xFFFFFFFFu), 40, 0, 999));
  ASSERT_TRUE(emptyFields.has_value());
  EXPECT_TRUE(emptyFields->targetName.empty());
  EXPECT_TRUE(emptyFields->targetInfo.empty());

  // Without the target-information flag, bytes 32..47 may be the name itself.
  Bytes nameAt32 = {'N', 'T', 'L', 'M', 'S', 'S', 'P', 0};
  Put32(nameAt32, 2);
  Put16(nameAt32, 6), Put16(nameAt32, 6), Put32(nameAt32, 32);
  Put32(nameAt32, 0x00000202);
  nameAt32.insert(nameAt32.end(), kChallenge.begin(), kChallenge.end());
  for (const char c : std::string("DOMAIN")) nameAt32.push_back(static_cast<std::uint8_t>(c));
  const auto oem = net::ReadNtlmType2(nameAt32);
  ASSERT_TRUE(oem.has_value());
  EXPECT_EQ(std::string(oem->targetName.begin(), oem->targetName.end()), "DOMAIN");
}

TEST(NtlmAuthorization, ChallengeLineForms) {
  const std::string base64 = net::Base64Encode(PublishedType2());
  const std::string accepted[] = {"NTLM " + base64, "ntlm   " + base64 + "  ", "Ntlm\t" + base64 + "\r\n", base64};
  for (const std::string& line : accepted) {
    const auto type2 = net::ReadNtlmChallengeLine(line);
    ASSERT_TRUE(type2.has_value()) << line;
    EXPECT_EQ(type2->challenge, kChallenge);
  }
  const std::string refused[] = {"NTLM", "NTLM ", "", "Basic realm=\"x\"", "NTLM " + base64 + "!",
                                 "NTLMX " + base64, "Negotiate " + base64};
  for (const std::string& line : refused) EXPECT_FALSE(net::ReadNtlmChallengeLine(line).has_value()) << line;
}

// The fields of a type-3 message, read by hand from the bytes.
struct Field {
  std::uint32_t length, offset;
};
Field FieldAt(const Bytes& m, std::size_t at) { return {Get16(m, at), Get32(m, at + 4)}; }

TEST(NtlmMessages, Type3LayoutInUnicode) {
  const auto type2 = net::ReadNtlmType2(PublishedType2());
  ASSERT_TRUE(type2.has_value());
  const Bytes m = net::BuildNtlmType3(*type2, "user", "SecREt01", "WORKSTATION");
  ASSERT_EQ(m.size(), 64u + 8 + 22 + 24 + 24);
  EXPECT_EQ(std::memcmp(m.data(), "NTLMSSP\0\3\0\0\0", 12), 0);
  // Data follow the 64-byte header: no domain, user, workstation, LM, NT.
  const std::pair<const char*, std::pair<std::size_t, Field>> fields[] = {
      {"LM", {12, {24, 94}}},        {"NT", {20, {24, 118}}},          {"domain", {28, {0, 64}}},
      {"user", {36, {8, 64}}},       {"workstation", {44, {22, 72}}}, {"session key", {52, {0, 142}}},
  };
  for (const auto& [name, layout] : fields) {
    const Field f = FieldAt(m, layout.first);
    EXPECT_EQ(f.length, layout.second.length) << name;
    EXPECT_EQ(Get16(m, layout.first + 2), layout.second.length) << name << " allocated";
    EXPECT_EQ(f.offset, layout.second.offset) << name;
  }
  EXPECT_EQ(Bytes(m.begin() + 64, m.begin() + 72), Utf16("user"));
  EXPECT_EQ(Bytes(m.begin() + 72, m.begin() + 94), Utf16("WORKSTATION"));
  EXPECT_EQ(Hex(Bytes(m.begin() + 94, m.begin() + 118)), "c337cd5cbd44fc9782a667af6d427c6de67c20c2d3e77c56");
  EXPECT_EQ(Hex(Bytes(m.begin() + 118, m.begin() + 142)), "25a98c1c31e81847466b29b2df4680f39958fb8c213a9cc6");
  const std::uint32_t flags = Get32(m, 60);
  EXPECT_EQ(flags & net::kNtlmNegotiateUnicode, net::kNtlmNegotiateUnicode);
  EXPECT_EQ(flags & net::kNtlmNegotiateOem, 0u);
  EXPECT_EQ(flags & net::kNtlmNegotiateNtlm, net::kNtlmNegotiateNtlm);
}

TEST(NtlmMessages, Type3NamesAreSentAsGivenNotUpperCased) {
  net::NtlmType2 oem;
  oem.flags = net::kNtlmNegotiateOem | net::kNtlmNegotiateNtlm;
  oem.challenge = kChallenge;
  const Bytes m = net::BuildNtlmType3(oem, "MixedUser", "SecREt01", "host-1");
  const Field user = FieldAt(m, 36), host = FieldAt(m, 44);
  EXPECT_EQ(std::string(m.begin() + user.offset, m.begin() + user.offset + user.length), "MixedUser");
  EXPECT_EQ(std::string(m.begin() + host.offset, m.begin() + host.offset + host.length), "host-1");
  EXPECT_EQ(Get32(m, 60) & (net::kNtlmNegotiateUnicode | net::kNtlmNegotiateOem), net::kNtlmNegotiateOem);

  net::NtlmType2 unicode = oem;
  unicode.flags = net::kNtlmNegotiateUnicode | net::kNtlmNegotiateNtlm;
  const Bytes u = net::BuildNtlmType3(unicode, "J\xC3\xBCrgen", "pw", "h");
  const Field uUser = FieldAt(u, 36);
  EXPECT_EQ(Hex(Bytes(u.begin() + uUser.offset, u.begin() + uUser.offset + uUser.length)), "4a00fc007200670065006e00");
}

// The whole client side against the checker a scripted server uses.
TEST(NtlmAuthorization, CheckerAcceptsTheRightAnswerAndRefusesOthers) {
  const std::string challengeLine = testsupport::NtlmType2Value(kChallenge);
  const auto type3 = net::NtlmType3Value(challengeLine, "user", "SecREt01", "WORKSTATION");
  ASSERT_TRUE(type3.has_value());
  ASSERT_EQ(type3->rfind("NTLM ", 0), 0u);

  const auto ok = testsupport::CheckNtlmType3(*type3, "SecREt01", kChallenge, "user");
  EXPECT_TRUE(ok.accepted) << ok.reason;
  ASSERT_TRUE(ok.message.has_value());
  EXPECT_TRUE(ok.message->unicode);
  EXPECT_EQ(ok.message->domain, "");
  EXPECT_EQ(ok.message->workstation, "WORKSTATION");
  EXPECT_EQ(Hex(ok.message->ntResponse), "25a98c1c31e81847466b29b2df4680f39958fb8c213a9cc6");

  net::NtlmChallengeBytes otherChallenge = kChallenge;
  otherChallenge[0] ^= 1;
  EXPECT_FALSE(testsupport::CheckNtlmType3(*type3, "SecREt02", kChallenge).accepted);
  EXPECT_FALSE(testsupport::CheckNtlmType3(*type3, "SecREt01", otherChallenge).accepted);
  EXPECT_FALSE(testsupport::CheckNtlmType3(*type3, "SecREt01", kChallenge, "someone").accepted);
  EXPECT_FALSE(testsupport::CheckNtlmType3(net::NtlmType1Value(), "SecREt01", kChallenge).accepted);
  EXPECT_FALSE(testsupport::CheckNtlmType3("NTLM TlRM", "SecREt01", kChallenge).accepted);

  // An OEM-only challenge gets an OEM answer, which checks the same way.
  const auto oemAnswer = net::NtlmType3Value(
      testsupport::NtlmType2Value(kChallenge, net::kNtlmNegotiateOem | net::kNtlmNegotiateNtlm), "user", "SecREt01",
      "WORKSTATION");
  ASSERT_TRUE(oemAnswer.has_value());
  const auto oemCheck = testsupport::CheckNtlmType3(*oemAnswer, "SecREt01", kChallenge, "user");
  EXPECT_TRUE(oemCheck.accepted) << oemCheck.reason;
  EXPECT_FALSE(oemCheck.message->unicode);
}

TEST(NtlmAuthorization, WorkstationNameIsTheHostName) {
  char name[256] = {};
  ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
  EXPECT_EQ(net::NtlmWorkstationName(), name);
}

}  // namespace
