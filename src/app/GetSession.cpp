#include "app/GetSession.h"

#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "app/CommonRoutines.h"
#include "app/ErrorLog.h"
#include "app/GetObserver.h"
#include "app/GetPageFetcher.h"
#include "download/HttpClientManager.h"
#include "scan/PageScanner.h"
#include "scan/ScanCollaborators.h"

namespace app {

namespace {

// What the page scanner needs from its surroundings, without a window: the
// page's address stands in for the address box, the manager takes the
// requests, the prompt keeps every entry, and log lines go to stderr.
class ScanHost final : public scan::AddressBox,
                       public scan::DownloadRequestSink,
                       public scan::DownloadPrompt,
                       public scan::DownloadFolderLister,
                       public scan::QueueHeader,
                       public scan::QuitState,
                       public ErrorLogSink {
 public:
  ScanHost(download::THttpClientManager& manager, GetProgress& progress) : manager_(manager), progress_(progress) {}

  void SetAddress(std::string address) { address_ = std::move(address); }

  std::string AddressText() const override { return address_; }
  void Add(std::string request) override { manager_.Add(std::move(request)); }
  void ShowDownloadPrompt(std::vector<std::string>&) override {}
  void ListDownloadFolders() override {}
  void UpdateQueueHeader() override {}
  bool QuitRequested() const override { return false; }
  void AddLogLine(std::string_view text) override { progress_.ErrorLine(text); }

 private:
  download::THttpClientManager& manager_;
  GetProgress& progress_;
  std::string address_;
};

// The folder an absolute file path lies in.
std::string ParentFolder(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

class GetSession {
 public:
  GetSession(platform::EventLoop& loop, GetOutput output, GetSessionSettings settings)
      : loop_(loop), settings_(std::move(settings)), progress_(std::move(output), SlotCount()),
        observer_(progress_, SlotCount()) {}

  int Run();

 private:
  int SlotCount() const { return std::clamp(settings_.options.MaxThreads, 1, 250); }
  bool PreparePrivateFolder();
  void RemovePrivateFolder();
  void AddDirect(const std::string& address);
  void FetchAndScan(const std::string& address);
  bool DeliverOutputFile();

  platform::EventLoop& loop_;
  GetSessionSettings settings_;
  GetProgress progress_;
  GetObserver observer_;  // outlives the manager, which reports while it ends
  std::unique_ptr<download::THttpClientManager> manager_;
  std::unique_ptr<ScanHost> scanHost_;
  std::unique_ptr<scan::PageScanner> scanner_;
  std::unique_ptr<GetPageFetcher> fetcher_;

  std::string privateFolder_;  // -O: the transfer is made here, then moved
  std::string finishedPath_;   // -O: the file once complete
  int otherFailures_ = 0;      // pages, direct addresses, the -O move
};

bool GetSession::PreparePrivateFolder() {
  // Beside the target, so the finished file is moved there in one rename and
  // FILE is never seen half-written.
  std::string templ = ParentFolder(settings_.outputFile) + "/.velmora-get-XXXXXX";
  if (!::mkdtemp(templ.data())) {
    progress_.ErrorLine("Error: Unable to create output file: " + settings_.outputFile + " (" +
                        std::strerror(errno) + ")");
    return false;
  }
  privateFolder_ = templ;
  settings_.options.OutputDir = privateFolder_ + "/";
  settings_.options.OverwriteExistingFile = 1;  // the folder is ours and empty
  return true;
}

void GetSession::RemovePrivateFolder() {
  if (privateFolder_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(privateFolder_, ignored);
  privateFolder_.clear();
}

bool GetSession::DeliverOutputFile() {
  if (finishedPath_.empty()) return false;
  if (std::rename(finishedPath_.c_str(), settings_.outputFile.c_str()) != 0) {
    progress_.ErrorLine("Error: Unable to rename " + finishedPath_ + " to " + settings_.outputFile + " (" +
                        std::strerror(errno) + ")");
    return false;
  }
  progress_.Line("Finished: " + settings_.outputFile);
  return true;
}

void GetSession::AddDirect(const std::string& address) {
  // The file name of the address, as the site queue names its requests.
  std::string name = UrlFileName(address);
  std::replace(name.begin(), name.end(), ',', '_');
  const std::string entry = name + "," + address;
  // Every address given is downloaded, so its extension is allowed.
  if (!manager_->IsAllowedEntry(entry)) {
    std::string path(address.substr(0, address.find('?')));
    const std::string file = UrlFileName(path);
    const auto dot = file.rfind('.');
    if (dot != std::string::npos) manager_->AddExtensions({file.substr(dot)});
  }
  if (!manager_->IsAllowedEntry(entry)) {
    progress_.ErrorLine("Error: No file extension in the address, not downloaded - " + address);
    ++otherFailures_;
    return;
  }
  manager_->Add(entry);
}

void GetSession::FetchAndScan(const std::string& address) {
  fetcher_->Start(address);
  loop_.RunUntil([this] { return fetcher_->Done(); });
  if (!fetcher_->Done()) return;  // the loop was told to end
  if (!fetcher_->Succeeded()) {
    progress_.ErrorLine(fetcher_->Error());
    ++otherFailures_;
    return;
  }
  scanHost_->SetAddress(fetcher_->FinalAddress());
  scanner_->SetBrowserPage(fetcher_->Lines());
  const std::size_t before = scanner_->GetSiteQueue().Count();
  scanner_->ScanBrowserPage();
  const std::size_t found = scanner_->GetSiteQueue().Count() - before;
  progress_.Line("Page: " + std::to_string(found) + (found == 1 ? " media link - " : " media links - ") + address);
  scanner_->SiteQueueTick();
}

int GetSession::Run() {
  if (!settings_.outputFile.empty() && !PreparePrivateFolder()) return 1;

  std::vector<std::string> allowed;
  SplitCommaList(settings_.options.ActiveList, allowed);
  download::TClientTimeouts timeouts;
  timeouts.StallMs = settings_.stallMs;
  manager_ = std::make_unique<download::THttpClientManager>(loop_, SlotCount(), observer_, allowed,
                                                            settings_.options, timeouts);
  observer_.Attach(*manager_);
  const settings::TApplicationOptions& o = settings_.options;
  manager_->SetProxy(o.Proxy, o.ProxyPort, o.Username, o.Password);
  if (settings_.serverUser) manager_->SetServerCredentials(*settings_.serverUser, settings_.serverPassword);

  observer_.OnFinished = [this](const std::string&, const std::string& path) {
    if (!privateFolder_.empty())
      finishedPath_ = path;
    else
      progress_.Line("Finished: " + path);
  };
  observer_.OnDropped = [this](const std::string& entry) {
    // A direct address was allowed before it was queued; a page's link can
    // still carry an extension the manager does not take (".mpeg" matches
    // "clip.mpeg4" on the page).
    progress_.Line("Skipped: " + EntryCaption(entry) + " (its extension is not active)");
  };

  scanHost_ = std::make_unique<ScanHost>(*manager_, progress_);
  scanner_ = std::make_unique<scan::PageScanner>(
      loop_, scan::PageScannerLinks{*scanHost_, *scanHost_, *scanHost_, *scanHost_, *scanHost_, *scanHost_,
                                    *scanHost_});
  scanner_->ApplySettings(o);
  fetcher_ = std::make_unique<GetPageFetcher>(loop_, settings_.stallMs);
  fetcher_->SetProxy(o.Proxy, o.ProxyPort, o.Username, o.Password);
  if (settings_.serverUser) fetcher_->SetServerCredentials(*settings_.serverUser, settings_.serverPassword);

  platform::Timer refresh(loop_, settings_.refreshMs, [this] { progress_.Refresh(); });
  refresh.SetEnabled(progress_.Terminal());

  manager_->Start();
  for (const std::string& address : settings_.addresses) {
    if (loop_.Terminated()) break;
    if (settings_.direct)
      AddDirect(address);
    else
      FetchAndScan(address);
  }
  loop_.RunUntil([this] { return manager_->IsIdle() && scanner_->GetSiteQueue().Empty(); });
  const bool completed = manager_->IsIdle();
  refresh.SetEnabled(false);
  if (!completed) manager_->Stop();  // the loop was ended early: abort what runs
  progress_.Finish();

  int failures = observer_.Failed() + otherFailures_ + (completed ? 0 : 1);
  if (!settings_.outputFile.empty()) {
    if (observer_.Finished() > 0 && !DeliverOutputFile()) ++failures;
    RemovePrivateFolder();
  }
  std::string summary = "Done: " + std::to_string(observer_.Finished()) + " finished, " +
                        std::to_string(failures) + " failed";
  if (observer_.Skipped() > 0) summary += ", " + std::to_string(observer_.Skipped()) + " skipped";
  progress_.Line(summary);
  return failures > 0 ? 1 : 0;
}

}  // namespace

int RunGetSession(platform::EventLoop& loop, GetOutput output, GetSessionSettings settings) {
  GetSession session(loop, std::move(output), std::move(settings));
  return session.Run();
}

}  // namespace app
