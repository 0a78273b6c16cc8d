// The content-coding machinery on its own: the registry with its built-ins and
// lookup rules, the Accept-Encoding value with and without q-values (and under
// a comma locale), the decoder chain and its order, and delivery to a receive
// stream that may change between writes.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <locale>

#include "net/ContentCoding.h"
#include "net/ContentCodingHandler.h"
#include "net/ContentCodingRegistry.h"
#include "net/Stream.h"
#include "support/Sandbox.h"

namespace {

using net::TCodingHandler;
using net::TCodingRegistry;

// Upper-cases letters as they pass; its token comes from its class name.
class TContentCodingUpper : public net::TContentCoding {
 public:
  static constexpr std::string_view kClassName = "TContentCodingUpper";
  using TContentCoding::TContentCoding;
  void WriteData(const char* data, std::size_t len) override {
    std::string out(data, len);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    PassOn(out.data(), out.size());
  }
};

// Holds every byte until Finish, then passes them on followed by its tag, so
// the order of stages and of their Finish calls shows in the output.
template <char Tag>
class THold : public net::TContentCoding {
 public:
  using TContentCoding::TContentCoding;
  void WriteData(const char* data, std::size_t len) override { held_.append(data, len); }
  void Finish() override {
    held_ += Tag;
    PassOn(held_.data(), held_.size());
    held_.clear();
  }

 private:
  std::string held_;
};
class TContentCodingHoldA : public THold<'A'> {
 public:
  static constexpr std::string_view kClassName = "TContentCodingHoldA";
  using THold::THold;
};
class TContentCodingHoldB : public THold<'B'> {
 public:
  static constexpr std::string_view kClassName = "TContentCodingHoldB";
  using THold::THold;
};

// Its activity is switched by the test.
class TContentCodingToggle : public TContentCodingUpper {
 public:
  static constexpr std::string_view kClassName = "TContentCodingToggle";
  static inline bool active = true;
  static bool IsActive() { return active; }
  using TContentCodingUpper::TContentCodingUpper;
};

// Neither the prefix nor an own token.
class TNamelessCoding : public TContentCodingUpper {
 public:
  static constexpr std::string_view kClassName = "TNamelessCoding";
  using TContentCodingUpper::TContentCodingUpper;
};

// Claims the token "upper" for itself.
class TOtherUpper : public TContentCodingUpper {
 public:
  static constexpr std::string_view kClassName = "TOtherUpper";
  static std::string_view GetCoding() { return "upper"; }
  using TContentCodingUpper::TContentCodingUpper;
};

// A handler whose deliveries land in `stream` (when set) and `delivered`.
struct Client {
  explicit Client(const TCodingRegistry& registry = net::ProcessCodingRegistry())
      : handler(stream, [this](const char* d, std::size_t n) { delivered.append(d, n); }, registry) {}
  void Body(std::string_view bytes) { handler.Write(bytes.data(), bytes.size()); }

  net::TStream* stream = nullptr;
  std::string delivered;
  TCodingHandler handler;
};

TEST(ContentCodingRegistry, ProcessRegistryHoldsIdentityThenStarAtQualityZero) {
  const auto& entries = net::ProcessCodingRegistry().Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].codingClass->GetCoding(), "identity");
  EXPECT_EQ(entries[1].codingClass->GetCoding(), "*");
  EXPECT_EQ(entries[0].quality, 0.0f);
  EXPECT_EQ(entries[1].quality, 0.0f);
  EXPECT_EQ(net::FindCodingClass("IDENTITY"), entries[0].codingClass);
  EXPECT_EQ(net::FindCodingClass("*"), entries[1].codingClass);
  EXPECT_EQ(net::FindCodingClass("gzip"), nullptr);
}

TEST(ContentCodingRegistry, TokensFromClassNamesAndTheLaterRegistrationWins) {
  TCodingRegistry registry;
  EXPECT_EQ(net::CodingClass<TContentCodingUpper>()->GetCoding(), "Upper");
  registry.RegisterCoding(net::CodingClass<TContentCodingUpper>(), 1.0f);
  EXPECT_EQ(registry.FindCodingClass("uPPER"), net::CodingClass<TContentCodingUpper>());
  registry.RegisterCoding(net::CodingClass<TOtherUpper>(), 1.0f);
  EXPECT_EQ(registry.FindCodingClass("UPPER"), net::CodingClass<TOtherUpper>());
  EXPECT_EQ(net::DefaultCodingToken("TContentCoding"), "");
}

