#include "scan/DownloadPromptList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace scan {
namespace {

using Lines = std::vector<std::string>;

const Lines kEntries = {"http://h/a.flv", "My video,http://www.youtube.com/get_video?v=1",
                        "http://h/x,y.flv"};

TEST(DownloadPromptList, RowsShowTheTextBeforeTheFirstCommaAllChecked) {
  DownloadPromptList list(kEntries);
  EXPECT_EQ(list.Rows(), (Lines{"http://h/a.flv", "My video", "http://h/x"}));
  for (std::size_t i = 0; i < list.Count(); ++i) EXPECT_TRUE(list.Checked(i));
  EXPECT_EQ(list.CountText(), "3 files available for download.");
  EXPECT_EQ(DownloadPromptList(Lines{}).CountText(), "0 files available for download.");
}

TEST(DownloadPromptList, KeepsTheCheckedEntriesInOrder) {
  struct Case {
    const char* what;
    std::vector<bool> checked;
    Lines kept;
  } cases[] = {
      {"all checked", {true, true, true}, kEntries},
      {"middle unchecked", {true, false, true}, {kEntries[0], kEntries[2]}},
      {"first and last unchecked", {false, true, false}, {kEntries[1]}},
      // A row shown cut at its comma is handed back whole.
      {"only the comma entry", {false, false, true}, {"http://h/x,y.flv"}},
      {"none checked", {false, false, false}, {}},
  };
  for (const Case& c : cases) {
    DownloadPromptList list(kEntries);
    for (std::size_t i = 0; i < c.checked.size(); ++i) list.SetChecked(i, c.checked[i]);
    Lines entries = kEntries;
    list.ApplyTo(entries);
    EXPECT_EQ(entries, c.kept) << c.what;
  }
}

TEST(DownloadPromptList, MenuCommands) {
  DownloadPromptList list(kEntries);
  list.SetChecked(1, false);
  list.Invert();
  EXPECT_EQ((std::vector<bool>{list.Checked(0), list.Checked(1), list.Checked(2)}),
            (std::vector<bool>{false, true, false}));
  list.CheckAll();
  EXPECT_TRUE(list.Checked(0) && list.Checked(1) && list.Checked(2));
  list.UnCheckAll();
  EXPECT_FALSE(list.Checked(0) || list.Checked(1) || list.Checked(2));
}

}  // namespace
}  // namespace scan
