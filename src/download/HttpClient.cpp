#include "download/HttpClient.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "net/BrowserHeaders.h"
#include "download/TransferTexts.h"
#include "platform/Clock.h"
#include "platform/EventLoop.h"

namespace download {

namespace {

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool FolderExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Whether another transfer, of this program or another one writing the same
// folder, holds `path` as its temporary file (HoldTempFile).
bool HeldByAnotherTransfer(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);  // also lets go of our own lock, if we got it
  return held;
}
}  // namespace

THttpClient::THttpClient(platform::EventLoop& loop, int slot, std::string outputDir, TDownloadObserver& observer,
                         TDownloadReporter& reporter, std::uint8_t duplicatePolicy, bool /*bandwidthThrottling*/,
                         int /*bandwidth*/, TClientTimeouts timeouts)
    : DuplicatePolicy(duplicatePolicy <= 2 ? static_cast<TDuplicatePolicy>(duplicatePolicy)
                                           : TDuplicatePolicy::RenameNewFile),
      Observer(observer),
      Reporter(reporter),
      OutputDir(std::move(outputDir)),
      Slot_(slot) {
  TimeoutTimer = std::make_unique<platform::Timer>(loop, timeouts.StallMs, [this] { TimeoutTimerTick(); });
  Http_ = std::make_unique<net::THttpTransport>(loop);
  net::THttpTransport& http = *Http_;
  http.Agent = net::kBrowserAgent;
  http.Accept = net::kBrowserAccept;
  http.AcceptLanguage = net::kBrowserAcceptLanguage;
  http.SocksLevel = "5";
  http.SocksPort = "80";
  http.ProxyPort = "80";
  http.FollowRelocation = true;
  http.LocationChangeMaxCount = 5;
  http.MultiThreaded = false;
  http.OnSessionConnected = [this](net::THttpTransport&, std::uint16_t error) { HttpSessionConnected(error); };
  http.OnHeaderBegin = [this](net::THttpTransport&) { HttpHeaderBegin(); };
  http.OnDocBegin = [this](net::THttpTransport&) { HttpDocBegin(); };
  http.OnDocData = [this](net::THttpTransport&, const char* buffer, std::size_t len) { HttpDocData(buffer, len); };
  http.OnDocEnd = [this](net::THttpTransport&) { HttpDocEnd(); };
  http.OnRequestDone = [this](net::THttpTransport&, net::THttpRequestKind, std::uint16_t error) {
    HttpRequestDone(error);
  };
}

THttpClient::~THttpClient() {
  TimeoutTimer->SetEnabled(false);
  Destroying = true;
  Http_->AbortRequest();
  CloseTempFile();
  Http_.reset();
}

void THttpClient::SetProxy(const std::string& host, const std::string& port, const std::string& user,
                           const std::string& password) {
  Http_->Proxy = host;
  Http_->ProxyPort = port;
  Http_->ProxyUsername = user;
  Http_->ProxyPassword = password;
}

void THttpClient::SetServerCredentials(const std::string& user, const std::string& password) {
  Http_->Username = user;
  Http_->Password = password;
}

bool THttpClient::StartDownload(const std::string& entry) {
  State_ = TClientState::Assigned;
  Entry = entry;
  InTransfer = true;
  DocIsInterim = false;
  FinalDocStarted = false;
  ExpectedLength = -1;
  ReceivedBytes = 0;
  if (!PrepareTarget(entry)) {
    AbortDownload();
    return false;
  }
  Aborted = false;
  Http_->URL = Target.Address;
  Http_->RcvdStream = FileStream.get();
  TimeoutTimer->SetEnabled(true);
  try {
    Http_->StartGet();
  } catch (const std::exception&) {
    // The running time-out ends the transfer as failed.
    Reporter.NotifyError("Error: Get Async " + entry);
    return false;
  }
  return true;
}

