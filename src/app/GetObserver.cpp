#include "app/GetObserver.h"

#include "download/DownloadTarget.h"
#include "download/HttpClientManager.h"

namespace app {

namespace {
// The download client's warning for a file the "skip" policy leaves alone; its
// Failed status follows at once, for the slot that took the entry.
constexpr std::string_view kSkipWarning =
    "Warning: File exist, option set to not download the file if it already exists.";
}  // namespace

std::string EntryCaption(std::string_view entry) {
  const auto comma = entry.find(',');
  return std::string(comma == std::string_view::npos ? std::string_view() : entry.substr(0, comma));
}

GetObserver::GetObserver(GetProgress& progress, int slotCount)
    : progress_(progress), slots_(static_cast<std::size_t>(std::max(slotCount, 0))) {}

GetObserver::Slot* GetObserver::SlotAt(int slot) {
  if (slot < 0 || slot >= static_cast<int>(slots_.size())) return nullptr;
  return &slots_[static_cast<std::size_t>(slot)];
}

std::string GetObserver::TakeQueueHead() {
  if (queue_.empty()) return {};
  std::string entry = std::move(queue_.front());
  queue_.pop_front();
  return entry;
}

void GetObserver::OnQueueAdded(std::string_view entry) { queue_.emplace_back(entry); }

void GetObserver::OnSlotStarted(int slot) {
  std::string entry = TakeQueueHead();
  Slot* s = SlotAt(slot);
  if (!s) return;
  s->busy = true;
  s->entry = std::move(entry);
  progress_.SlotStarted(slot, EntryCaption(s->entry));
}

void GetObserver::OnQueueHeadDropped() {
  const std::string entry = TakeQueueHead();
  if (OnDropped) OnDropped(entry);
}

void GetObserver::OnQueueRemoved(int position) {
  if (position >= 0 && position < static_cast<int>(queue_.size())) queue_.erase(queue_.begin() + position);
}

// Nothing is waiting for the user here: no window, no buttons, so the pass
// need not run the loop.
void GetObserver::OnDispatchPass() {}

void GetObserver::OnSlotStatus(int slot, download::TSlotStatus status) {
  Slot* s = SlotAt(slot);
  if (!s) return;
  switch (status) {
    case download::TSlotStatus::Connected:
      progress_.SlotState(slot, "Connected");
      return;
    case download::TSlotStatus::Transferring:
      progress_.SlotState(slot, "Transferring");
      return;
    case download::TSlotStatus::Finished:
    case download::TSlotStatus::Failed:
      break;
  }
  const bool skipped = skipWarned_;
  skipWarned_ = false;
  if (!s->busy) return;  // Stop or the manager's end: no transfer of this slot's own
  s->busy = false;
  const std::string entry = std::move(s->entry);
  progress_.SlotEnded(slot);
  if (status == download::TSlotStatus::Finished) {
    ++finished_;
    std::string path;
    if (manager_) {
      download::THttpClient& client = manager_->Client(slot);
      path = download::ChangePathExtension(client.TempPath(), download::PathExtension(client.TargetPath()));
    }
    if (OnFinished) OnFinished(entry, path);
  } else if (skipped) {
    ++skipped_;
    progress_.Line("Skipped: " + EntryCaption(entry) + " (the file exists)");
  } else {
    ++failed_;
    // The line the desktop program's log shows for a failed transfer.
    progress_.ErrorLine("Error: Aborted - " + EntryCaption(entry));
  }
}

void GetObserver::OnSlotSpeed(int slot, std::string text) { progress_.SlotSpeed(slot, std::move(text)); }

void GetObserver::OnSlotProgress(int slot, std::string text) { progress_.SlotProgress(slot, std::move(text)); }

void GetObserver::OnSlotTimeLeft(int slot, std::string text) { progress_.SlotTimeLeft(slot, std::move(text)); }

void GetObserver::OnFolderCreated() {}

void GetObserver::OnDownloadError(std::string_view text) {
  if (text == kSkipWarning) skipWarned_ = true;
  progress_.ErrorLine(text);
}

}  // namespace app
