#include "download/HttpClientManager.h"

#include <algorithm>
#include <cstdlib>

#include "app/CommonRoutines.h"
#include "download/YouTubeEntry.h"
#include "platform/EventLoop.h"

namespace download {

namespace {

// The extension of a text: from its last "." after its last "/" and ":",
// lower-cased; empty when there is none.
std::string TextExtension(std::string_view text) {
  const auto dot = text.rfind('.');
  if (dot == std::string_view::npos) return {};
  const auto slash = text.rfind('/');
  const auto colon = text.rfind(':');
  if (slash != std::string_view::npos && slash > dot) return {};
  if (colon != std::string_view::npos && colon > dot) return {};
  return app::LowerCase(text.substr(dot));
}
}  // namespace

THttpClientManager::THttpClientManager(platform::EventLoop& loop, int slotCount, TDownloadObserver& observer,
                                       const std::vector<std::string>& allowedExtensions,
                                       const settings::TApplicationOptions& options, TClientTimeouts timeouts,
                                       int dispatchIntervalMs)
    : Loop(loop), AllowedExtensions(allowedExtensions), AppOptions(options), Observer(observer) {
  DispatchTimer = std::make_unique<platform::Timer>(loop, dispatchIntervalMs, [this] { OnDispatchTimer(); });
  for (auto& ext : AllowedExtensions) ext = app::LowerCase(ext);
  Clients.reserve(static_cast<std::size_t>(std::max(slotCount, 0)));
  for (int i = 0; i < slotCount; ++i) {
    Clients.push_back(std::make_unique<THttpClient>(loop, i, AppOptions.OutputDir, observer, *this,
                                                    AppOptions.OverwriteExistingFile,
                                                    AppOptions.BandwidthThrottling != 0, AppOptions.Bandwidth,
                                                    timeouts));
  }
}

THttpClientManager::~THttpClientManager() {
  *Alive = false;
  DispatchTimer->SetEnabled(false);
  for (auto& client : Clients) {
    client->AbortDownload();
    client.reset();
  }
}

void THttpClientManager::SetProxy(const std::string& host, const std::string& port, const std::string& user,
                                  const std::string& password) {
  for (auto& client : Clients) client->SetProxy(host, port, user, password);
}

void THttpClientManager::SetServerCredentials(const std::string& user, const std::string& password) {
  for (auto& client : Clients) client->SetServerCredentials(user, password);
}

void THttpClientManager::AddExtensions(const std::vector<std::string>& extensions) {
  for (const auto& ext : extensions) AllowedExtensions.push_back(app::LowerCase(ext));
}

void THttpClientManager::Start() {
  if (RunState == TRunState::Running) return;
  RunState = TRunState::Running;
  DispatchTimer->SetEnabled(true);
}

void THttpClientManager::Stop() {
  RunState = TRunState::Stopped;
  DispatchTimer->SetEnabled(false);
  for (auto& client : Clients) client->AbortDownload();
}

void THttpClientManager::Pause() {
  Paused = true;
  DispatchTimer->SetEnabled(false);
}

void THttpClientManager::Resume() {
  Paused = false;
  DispatchTimer->SetEnabled(true);
}

void THttpClientManager::Add(std::string entry) {
  Pending.push_back(std::move(entry));
  Observer.OnQueueAdded(Pending.back());
}

void THttpClientManager::Remove(const std::vector<std::string>& indices) {
  const bool running = RunState == TRunState::Running;
  if (running) DispatchTimer->SetEnabled(false);
  std::vector<long> positions;
  for (const auto& text : indices) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (end != text.c_str() && *end == '\0') positions.push_back(value);
  }
  std::sort(positions.begin(), positions.end(), std::greater<>());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  for (long position : positions) {
    if (position < 0 || position >= static_cast<long>(Pending.size())) continue;
    Pending.erase(Pending.begin() + position);
    Observer.OnQueueRemoved(static_cast<int>(position));
  }
  if (running) DispatchTimer->SetEnabled(true);
}

void THttpClientManager::NotifyError(std::string_view text) { Observer.OnDownloadError(text); }

void THttpClientManager::NotifyFolderCreated() { Observer.OnFolderCreated(); }

void THttpClientManager::ClientBecameIdle(THttpClient&) {
  // Start the next transfer at once instead of at the next tick.
  if (RunState != TRunState::Running || Paused || Pending.empty() || PassPosted) return;
  PassPosted = true;
  Loop.PostGuardedTask(Alive, [this] {
    PassPosted = false;
    if (!InPass) OnDispatchTimer();
  });
}

bool THttpClientManager::IsIdle() const {
  if (!Pending.empty()) return false;
  for (const auto& client : Clients)
    if (client->State() != TClientState::Idle) return false;
  return true;
}

bool THttpClientManager::IsAllowedEntry(std::string_view entry) const {
  if (IsYouTubeEntryAnyCase(entry)) return true;
  auto allowed = [this](const std::string& ext) {
    return !ext.empty() && std::find(AllowedExtensions.begin(), AllowedExtensions.end(), ext) != AllowedExtensions.end();
  };
  // The extension before the query ("clip.flv?session=7"), or that of the
  // whole entry, as before, for links that name the file in their query
  // ("get.php?file=a.flv").
  const auto query = entry.find('?');
  if (query != std::string_view::npos && allowed(TextExtension(entry.substr(0, query)))) return true;
  return allowed(TextExtension(entry));
}

void THttpClientManager::OnDispatchTimer() {
  if (InPass) return;
  InPass = true;
  std::shared_ptr<bool> alive = Alive;
  DispatchTimer->SetEnabled(false);
  while (RunState == TRunState::Running && !Pending.empty() && !Paused) {
    Observer.OnDispatchPass();
    if (!*alive) return;  // not expected: the observer destroyed the manager
    // The observer's pass may have changed everything.
    if (RunState != TRunState::Running || Pending.empty() || Paused) break;
    THttpClient* idle = nullptr;
    for (auto& client : Clients) {
      if (client->State() == TClientState::Idle) {
        idle = client.get();
        break;
      }
    }
    if (!idle) break;
    std::string entry = std::move(Pending.front());
    Pending.pop_front();
    if (IsAllowedEntry(entry)) {
      Observer.OnSlotStarted(idle->Slot());
      idle->SetState(TClientState::Assigned);
      idle->StartDownload(entry);
    } else {
      Observer.OnQueueHeadDropped();
    }
  }
  InPass = false;
  if (!Paused) DispatchTimer->SetEnabled(true);
}

}  // namespace download
