#include "updater/FileDownloader.h"

#include "net/BrowserHeaders.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/EventLoop.h"

namespace updater {

TFileDownloader::TFileDownloader(platform::EventLoop& loop, platform::Dialogs& dialogs, const std::string& address,
                                 const std::string& localFile, TFileDownloaderTimeouts timeouts) {
  InactivityTimer = std::make_unique<platform::Timer>(loop, timeouts.InactivityMs, [this] { TimerExpired(); });
  Client = std::make_unique<net::THttpTransport>(loop);
  auto file = std::make_unique<net::TFileStream>();
  if (!file->Create(localFile)) {
    // Without a file there is no address and no handler: Download fails.
    dialogs.MessageBox("Unable to create local file.", "", platform::TMessageKind::Error);
    return;
  }
  LocalFile = std::move(file);
  net::THttpTransport& http = *Client;
  http.URL = address;
  http.SocksLevel = "5";
  http.SocksPort = "80";
  http.ProxyPort = "80";
  http.FollowRelocation = true;
  http.LocationChangeMaxCount = 5;
  http.AcceptLanguage = net::kBrowserAcceptLanguage;
  http.Accept = net::kBrowserAccept;
  http.Agent = net::kBrowserAgent;
  http.MultiThreaded = false;
  http.RcvdStream = LocalFile.get();
  http.OnDocBegin = [this](net::THttpTransport&) { DocBegin(); };
  http.OnDocData = [this](net::THttpTransport&, const char*, std::size_t len) { DocData(len); };
  http.OnDocEnd = [this](net::THttpTransport&) { DocEnd(); };
}

TFileDownloader::~TFileDownloader() {
  InactivityTimer->SetEnabled(false);
  Client->RcvdStream = nullptr;
  LocalFile.reset();
  Client.reset();
}

bool TFileDownloader::Download(ProgressCallback callback) {
  if (!LocalFile) return false;
  Callback = std::move(callback);
  Done = false;
  WriteFailed = false;
  InactivityTimer->SetEnabled(true);
  try {
    Client->GetAndWait();  // raises for an error status, as the caller expects
  } catch (...) {
    InactivityTimer->SetEnabled(false);  // its tick would abort a request that has ended
    throw;
  }
  InactivityTimer->SetEnabled(false);
  // A document that was cut short or not written whole is no download, nor
  // is a refusal the waiting GET does not raise for (401, 407) or a
  // relocation beyond the limit: the file holds no document of the address.
  const int status = Client->StatusCode();
  if (Client->RequestDoneError() != 0 || WriteFailed || status >= 400 ||
      (status >= 300 && !Client->Location().empty()))
    Done = false;
  return Done;
}

void TFileDownloader::DocBegin() {
  InactivityTimer->SetEnabled(false);
  StartTick = platform::TickCountMs();
  Received = 0;
  ExpectedSize = Client->ContentLength();
  StartPosition = LocalFile->Position();
}

void TFileDownloader::DocData(std::size_t len) {
  InactivityTimer->SetEnabled(false);
  InactivityTimer->SetEnabled(true);
  Received += static_cast<std::int64_t>(len);
  // The fragment is already in the file, unless the disk refused it.
  if (LocalFile->Position() - StartPosition != Received) {
    WriteFailed = true;
    InactivityTimer->SetEnabled(false);
    Client->AbortRequest();
    return;
  }
  if (Callback) Callback(ExpectedSize, Received);
}

void TFileDownloader::DocEnd() { Done = true; }

void TFileDownloader::TimerExpired() {
  InactivityTimer->SetEnabled(false);
  Done = false;
  Client->AbortRequest();
}

}  // namespace updater
