// THttpClientManager: the download queue and a fixed set of download slots
// (THttpClient). Every 10 ms, while running and not paused, a dispatch pass
// hands the oldest queued entry to the first idle slot. Every change of the
// queue is announced to the observer, in the order of the changes; what the
// slots report goes to the same observer. Loop thread only.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "download/DownloadNotifications.h"
#include "download/HttpClient.h"
#include "settings/ApplicationOptions.h"

namespace platform {
class EventLoop;
class Timer;
}  // namespace platform

namespace download {

enum class TRunState { Stopped, Running };

inline constexpr int kDispatchIntervalMs = 10;

class THttpClientManager final : public TDownloadReporter {
 public:
  // `slotCount` clients, client i created with (i, OutputDir, observer,
  // OverwriteExistingFile, BandwidthThrottling, Bandwidth) of `options`.
  // The dispatch interval is 10 ms; tests may stretch it.
  THttpClientManager(platform::EventLoop& loop, int slotCount, TDownloadObserver& observer,
                     const std::vector<std::string>& allowedExtensions,
                     const settings::TApplicationOptions& options, TClientTimeouts timeouts = {},
                     int dispatchIntervalMs = kDispatchIntervalMs);
  ~THttpClientManager() override;
  THttpClientManager(const THttpClientManager&) = delete;
  THttpClientManager& operator=(const THttpClientManager&) = delete;

  void SetProxy(const std::string& host, const std::string& port, const std::string& user,
                const std::string& password);
  // Server credentials for every slot (velmora-get's --user).
  void SetServerCredentials(const std::string& user, const std::string& password);
  // Appends to the allowed extensions; existing ones stay.
  void AddExtensions(const std::vector<std::string>& extensions);
  void Start();
  // Stops handing out and aborts every slot (each reports Failed); the queue stays.
  void Stop();
  void Pause();
  void Resume();
  bool IsRunning() const { return RunState == TRunState::Running; }
  bool IsPaused() const { return Paused; }

  // Appends an entry ("name,address") and announces it.
  void Add(std::string entry);
  // Removes the entries at the given queue positions (decimal texts), highest
  // first, announcing each. Positions outside the queue are ignored.
  void Remove(const std::vector<std::string>& indices);

  // TDownloadReporter, for the clients.
  void NotifyError(std::string_view text) override;
  void NotifyFolderCreated() override;
  void ClientBecameIdle(THttpClient& client) override;

  // Inspection.
  const std::deque<std::string>& PendingEntries() const { return Pending; }
  int SlotCount() const { return static_cast<int>(Clients.size()); }
  THttpClient& Client(int slot) { return *Clients[static_cast<std::size_t>(slot)]; }
  // True when the queue is empty and every slot idle.
  bool IsIdle() const;
  // Whether `entry` may be downloaded: a YouTube entry, or one whose
  // extension (query cut off) is allowed.
  bool IsAllowedEntry(std::string_view entry) const;

  // The dispatch pass (the timer's tick).
  void OnDispatchTimer();

 private:
  platform::EventLoop& Loop;
  bool Paused = false;
  std::vector<std::string> AllowedExtensions;
  settings::TApplicationOptions AppOptions;
  TDownloadObserver& Observer;
  std::deque<std::string> Pending;
  std::vector<std::unique_ptr<THttpClient>> Clients;
  std::unique_ptr<platform::Timer> DispatchTimer;
  TRunState RunState = TRunState::Stopped;
  bool InPass = false;
  bool PassPosted = false;
  std::shared_ptr<bool> Alive = std::make_shared<bool>(true);
};

}  // namespace download
