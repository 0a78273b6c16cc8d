// The eleven notifications by which the download engine (the manager and its
// clients) reports to its one observer. Each is a synchronous call on the
// loop's thread: the sender goes on only after the observer has returned.
// Owned texts are handed over by value; borrowed ones are valid during the
// call only. The numbers are the engine's historical message numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace download {

enum class TDownloadNotification : std::uint32_t {
  SlotStarted = 0x800,
  SlotSpeed = 0x805,
  SlotStatus = 0x806,
  QueueAdded = 0x807,
  QueueHeadDropped = 0x808,
  DispatchPass = 0x80A,
  SlotProgress = 0x80B,
  SlotTimeLeft = 0x80C,
  QueueRemoved = 0x80D,
  FolderCreated = 0x80E,
  DownloadError = 0x80F,
};

// Status codes of OnSlotStatus.
enum class TSlotStatus : int {
  Connected = 1,     // a connection attempt ended (also a failed one)
  Transferring = 2,  // the body began
  Finished = 3,      // the file is complete under its final name
  Failed = 4,        // aborted, timed out or refused; the ".$$$" file stays
};

class TDownloadObserver {
 public:
  virtual ~TDownloadObserver() = default;
  // The first queue entry went to `slot`.
  virtual void OnSlotStarted(int slot) = 0;
  virtual void OnSlotSpeed(int slot, std::string text) = 0;
  virtual void OnSlotStatus(int slot, TSlotStatus status) = 0;
  // An entry ("name,address") was appended to the queue.
  virtual void OnQueueAdded(std::string_view entry) = 0;
  // The first queue entry was dropped (its extension is not allowed).
  virtual void OnQueueHeadDropped() = 0;
  // Before each hand-out attempt: the observer may process pending events
  // here, and only here.
  virtual void OnDispatchPass() = 0;
  virtual void OnSlotProgress(int slot, std::string text) = 0;
  virtual void OnSlotTimeLeft(int slot, std::string text) = 0;
  // The queue entry at `position` (0 = oldest) was removed.
  virtual void OnQueueRemoved(int position) = 0;
  // A site folder was created.
  virtual void OnFolderCreated() = 0;
  // An error or warning line for the error log.
  virtual void OnDownloadError(std::string_view text) = 0;
};

}  // namespace download