TEST(ContentCodingRegistry, ClassWithoutTokenRaisesWhereItsTokenIsNeeded) {
  const auto expectMessage = [](const auto& action) {
    try {
      action();
      ADD_FAILURE() << "no exception";
    } catch (const net::EContentCodingException& e) {
      EXPECT_STREQ(e.what(), "GetCoding must be overriden in TNamelessCoding");
    }
  };
  expectMessage([] { net::CodingClass<TNamelessCoding>()->GetCoding(); });
  TCodingRegistry registry;
  registry.RegisterCoding(net::CodingClass<TNamelessCoding>(), 1.0f);
  expectMessage([&] { registry.FindCodingClass("x"); });
  Client client(registry);
  client.handler.SetEnabled(true);
  expectMessage([&] { client.handler.AcceptEncodingValue(); });
  expectMessage([&] { client.handler.SetupDecoders("nameless"); });
}

TEST(ContentCodingHandler, NewHandlerIsOffAndPassesEveryBodyThrough) {
  Client client;
  EXPECT_FALSE(client.handler.Enabled());
  EXPECT_FALSE(client.handler.UseQuality());
  client.handler.SetUseQuality(true);
  EXPECT_EQ(client.handler.AcceptEncodingValue(), "");
  for (const char* encoding : {"gzip", "identity", "x, y", ""}) {
    EXPECT_TRUE(client.handler.SetupDecoders(encoding)) << encoding;
    EXPECT_EQ(client.handler.DecoderCount(), 0u) << encoding;
  }
  const std::string body("\x1f\x8b\0binary\r\n", 11);
  client.Body(body);
  client.handler.FinishDecoders();
  EXPECT_EQ(client.delivered, body);
}

struct AcceptCase {
  const char* what;
  bool builtIns;
  std::vector<std::pair<net::TContentCodingClassRef, float>> added;
  bool useQuality;
  const char* expected;
};

TEST(ContentCodingHandler, AcceptEncodingValues) {
  TContentCodingToggle::active = false;
  const auto upper = net::CodingClass<TContentCodingUpper>();
  const auto holdA = net::CodingClass<TContentCodingHoldA>();
  const auto inactive = net::CodingClass<TContentCodingToggle>();
  const AcceptCase cases[] = {
      {"built-ins, plain", true, {}, false, ""},
      {"built-ins with q-values", true, {}, true, "identity;q=0, *;q=0"},
      {"plain lists qualities above 0 only", true, {{upper, 0.5f}}, false, "Upper"},
      {"all with q-values", true, {{upper, 0.5f}, {holdA, 1.0f}}, true, "identity;q=0, *;q=0, Upper;q=0.5, HoldA;q=1"},
      {"plain, two codings", false, {{upper, 0.25f}, {holdA, 0.125f}}, false, "Upper, HoldA"},
      {"one coding has no q-value", false, {{upper, 0.5f}}, true, "Upper"},
      {"an inactive coding is not counted", false, {{upper, 0.5f}, {inactive, 0.8f}}, true, "Upper"},
      {"an inactive coding is not listed", false, {{upper, 0.5f}, {inactive, 0.8f}, {holdA, 0.333f}}, true,
       "Upper;q=0.5, HoldA;q=0.333"},
  };
  for (const AcceptCase& c : cases) {
    TCodingRegistry registry(c.builtIns);
    for (const auto& [codingClass, quality] : c.added) registry.RegisterCoding(codingClass, quality);
    Client client(registry);
    client.handler.SetEnabled(true);
    client.handler.SetUseQuality(c.useQuality);
    EXPECT_EQ(client.handler.AcceptEncodingValue(), c.expected) << c.what;
  }
  TContentCodingToggle::active = true;
}

TEST(ContentCodingHandler, QualityFormat) {
  const std::pair<float, const char*> cases[] = {
      {0.0f, "0"},     {1.0f, "1"},     {0.5f, "0.5"},   {0.1f, "0.1"},   {0.125f, "0.125"},
      {0.3333f, "0.333"}, {0.9999f, "1"}, {0.05f, "0.05"}, {0.0004f, "0"},
  };
  for (const auto& [quality, text] : cases) EXPECT_EQ(net::FormatCodingQuality(quality), text) << quality;
}

