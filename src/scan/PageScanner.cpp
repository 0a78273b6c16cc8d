#include "scan/PageScanner.h"

#include <algorithm>

#include "app/CommonRoutines.h"
#include "app/ErrorLog.h"
#include "scan/ActiveExtensions.h"
#include "scan/LinkCompletion.h"
#include "scan/SiteFolder.h"
#include "scan/YouTubePageHandler.h"
#include "scan/YouTubeSite.h"
#include "settings/ApplicationOptions.h"

namespace scan {

namespace {

// True when the page holds nothing but blanks and control characters.
bool IsBlankPage(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    for (char c : line) {
      if (static_cast<unsigned char>(c) > ' ') return false;
    }
  }
  return true;
}

std::string JoinPageLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace

PageScanner::PageScanner(platform::EventLoop& loop, PageScannerLinks links, int tickIntervalMs)
    : loop_(loop), links_(links), tiSiteQueue_(loop, tickIntervalMs, [this] { SiteQueueTick(); }) {}

PageScanner::~PageScanner() { *alive_ = false; }

void PageScanner::ApplySettings(const settings::TApplicationOptions& options) {
  FillActiveExtensions(options.ActiveList, activeExtensions_);
  leechPrompt_ = options.LeechPrompt;
  outputDir_ = options.OutputDir;
}

void PageScanner::ScanBrowserPage() {
  const std::vector<std::string>& page = BrowserPage();
  if (IsBlankPage(page)) {
    loop_.ProcessPending();
    return;
  }
  const std::string address = links_.addressBox.AddressText();
  if (app::LowerCase(address).find(YouTubeMarker) != std::string::npos) {
    const std::string text = JoinPageLines(page);
    if (IsYouTubeVideoPage(address, text)) {
      HandleYouTubePage(text, siteQueue_);
      return;
    }
  }

  htmlLinkParser_.Execute();
  std::vector<std::string> found;
  for (const std::string& link : htmlLinkParser_.Parsed().Hyperlinks) {
    if (!IsMediaLink(link)) continue;
    if (std::optional<std::string> completed = scan::CompleteLink(address, link)) {
      found.push_back(std::move(*completed));
    }
  }
  // Compared in their completed form, so a relative link written twice is
  // queued once, as an absolute one is.
  siteQueue_.AddAllIfAbsent(std::move(found));
  loop_.ProcessPending();
}

void PageScanner::SiteQueueTick() {
  if (inTick_) return;
  tiSiteQueue_.SetEnabled(false);
  if (links_.quit.QuitRequested()) return;
  inTick_ = true;
  const std::shared_ptr<bool> alive = alive_;

  if (!siteQueue_.Empty()) {
    PrepareSiteFolder(links_.addressBox.AddressText());
    links_.queueHeader.UpdateQueueHeader();
    std::vector<std::string> batch = siteQueue_.Entries();
    if (leechPrompt_ == 1) {
      // The prompt edits a copy of what it shows. Entries a nested scan adds
      // meanwhile stay queued behind the kept ones and are shown next time.
      const std::size_t shownCount = batch.size();
      links_.prompt.ShowDownloadPrompt(batch);
      if (!*alive) return;
      siteQueue_.ReplaceFirst(shownCount, batch);
    }

    std::size_t handedOver = 0;
    for (const std::string& entry : batch) {
      // After Quit the download manager is gone; what is left stays queued.
      if (links_.quit.QuitRequested()) break;
      if (IsYouTubeEntry(entry)) {
        links_.downloads.Add(entry);
      } else {
        // A comma in the name becomes "_", so that the request's first comma
        // is the one before the address.
        std::string name = app::UrlFileName(entry);
        std::replace(name.begin(), name.end(), ',', '_');
        links_.downloads.Add(name + "," + entry);
      }
      ++handedOver;
      loop_.ProcessPending();
      if (!*alive) return;
    }
    siteQueue_.RemoveFirst(handedOver);
  }

  inTick_ = false;
  if (!links_.quit.QuitRequested()) tiSiteQueue_.SetEnabled(timerWanted_);
}

bool PageScanner::IsMediaLink(std::string_view link) const { return scan::IsMediaLink(link, activeExtensions_); }

std::optional<std::string> PageScanner::CompleteLink(std::string_view link) const {
  return scan::CompleteLink(links_.addressBox.AddressText(), link);
}

void PageScanner::PrepareSiteFolder(std::string_view address) {
  scan::PrepareSiteFolder(address, outputDir_, links_.folders, links_.errorLog);
}

void PageScanner::SetSiteQueueTimerEnabled(bool enabled) {
  timerWanted_ = enabled;
  if (!inTick_) tiSiteQueue_.SetEnabled(enabled);
}

}  // namespace scan
