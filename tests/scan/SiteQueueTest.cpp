#include "scan/SiteQueue.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "app/CommonRoutines.h"

namespace scan {
namespace {

using Lines = std::vector<std::string>;

TEST(SiteQueue, LookupsIgnoreLetterCase) {
  SiteQueue queue;
  EXPECT_FALSE(queue.Contains("anything"));
  queue.Add("http://h/Clip.FLV");
  EXPECT_TRUE(queue.Contains("HTTP://H/clip.flv"));
  EXPECT_FALSE(queue.Contains("http://h/clip.flv2"));
  EXPECT_FALSE(queue.Contains(""));
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

TEST(SiteQueue, AddAllIfAbsentKeepsTheFirstOfEqualEntries) {
  SiteQueue queue;
  queue.Add("http://h/One.flv");
  queue.AddAllIfAbsent({"http://h/one.FLV", "http://h/two.flv", "HTTP://H/TWO.FLV", "http://h/three.flv"});
  EXPECT_EQ(queue.Entries(), (Lines{"http://h/One.flv", "http://h/two.flv", "http://h/three.flv"}));
  queue.AddAllIfAbsent({});
  EXPECT_EQ(queue.Count(), 3u);
}

// Many entries through every operation, checked against a plain list searched
// the slow way: the index must agree with it after each step.
TEST(SiteQueue, IndexAgreesWithAPlainListThroughGrowthAndRemoval) {
  std::mt19937 random(7);
  auto name = [&] { return "http://h/" + std::to_string(random() % 3000) + (random() % 2 ? ".flv" : ".FLV"); };
  auto contains = [](const Lines& list, const std::string& entry) {
    for (const std::string& e : list) {
      if (app::SameText(e, entry)) return true;
    }
    return false;
  };
  SiteQueue queue;
  Lines model;
  for (int step = 0; step < 400; ++step) {
    switch (random() % 5) {
      case 0: {
        Lines batch;
        for (int i = 0; i < 50; ++i) batch.push_back(name());
        for (const std::string& e : batch) {
          if (!contains(model, e)) model.push_back(e);
        }
        queue.AddAllIfAbsent(batch);
        break;
      }
      case 1: {
        const std::string e = name();
        EXPECT_EQ(queue.AddIfAbsent(e), !contains(model, e));
        if (!contains(model, e)) model.push_back(e);
        break;
      }
      case 2: {
        const std::string e = name();
        queue.Add(e);
        model.push_back(e);
        break;
      }
      case 3: {
        const std::size_t n = random() % 40;
        queue.RemoveFirst(n);
        model.erase(model.begin(), model.begin() + static_cast<std::ptrdiff_t>(std::min(n, model.size())));
        break;
      }
      default: {
        const std::size_t n = std::min<std::size_t>(random() % 10, model.size());
        Lines replacement = {name(), name()};
        queue.ReplaceFirst(n, replacement);
        model.erase(model.begin(), model.begin() + static_cast<std::ptrdiff_t>(n));
        model.insert(model.begin(), replacement.begin(), replacement.end());
        break;
      }
    }
    ASSERT_EQ(queue.Entries(), model) << "step " << step;
    for (int probe = 0; probe < 20; ++probe) {
      const std::string e = name();
      ASSERT_EQ(queue.Contains(e), contains(model, e)) << e;
    }
  }
}

}  // namespace
}  // namespace scan
