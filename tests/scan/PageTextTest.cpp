#include "scan/PageText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace scan {
namespace {

using Lines = std::vector<std::string>;

std::string Joined(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// Every search and slice gives what the joined copy gives, at every position.
TEST(PageText, AgreesWithTheJoinedText) {
  const Lines pages[] = {{}, {""}, {"", "", ""}, {"<a>"}, {"ab<c", "", "d>e\"f", "'<g>'"}, {"x", "<", ">"}};
  for (const Lines& page : pages) {
    const std::string joined = Joined(page);
    PageText text(page);
    ASSERT_EQ(text.Size(), joined.size());
    std::string scratch;
    for (std::size_t from = 0; from <= joined.size(); ++from) {
      for (char c : {'<', '>', '"', '\''}) {
        const std::size_t expected = joined.find(c, from);
        EXPECT_EQ(text.Find(from, c), expected == std::string::npos ? joined.size() : expected);
      }
      const std::size_t any = joined.find_first_of(">\"'", from);
      EXPECT_EQ(text.FindFirstOf(from, '>', '"', '\''), any == std::string::npos ? joined.size() : any);
      if (from < joined.size()) {
        EXPECT_EQ(text.At(from), joined[from]);
      }
      for (std::size_t to = from; to <= joined.size(); ++to) {
        ASSERT_EQ(std::string(text.Slice(from, to, scratch)), joined.substr(from, to - from)) << from << " " << to;
      }
    }
  }
}

}  // namespace
}  // namespace scan
