// velmora-get's observer of the download engine: it mirrors the manager's
// queue to know which entry each slot took, counts how every transfer ended,
// prints the engine's error lines and fills the progress display. A Failed
// status for a slot with no transfer of its own (the manager's Stop or its
// destruction) counts for nothing; a file the "skip" policy left alone counts
// as skipped, not failed.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/GetProgress.h"
#include "download/DownloadNotifications.h"

namespace download {
class THttpClientManager;
}

namespace app {

class GetObserver final : public download::TDownloadObserver {
 public:
  GetObserver(GetProgress& progress, int slotCount);

  // The manager whose clients tell the final path of a finished file; set
  // once the manager exists.
  void Attach(download::THttpClientManager& manager) { manager_ = &manager; }

  // Called with the entry ("name,address") and the file's final path.
  std::function<void(const std::string& entry, const std::string& path)> OnFinished;
  // Called for an entry the manager dropped for its extension.
  std::function<void(const std::string& entry)> OnDropped;

  int Finished() const { return finished_; }
  int Failed() const { return failed_; }
  int Skipped() const { return skipped_; }

  // download::TDownloadObserver
  void OnSlotStarted(int slot) override;
  void OnSlotSpeed(int slot, std::string text) override;
  void OnSlotStatus(int slot, download::TSlotStatus status) override;
  void OnQueueAdded(std::string_view entry) override;
  void OnQueueHeadDropped() override;
  void OnDispatchPass() override;
  void OnSlotProgress(int slot, std::string text) override;
  void OnSlotTimeLeft(int slot, std::string text) override;
  void OnQueueRemoved(int position) override;
  void OnFolderCreated() override;
  void OnDownloadError(std::string_view text) override;

 private:
  struct Slot {
    bool busy = false;
    std::string entry;
  };
  Slot* SlotAt(int slot);
  std::string TakeQueueHead();

  GetProgress& progress_;
  download::THttpClientManager* manager_ = nullptr;
  std::deque<std::string> queue_;
  std::vector<Slot> slots_;
  bool skipWarned_ = false;  // the skip policy's warning came; its Failed follows
  int finished_ = 0;
  int failed_ = 0;
  int skipped_ = 0;
};

// The caption of an entry: its text before the first ",".
std::string EntryCaption(std::string_view entry);

}  // namespace app