// A C locale whose decimal separator is a comma, built in the sandbox from a
// tiny definition, so no installed locale is needed.
class CommaLocale : public testsupport::SandboxedTest {
 protected:
  void SetUp() override {
    sandbox.WriteFile("comma.def", "LC_NUMERIC\ndecimal_point \",\"\nthousands_sep \".\"\ngrouping 3;3\nEND LC_NUMERIC\n");
    std::string charmap = "<code_set_name> VELMORA-ASCII\n<mb_cur_max> 1\n<mb_cur_min> 1\nCHARMAP\n";
    for (int c = 0; c < 128; ++c) {
      char line[32];
      std::snprintf(line, sizeof line, "<U%04X> \\x%02x\n", c, c);
      charmap += line;
    }
    sandbox.WriteFile("ascii.charmap", charmap + "END CHARMAP\n");
    const std::string command = "I18NPATH=/nonexistent localedef -c -i '" + sandbox / "comma.def" + "' -f '" +
                                sandbox / "ascii.charmap" + "' '" + sandbox / "velmoracomma" + "' >/dev/null 2>&1";
    ASSERT_NE(std::system(command.c_str()), -1);
    setenv("LOCPATH", sandbox.Path().c_str(), 1);
    ASSERT_NE(std::setlocale(LC_NUMERIC, "velmoracomma"), nullptr) << "localedef could not build the comma locale";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    // The C++ global locale with a comma too, for anything formatting through streams.
    struct Comma : std::numpunct<char> {
      char do_decimal_point() const override { return ','; }
    };
    previous_ = std::locale::global(std::locale(std::locale::classic(), new Comma));
  }
  void TearDown() override {
    std::locale::global(previous_);
    std::setlocale(LC_NUMERIC, "C");
    unsetenv("LOCPATH");
  }

 private:
  std::locale previous_;
};

TEST_F(CommaLocale, QualitiesAreWrittenWithAFullStop) {
  char check[16];
  std::snprintf(check, sizeof check, "%.1f", 0.5);
  ASSERT_STREQ(check, "0,5");  // the locale is in force
  EXPECT_EQ(net::FormatCodingQuality(0.5f), "0.5");
  TCodingRegistry registry(false);
  registry.RegisterCoding(net::CodingClass<TContentCodingUpper>(), 0.5f);
  registry.RegisterCoding(net::CodingClass<TContentCodingHoldA>(), 0.25f);
  Client client(registry);
  client.handler.SetEnabled(true);
  client.handler.SetUseQuality(true);
  EXPECT_EQ(client.handler.AcceptEncodingValue(), "Upper;q=0.5, HoldA;q=0.25");
}

TEST(ContentCodingHandler, ValueIsCachedUntilTheUseQualityFlagChanges) {
  TContentCodingToggle::active = true;
  TCodingRegistry registry(false);
  registry.RegisterCoding(net::CodingClass<TContentCodingUpper>(), 0.5f);
  registry.RegisterCoding(net::CodingClass<TContentCodingToggle>(), 0.8f);
  Client client(registry);
  client.handler.SetEnabled(true);
  client.handler.SetUseQuality(true);
  EXPECT_EQ(client.handler.AcceptEncodingValue(), "Upper;q=0.5, Toggle;q=0.8");

  TContentCodingToggle::active = false;
  EXPECT_EQ(client.handler.AcceptEncodingValue(), "Upper;q=0.5, Toggle;q=0.8");
  client.handler.SetUseQuality(true);  // same value: the cache stands
  EXPECT_EQ(client.handler.AcceptEncodingValue(), "Upper;q=0.5, Toggle;q=0.8");
  client.handler.SetEnabled(false);
  EXPECT_EQ(client.handler.AcceptEncodingValue(), "");
  client.handler.SetEnabled(true);  // switching off leaves the cache alone
  EXPECT_EQ(client.handler.AcceptEncodingValue(), "Upper;q=0.5, Toggle;q=0.8");
  client.handler.SetUseQuality(false);
  EXPECT_EQ(client.handler.AcceptEncodingValue(), "Upper");
  client.handler.SetUseQuality(true);
  EXPECT_EQ(client.handler.AcceptEncodingValue(), "Upper");
  TContentCodingToggle::active = true;
}

TEST(ContentCodingHandler, UnregisteredCodingLeavesTheBodyUndecoded) {
  TCodingRegistry registry;
  registry.RegisterCoding(net::CodingClass<TContentCodingHoldA>(), 1.0f);
  Client client(registry);
  client.handler.SetEnabled(true);
  const std::string body("\x1f\x8b\x08\0\0\0\0\0\0\x03 raw", 15);
  for (const char* encoding : {"gzip", "holda, gzip", "gzip, holda", "holda,"}) {
    client.delivered.clear();
    EXPECT_FALSE(client.handler.SetupDecoders(encoding)) << encoding;
    EXPECT_EQ(client.handler.DecoderCount(), 0u) << encoding;
    client.Body(body.substr(0, 4));
    client.Body(body.substr(4));
    client.handler.FinishDecoders();
    EXPECT_EQ(client.delivered, body) << encoding;
  }
}

