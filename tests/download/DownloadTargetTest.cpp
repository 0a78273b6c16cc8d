// Where entries are stored, and the texts shown per fragment.
#include <gtest/gtest.h>

#include "download/DownloadTarget.h"
#include "download/TransferTexts.h"
#include "support/Sandbox.h"

using namespace download;

TEST(DownloadTargetTest, EntriesToPaths) {
  struct Case {
    const char* entry;
    const char* site;
    const char* target;
    const char* temp;
  };
  const Case cases[] = {
      {"clip.flv,http://H/media/clip.flv", "H/", "/dl/H/clip.flv", "/dl/H/clip.$$$"},
      {"clip.flv,http://H/clip.flv?a=1/b", "H/", "/dl/H/clip.flv", "/dl/H/clip.$$$"},
      {"clip.flv?a=1,http://H/m/clip.flv?a=1", "H/", "/dl/H/clip.flv", "/dl/H/clip.$$$"},
      {"x.mpg,http://host:8080/x.mpg", "host_8080/", "/dl/host_8080/x.mpg", "/dl/host_8080/x.$$$"},
      {"My: video?,http://www.youtube.com/get_video?video_id=1", "www.youtube.com/",
       "/dl/www.youtube.com/My_ video_.flv", "/dl/www.youtube.com/My_ video_.$$$"},
      // Fewer than three slashes before the last character: straight into the output folder.
      {"a.flv,http://a.flv", "", "/dl/a.flv", "/dl/a.$$$"},
      {"noext,http://H/noext", "H/", "/dl/H/noext", "/dl/H/noext.$$$"},
      // Nothing from the page may name a place outside the output folder.
      {"x.flv,http://../x.flv", "", "/dl/x.flv", "/dl/x.$$$"},
      {"x.flv,http://./x.flv", "", "/dl/x.flv", "/dl/x.$$$"},
      {"x.flv,http:///x.flv", "", "/dl/x.flv", "/dl/x.$$$"},
      {",http://H/", "", "/dl/index.html", "/dl/index.$$$"},
      {"..,http://H/..", "H/", "/dl/H/index.html", "/dl/H/index.$$$"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.entry);
    const TDownloadTarget t = ComputeDownloadTarget(c.entry, "/dl/");
    EXPECT_EQ(t.SiteFolder, c.site);
    EXPECT_EQ(t.TargetPath, c.target);
    EXPECT_EQ(t.TempPath, c.temp);
  }
  using namespace std::string_literals;
  EXPECT_EQ(ComputeDownloadTarget("a\0b,http://www.youtube.com/get_video?v=1"s, "/dl/").FileName, "a_b.flv");
  EXPECT_EQ(ComputeDownloadTarget("n,http://H/p.flv", "/dl/").Address, "http://H/p.flv");
  EXPECT_EQ(ComputeDownloadTarget("http://H/p.flv", "/dl/").Address, "http://H/p.flv");
}

TEST(DownloadTargetTest, UniqueFileNameNumbersBeforeTheLastDot) {
  testsupport::Sandbox box;
  box.WriteFile("clip.flv", "x");
  const std::string unique = UniqueFileName(box.Path() + "clip.flv");
  ASSERT_EQ(unique.rfind(box.Path() + "clip_", 0), 0u);
  ASSERT_EQ(unique.substr(unique.size() - 4), ".flv");
  const int number = std::stoi(unique.substr(box.Path().size() + 5));
  EXPECT_GE(number, 1);
  EXPECT_LE(number, 29000);
  EXPECT_FALSE(testsupport::Sandbox::Exists(unique));
}

TEST(TransferTextsTest, SpeedTimeLeftAndProgress) {
  EXPECT_EQ(SpeedText(TransferSpeed(1024 * 150, 1000)), "150.00 KB/Sec");
  EXPECT_EQ(SpeedText(1536.0), "1.50 KB/Sec");
  // 3725 s left: one hour, two minutes, five seconds.
  EXPECT_EQ(TimeLeftText(3725 * 100 + 100, 100, 100.0), "01:02:05");
  // Halves go to the even neighbour: 2.5 s -> 2, 3.5 s -> 4.
  EXPECT_EQ(TimeLeftText(350, 100, 100.0), "00:00:02");
  EXPECT_EQ(TimeLeftText(450, 100, 100.0), "00:00:04");
  EXPECT_EQ(TimeLeftText(1000, 0, 0.0), "00:00:00");
  EXPECT_EQ(ProgressText(2 * 1048576, 1048576), "50% of 2.00 MB");
  EXPECT_EQ(ProgressText(1000, 1000), "100% of 0.00 MB");
  // Unknown length: what has arrived, no percentage of a negative size.
  EXPECT_EQ(TimeLeftText(-1, 5000, 10.0), "--:--:--");
  EXPECT_EQ(ProgressText(-1, 3 * 1048576), "3.00 MB");
}
