#include "app/ErrorLog.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>

namespace app {
namespace {

TEST(ErrorLog, NewestLineFirst) {
  ErrorLog log;
  int changes = 0;
  log.SetOnChanged([&] { ++changes; });
  EXPECT_EQ(log.Text(), "");
  log.AddLogLine("Error: first");
  log.AddLogLine("Error: Aborted - clip.flv");
  log.AddLogLine("");
  EXPECT_EQ(log.Lines(), (std::deque<std::string>{"", "Error: Aborted - clip.flv", "Error: first"}));
  EXPECT_EQ(log.Text(), "\nError: Aborted - clip.flv\nError: first");
  EXPECT_EQ(changes, 3);
}

TEST(ErrorLog, ServesAsASink) {
  ErrorLog log;
  ErrorLogSink& sink = log;
  sink.AddLogLine("Warning: one");
  EXPECT_EQ(log.Count(), 1u);
  EXPECT_EQ(log.Lines().front(), "Warning: one");
}

}  // namespace
}  // namespace app