bool THttpClient::PrepareTarget(const std::string& entry) {
  Target = ComputeDownloadTarget(entry, OutputDir);
  if (DuplicatePolicy == TDuplicatePolicy::DontDownload && FileExists(Target.TargetPath)) {
    Reporter.NotifyError("Warning: File exist, option set to not download the file if it already exists.");
    return false;
  }
  if (DuplicatePolicy == TDuplicatePolicy::RenameNewFile &&
      (FileExists(Target.TargetPath) || FileExists(ChangePathExtension(Target.TargetPath, ".$$$")))) {
    Target.TempPath = ChangePathExtension(UniqueFileName(Target.TargetPath), ".$$$");
  }
  if (DuplicatePolicy == TDuplicatePolicy::OverwriteExistingFile) {
    bool failed = FileExists(Target.TargetPath) && ::unlink(Target.TargetPath.c_str()) != 0;
    // Another slot's ".$$$" of the same name is in use and stays.
    if (!failed && FileExists(Target.TempPath) &&
        (HeldByAnotherTransfer(Target.TempPath) || ::unlink(Target.TempPath.c_str()) != 0))
      failed = true;
    if (failed) {
      Reporter.NotifyError("Error: OVERWRITE_FILE, initial delete failed. File in use or no longer exists");
      return false;
    }
  }
  return CreateTempFile();
}

bool THttpClient::CreateTempFile() {
  // Truncating another transfer's file would mix two bodies in one.
  if (HeldByAnotherTransfer(Target.TempPath)) {
    Reporter.NotifyError("Error: Unable to create output file: " + Target.TempPath);
    return false;
  }
  FileStream = std::make_unique<net::TFileStream>();
  if (FileStream->Create(Target.TempPath)) {
    HoldTempFile();
    return true;
  }
  const std::string folder = FolderOf(Target.TempPath);
  if (FolderExists(folder)) {
    Reporter.NotifyError("Error: Unable to create output file: " + Target.TempPath);
    FileStream.reset();
    return false;
  }
  // One folder level: the site folder.
  if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
    Reporter.NotifyError("Error: Create Dir. Failed for " + Target.TempPath);
    FileStream.reset();
    return false;
  }
  if (!FileStream->Create(Target.TempPath)) {
    Reporter.NotifyError("Error: Sub-Site folder could not be created: " + Target.TempPath);
    FileStream.reset();
    return false;
  }
  HoldTempFile();
  Reporter.NotifyFolderCreated();
  return true;
}

