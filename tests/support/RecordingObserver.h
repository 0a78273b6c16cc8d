// A download observer that records every notification as a line of text and
// runs the loop's pending work on the dispatch-pass notification, as the
// program's windows do.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "download/DownloadNotifications.h"
#include "platform/EventLoop.h"

namespace testsupport {

class RecordingObserver final : public download::TDownloadObserver {
 public:
  explicit RecordingObserver(platform::EventLoop& loop, bool recordTexts = true)
      : loop_(loop), recordTexts_(recordTexts) {}

  void OnSlotStarted(int slot) override { Add("started " + std::to_string(slot)); }
  void OnSlotSpeed(int slot, std::string text) override { AddText("speed " + std::to_string(slot), text); }
  void OnSlotStatus(int slot, download::TSlotStatus status) override {
    static const char* names[] = {"", "Connected", "Transferring", "Finished", "Failed"};
    Add("status " + std::to_string(slot) + " " + names[static_cast<int>(status)]);
    if (status == download::TSlotStatus::Finished) ++finished;
    if (status == download::TSlotStatus::Failed) ++failed;
  }
  void OnQueueAdded(std::string_view entry) override { Add("added " + std::string(entry)); }
  void OnQueueHeadDropped() override { Add("dropped"); }
  void OnDispatchPass() override {
    ++passes;
    Add("pass");
    loop_.ProcessPending();
  }
  void OnSlotProgress(int slot, std::string text) override { AddText("progress " + std::to_string(slot), text); }
  void OnSlotTimeLeft(int slot, std::string text) override { AddText("timeleft " + std::to_string(slot), text); }
  void OnQueueRemoved(int position) override { Add("removed " + std::to_string(position)); }
  void OnFolderCreated() override { Add("folder"); }
  void OnDownloadError(std::string_view text) override {
    Add("error " + std::string(text));
    errors.emplace_back(text);
  }

  // The lines that begin with `prefix`.
  std::vector<std::string> With(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& l : lines)
      if (l.rfind(prefix, 0) == 0) out.push_back(l);
    return out;
  }
  // The lines with every run of per-fragment texts (time left, speed,
  // progress) folded into one "data <slot>" line, for order checks.
  std::vector<std::string> Folded() const {
    std::vector<std::string> out;
    for (const auto& l : lines) {
      const std::string kind = l.substr(0, l.find(' '));
      if (kind == "speed" || kind == "progress" || kind == "timeleft") {
        const std::string slot = l.substr(l.find(' ') + 1, l.find(' ', l.find(' ') + 1) - l.find(' ') - 1);
        if (out.empty() || out.back() != "data " + slot) out.push_back("data " + slot);
        continue;
      }
      out.push_back(l);
    }
    return out;
  }

  std::vector<std::string> lines;
  std::vector<std::string> errors;
  int finished = 0;
  int failed = 0;
  int passes = 0;

 private:
  void Add(std::string line) { lines.push_back(std::move(line)); }
  void AddText(std::string head, const std::string& text) {
    lines.push_back(recordTexts_ ? head + " " + text : head);
  }
  platform::EventLoop& loop_;
  bool recordTexts_;
};

}  // namespace testsupport
