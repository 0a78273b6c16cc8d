// DES against the classic published vectors: the worked example, the NBS
// known-answer tests (one key bit, one plaintext bit, the substitution-table
// set), both directions, and the 56-bit key spreading NTLM uses.
#include <gtest/gtest.h>

#include <cstdint>

#include "net/Des.h"

namespace {

net::DesBlock FromHex(std::uint64_t v) {
  net::DesBlock b;
  for (int i = 0; i < 8; ++i) b[i] = static_cast<std::uint8_t>(v >> (56 - 8 * i));
  return b;
}

std::uint64_t ToHex(const net::DesBlock& b) {
  std::uint64_t v = 0;
  for (const std::uint8_t x : b) v = (v << 8) | x;
  return v;
}

struct Vector {
  std::uint64_t key, plain, cipher;
};

const Vector kVectors[] = {
    // The textbook worked example.
    {0x133457799BBCDFF1, 0x0123456789ABCDEF, 0x85E813540F0AB405},
    // "Now is t" under the classic key.
    {0x0123456789ABCDEF, 0x4E6F772069732074, 0x3FA40E8A984D4815},
    {0x0E329232EA6D0D73, 0x8787878787878787, 0x0000000000000000},
    {0x0000000000000000, 0x0000000000000000, 0x8CA64DE9C1B123A7},
    {0xFFFFFFFFFFFFFFFF, 0xFFFFFFFFFFFFFFFF, 0x7359B2163E4EDC58},
    {0x3000000000000000, 0x1000000000000001, 0x958E6E627A05557B},
    {0x1111111111111111, 0x1111111111111111, 0xF40379AB9E0EC533},
    {0x0123456789ABCDEF, 0x1111111111111111, 0x17668DFC7292532D},
    {0x1111111111111111, 0x0123456789ABCDEF, 0x8A5AE1F81AB8F2DD},
    {0xFEDCBA9876543210, 0x0123456789ABCDEF, 0xED39D950FA74BCC4},
    // Variable plaintext, key 0101010101010101.
    {0x0101010101010101, 0x8000000000000000, 0x95F8A5E5DD31D900},
    {0x0101010101010101, 0x4000000000000000, 0xDD7F121CA5015619},
    {0x0101010101010101, 0x0000000000000001, 0x166B40B44ABA4BD6},
    // Variable key, plaintext 0.
    {0x8001010101010101, 0x0000000000000000, 0x95A8D72813DAA94D},
    {0x4001010101010101, 0x0000000000000000, 0x0EEC1487DD8C26D5},
    // Substitution-table tests: every S-box entry path is exercised.
    {0x7CA110454A1A6E57, 0x01A1D6D039776742, 0x690F5B0D9A26939B},
    {0x0131D9619DC1376E, 0x5CD54CA83DEF57DA, 0x7A389D10354BD271},
    {0x07A1133E4A0B2686, 0x0248D43806F67172, 0x868EBB51CAB4599A},
    {0x3849674C2602319E, 0x51454B582DDF440A, 0x7178876E01F19B2A},
    {0x04B915BA43FEB5B6, 0x42FD443059577FA2, 0xAF37FB421F8C4095},
    {0x0113B970FD34F2CE, 0x059B5E0851CF143A, 0x86A560F10EC6D85B},
    {0x0170F175468FB5E6, 0x0756D8E0774761D2, 0x0CD3DA020021DC09},
    {0x43297FAD38E373FE, 0x762514B829BF486A, 0xEA676B2CB7DB2B7A},
    {0x07A7137045DA2A16, 0x3BDD119049372802, 0xDFD64A815CAF1A0F},
    {0x04689104C2FD3B2F, 0x26955F6835AF609A, 0x5C513C9C4886C088},
    {0x37D06BB516CB7546, 0x164D5E404F275232, 0x0A2AEEAE3FF4AB77},
    {0x1F08260D1AC2465E, 0x6B056E18759F5CCA, 0xEF1BF03E5DFA575A},
    {0x584023641ABA6176, 0x004BD6EF09176062, 0x88BF0DB6D70DEE56},
    {0x025816164629B007, 0x480D39006EE762F2, 0xA1F9915541020B56},
    {0x49793EBC79B3258F, 0x437540C8698F3CFA, 0x6FBF1CAFCFFD0556},
    {0x4FB05E1515AB73A7, 0x072D43A077075292, 0x2F22E49BAB7CA1AC},
    {0x49E95D6D4CA229BF, 0x02FE55778117F12A, 0x5A6B612CC26CCE4A},
    {0x018310DC409B26D6, 0x1D9D5C5018F728C2, 0x5F4C038ED12B2E41},
    {0x1C587F1C13924FEF, 0x305532286D6F295A, 0x63FAC0D034D9F793},
};

TEST(Des, PublishedVectorsEncryptAndDecrypt) {
  for (const Vector& v : kVectors) {
    const net::Des des(FromHex(v.key));
    EXPECT_EQ(ToHex(des.Encrypt(FromHex(v.plain))), v.cipher) << std::hex << "key " << v.key << " plain " << v.plain;
    EXPECT_EQ(ToHex(des.Decrypt(FromHex(v.cipher))), v.plain) << std::hex << "key " << v.key;
  }
}

TEST(Des, ParityBitsOfTheKeyAreIgnored) {
  for (const Vector& v : kVectors) {
    const net::Des flipped(FromHex(v.key ^ 0x0101010101010101));
    EXPECT_EQ(ToHex(flipped.Encrypt(FromHex(v.plain))), v.cipher) << std::hex << v.key;
  }
}

TEST(Des, KeyFrom56BitsSpreadsSevenBitsPerByteWithOddParity) {
  const std::pair<std::array<std::uint8_t, 7>, std::uint64_t> cases[] = {
      {{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD}, 0x0191D0AD794CAE9B},
      {{0, 0, 0, 0, 0, 0, 0}, 0x0101010101010101},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 0xFEFEFEFEFEFEFEFE},
      {{0x80, 0, 0, 0, 0, 0, 0x01}, 0x8001010101010102},
  };
  for (const auto& [key7, key8] : cases) EXPECT_EQ(ToHex(net::DesKeyFrom56Bits(key7)), key8) << std::hex << key8;
}

}  // namespace
