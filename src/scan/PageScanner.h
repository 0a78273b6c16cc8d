// The page scanner the main window owns: it turns the page last completed in
// the browser into site-queue entries (ScanBrowserPage) and, once a second
// while the downloader runs, hands the queued entries to the download manager
// as "name,address" requests (SiteQueueTick). Everything runs on the loop's
// thread; both calls process pending messages, so other handlers (a new scan
// among them) can run inside them. The collaborators outlive the scanner.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/EventLoop.h"
#include "scan/HtmlLinkParser.h"
#include "scan/ScanCollaborators.h"
#include "scan/SiteQueue.h"

namespace app {
class ErrorLogSink;
}
namespace settings {
struct TApplicationOptions;
}

namespace scan {

// The site-queue tick's interval.
inline constexpr int kSiteQueueIntervalMs = 1000;

struct PageScannerLinks {
  AddressBox& addressBox;
  DownloadRequestSink& downloads;
  app::ErrorLogSink& errorLog;
  DownloadPrompt& prompt;
  DownloadFolderLister& folders;
  QueueHeader& queueHeader;
  QuitState& quit;
};

class PageScanner {
 public:
  // The tick's timer starts switched off.
  PageScanner(platform::EventLoop& loop, PageScannerLinks links, int tickIntervalMs = kSiteQueueIntervalMs);
  ~PageScanner();
  PageScanner(const PageScanner&) = delete;
  PageScanner& operator=(const PageScanner&) = delete;

  // Takes ActiveList (refilling ActiveExtensions unless it is blank),
  // LeechPrompt and OutputDir; at creation and after each Options close.
  void ApplySettings(const settings::TApplicationOptions& options);

  // The HTML of the page last completed in the browser, one string per line.
  // It is kept as the parser's input, so a scan does not copy it again.
  void SetBrowserPage(std::vector<std::string> lines) { htmlLinkParser_.SetHTML(std::move(lines)); }
  const std::vector<std::string>& BrowserPage() const { return htmlLinkParser_.HTML(); }

  SiteQueue& GetSiteQueue() { return siteQueue_; }
  const SiteQueue& GetSiteQueue() const { return siteQueue_; }
  const std::vector<std::string>& ActiveExtensions() const { return activeExtensions_; }
  HtmlLinkParser& GetHtmlLinkParser() { return htmlLinkParser_; }

  // "Download!": queues the page's media links, completed and once each, or
  // the one entry of a YouTube video page.
  void ScanBrowserPage();
  // The tick: prepares the site folder, shows the prompt when LeechPrompt is
  // 1, and hands every entry queued at that moment to the download manager.
  void SiteQueueTick();

  bool IsMediaLink(std::string_view link) const;
  // The link made absolute against the address box text; nullopt for a link
  // with a scheme other than http and https.
  std::optional<std::string> CompleteLink(std::string_view link) const;
  void PrepareSiteFolder(std::string_view address);

  // "Start Downloader" switches the tick on, "Stop Downloader" off. A switch
  // made while a tick runs takes effect when that tick ends.
  void SetSiteQueueTimerEnabled(bool enabled);
  bool SiteQueueTimerEnabled() const { return timerWanted_; }
  // Whether the tick's timer is counting right now (it is off during a tick).
  bool SiteQueueTimerRunning() const { return tiSiteQueue_.Enabled(); }

 private:
  platform::EventLoop& loop_;
  PageScannerLinks links_;
  SiteQueue siteQueue_;
  std::vector<std::string> activeExtensions_;
  HtmlLinkParser htmlLinkParser_;
  std::string outputDir_;
  int leechPrompt_ = 0;
  platform::Timer tiSiteQueue_;
  bool timerWanted_ = false;
  bool inTick_ = false;
  // Cleared on destruction, so a tick that processed pending messages knows
  // whether the scanner is still there.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace scan