void THttpClient::HoldTempFile() {
  // A lock of its own on the file, so that the check above sees it from any
  // descriptor. Without locks (some network file systems) writing goes on.
  if (TempHoldFd >= 0) ::close(TempHoldFd);
  TempHoldFd = ::open(Target.TempPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (TempHoldFd >= 0 && ::flock(TempHoldFd, LOCK_EX | LOCK_NB) != 0) {
    ::close(TempHoldFd);
    TempHoldFd = -1;
  }
}

void THttpClient::CloseTempFile() {
  Http_->RcvdStream = nullptr;
  FileStream.reset();
  if (TempHoldFd >= 0) ::close(TempHoldFd);
  TempHoldFd = -1;
}

void THttpClient::AbortDownload() {
  TimeoutTimer->SetEnabled(false);
  Aborted = true;
  const bool wasInTransfer = InTransfer;
  InTransfer = false;  // events the abort fires from within are not this transfer's end
  Http_->AbortRequest();
  CloseTempFile();
  // Failed in any case, also for an idle slot.
  Observer.OnSlotStatus(Slot_, TSlotStatus::Failed);
  State_ = TClientState::Idle;
  if (wasInTransfer && !Destroying) Reporter.ClientBecameIdle(*this);
}

bool THttpClient::IsInterimResponse() const {
  const int status = Http_->StatusCode();
  if (status >= 300 && status < 400 && Http_->FollowRelocation && !Http_->Location().empty()) return true;
  // A challenge the transport answers with a repetition.
  if (status == 401 && !Http_->WWWAuthInfos().empty() && !Http_->Username.empty()) return true;
  if (status == 407 && !Http_->ProxyAuthInfos().empty() && !Http_->ProxyUsername.empty()) return true;
  return false;
}

void THttpClient::RestartTimeout() {
  TimeoutTimer->SetEnabled(false);
  TimeoutTimer->SetEnabled(true);
}

void THttpClient::HttpSessionConnected(std::uint16_t /*error*/) {
  if (!InTransfer) return;
  TimeoutTimer->SetEnabled(false);
  Observer.OnSlotStatus(Slot_, TSlotStatus::Connected);
  TimeoutTimer->SetEnabled(true);
}

void THttpClient::HttpHeaderBegin() {
  if (!InTransfer) return;
  // The time-out also covers a server that sends a header and then nothing.
  RestartTimeout();
}

void THttpClient::HttpDocBegin() {
  if (!InTransfer) return;
  RestartTimeout();
  DocIsInterim = IsInterimResponse();
  if (DocIsInterim) return;
  FinalDocStarted = true;
  State_ = TClientState::Transferring;
  StartTick = static_cast<std::int64_t>(platform::TickCountMs());
  ReceivedBytes = 0;
  ExpectedLength = Http_->ContentLength();
  StartPosition = FileStream ? FileStream->Position() : 0;
  Observer.OnSlotStatus(Slot_, TSlotStatus::Transferring);
}

void THttpClient::HttpDocData(const char* /*buffer*/, std::size_t len) {
  if (!InTransfer) return;
  RestartTimeout();
  if (DocIsInterim) return;
  ReceivedBytes += static_cast<std::int64_t>(len);
  // The transport has written the fragment to the file; a short write (disk
  // full, file too large) would leave a hole that nobody sees.
  if (FileStream && FileStream->Position() - StartPosition != ReceivedBytes) {
    Reporter.NotifyError("Error: Unable to write output file: " + Target.TempPath);
    AbortDownload();
    return;
  }
  const std::int64_t elapsed = static_cast<std::int64_t>(platform::TickCountMs()) - StartTick;
  if (elapsed != 0) {
    const double speed = TransferSpeed(ReceivedBytes, elapsed);
    Observer.OnSlotTimeLeft(Slot_, TimeLeftText(ExpectedLength, ReceivedBytes, speed));
    Observer.OnSlotSpeed(Slot_, SpeedText(speed));
  }
  Observer.OnSlotProgress(Slot_, ProgressText(ExpectedLength, ReceivedBytes));
}

void THttpClient::HttpDocEnd() {
  if (Destroying || !InTransfer) return;
  // A relocation's or challenge's document ends here; the next one follows.
  // The final document's end is judged once the request is done.
  if (DocIsInterim) DocIsInterim = false;
}

void THttpClient::HttpRequestDone(std::uint16_t error) {
  if (Destroying || !InTransfer) return;
  const std::string address = Target.Address;
  if (error != 0) {
    // Once the body has begun, the reason phrase is the server's ("OK").
    if (error == net::kHttpErrBodyIncomplete || (FinalDocStarted && error != net::kHttpErrAborted))
      Reporter.NotifyError("Error: Incomplete download - " + address);
    else if (error != net::kHttpErrAborted)
      Reporter.NotifyError("Error: " + Http_->ReasonPhrase() + " - " + address);
    EndTransfer(false);
    return;
  }
  const int status = Http_->StatusCode();
  if (status >= 400) {
    Reporter.NotifyError("Error: HTTP " + std::to_string(status) + " " + Http_->ReasonPhrase() + " - " + address);
    EndTransfer(false);
    return;
  }
  if (status >= 300 && status < 400 && !FinalDocStarted && !Http_->Location().empty()) {
    Reporter.NotifyError("Error: Too many relocations - " + address);
    EndTransfer(false);
    return;
  }
  if (ExpectedLength >= 0 && ReceivedBytes < ExpectedLength) {
    Reporter.NotifyError("Error: Incomplete download - " + address);
    EndTransfer(false);
    return;
  }
  EndTransfer(true);
}

void THttpClient::EndTransfer(bool ok) {
  TimeoutTimer->SetEnabled(false);
  InTransfer = false;
  Http_->RcvdStream = nullptr;
  FileStream.reset();  // closes the file; the hold goes once it has its name
  if (ok) {
    const std::string finalPath = ChangePathExtension(Target.TempPath, PathExtension(Target.TargetPath));
    if (std::rename(Target.TempPath.c_str(), finalPath.c_str()) != 0) {
      Reporter.NotifyError("Error: Unable to rename " + Target.TempPath + " to " + finalPath);
      ok = false;
    }
  }
  CloseTempFile();
  Observer.OnSlotStatus(Slot_, ok ? TSlotStatus::Finished : TSlotStatus::Failed);
  State_ = TClientState::Idle;
  Reporter.ClientBecameIdle(*this);
}

void THttpClient::TimeoutTimerTick() { AbortDownload(); }

}  // namespace download