TEST(ContentCodingHandler, TokensAreFoundWhateverTheirCase) {
  Client client;
  client.handler.SetEnabled(true);
  for (const char* encoding : {"IDENTITY", "Identity", "*", "identity, *"}) {
    client.delivered.clear();
    EXPECT_TRUE(client.handler.SetupDecoders(encoding)) << encoding;
    EXPECT_GE(client.handler.DecoderCount(), 1u) << encoding;
    client.Body("as sent");
    client.handler.FinishDecoders();
    EXPECT_EQ(client.delivered, "as sent") << encoding;
  }
}

TEST(ContentCodingHandler, ChainUndoesCodingsInReverseOrderAndFinishesHeadFirst) {
  TCodingRegistry registry;
  registry.RegisterCoding(net::CodingClass<TContentCodingHoldA>(), 1.0f);
  registry.RegisterCoding(net::CodingClass<TContentCodingHoldB>(), 1.0f);
  registry.RegisterCoding(net::CodingClass<TContentCodingUpper>(), 1.0f);
  Client client(registry);
  client.handler.SetEnabled(true);
  const std::pair<const char*, const char*> cases[] = {
      // For "a, b" the bytes meet b first: b's tag ends up inside a's.
      {"holda, holdb", "dataBA"},
      {"holdb, holda", "dataAB"},
      {"holda holdb", "dataBA"},
      {"upper, holdb", "DATAB"},
      {"holda, upper", "DATAA"},
      {"\"holda\",\"holdb\"", "dataBA"},
  };
  for (const auto& [encoding, expected] : cases) {
    client.delivered.clear();
    ASSERT_TRUE(client.handler.SetupDecoders(encoding)) << encoding;
    EXPECT_EQ(client.handler.DecoderCount(), 2u) << encoding;
    client.Body("da");
    client.Body("ta");
    client.handler.FinishDecoders();
    EXPECT_EQ(client.delivered, expected) << encoding;
  }
  // The next response starts without the previous chain.
  client.delivered.clear();
  EXPECT_TRUE(client.handler.SetupDecoders(""));
  EXPECT_EQ(client.handler.DecoderCount(), 0u);
  client.Body("plain");
  EXPECT_EQ(client.delivered, "plain");
}

TEST(ContentCodingHandler, RegistryIsCopiedButLookedUpLive) {
  TCodingRegistry registry(false);
  registry.RegisterCoding(net::CodingClass<TContentCodingUpper>(), 0.5f);
  Client client(registry);
  client.handler.SetEnabled(true);
  registry.RegisterCoding(net::CodingClass<TContentCodingHoldA>(), 1.0f);
  EXPECT_EQ(client.handler.Parameters().size(), 1u);
  EXPECT_EQ(client.handler.AcceptEncodingValue(), "Upper");
  EXPECT_TRUE(client.handler.SetupDecoders("holda"));
}

TEST(ContentCodingHandler, ReceiveStreamIsLookedUpAtEveryWrite) {
  Client client;
  net::TMemoryStream first, second;
  client.stream = &first;
  client.Body("one ");
  client.stream = &second;
  client.Body("two ");
  client.stream = nullptr;
  client.Body("three");
  EXPECT_EQ(first.Text(), "one ");
  EXPECT_EQ(second.Text(), "two ");
  EXPECT_EQ(client.delivered, "one two three");
}

TEST(ContentCodingHandler, SplitCodingListFollowsCommaTextRules) {
  using List = std::vector<std::string>;
  const std::pair<const char*, List> cases[] = {
      {"", {}},
      {"gzip", {"gzip"}},
      {"a, b", {"a", "b"}},
      {"a b\tc", {"a", "b", "c"}},
      {"  a ,b  ", {"a", "b"}},
      {"a,,b", {"a", "", "b"}},
      {"a,", {"a", ""}},
      {"a, ", {"a"}},
      {",a", {"", "a"}},
      {"\"x y\", z", {"x y", "z"}},
      {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
      {"\"open", {"open"}},
  };
  for (const auto& [text, tokens] : cases) EXPECT_EQ(net::SplitCodingList(text), tokens) << text;
}

}  // namespace
