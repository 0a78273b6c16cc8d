#include "scan/SiteQueue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace scan {
namespace {

using Lines = std::vector<std::string>;

TEST(SiteQueue, LookupsIgnoreLetterCase) {
  SiteQueue queue;
  queue.Add("http://h/Clip.FLV");
  EXPECT_TRUE(queue.Contains("HTTP://H/clip.flv"));
  EXPECT_FALSE(queue.Contains("http://h/clip.flv2"));
  EXPECT_EQ(queue.Entries(), Lines{"http://h/Clip.FLV"});  // stored as written
}

TEST(SiteQueue, RemovingAndReplacingKeepLookupsInStep) {
  SiteQueue queue;
  for (const char* e : {"a", "B", "c", "A", "d"}) queue.Add(e);
  queue.RemoveFirst(2);
  EXPECT_EQ(queue.Entries(), (Lines{"c", "A", "d"}));
  EXPECT_TRUE(queue.Contains("a"));  // the second copy is still queued
  EXPECT_FALSE(queue.Contains("b"));

  queue.ReplaceFirst(2, {"x"});
  EXPECT_EQ(queue.Entries(), (Lines{"x", "d"}));
  EXPECT_FALSE(queue.Contains("a"));
  EXPECT_FALSE(queue.Contains("c"));
  EXPECT_TRUE(queue.Contains("X"));

  queue.RemoveFirst(10);
  EXPECT_TRUE(queue.Empty());
  EXPECT_FALSE(queue.Contains("d"));
}

}  // namespace
}  // namespace scan
