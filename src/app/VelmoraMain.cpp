// The desktop program. For now it runs the single-instance steps only: the
// first instance holds the lock and receives the arguments of later ones; a
// second instance hands its arguments over and ends with status 0, silently
// also when no first instance is listening.
//
// Hidden diagnostic: when VELMORA_FORWARD_LOG names a file, the first instance
// appends "listening" once its channel is open, "received:<text>" for every
// argument handed over and "entry:<path>" for every playlist entry that
// results. SIGTERM and SIGINT end the first instance cleanly.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "platform/EventLoop.h"
#include "platform/SingleInstance.h"

namespace {

constexpr const char* kMutexName = "Velmora3MX";
constexpr const char* kForwardChannel = "0BBA68FB-9D0A-4FC6-B670-B0A28C57AC08";

// Appends whole lines to the diagnostic file, one write per line so that a
// reader never sees half a line.
class ForwardLog {
 public:
  // The file is opened at the first line, so that only a first instance
  // ever creates it.
  explicit ForwardLog(const char* path) : path_(path ? path : "") {}
  ~ForwardLog() {
    if (fd_ >= 0) ::close(fd_);
  }
  ForwardLog(const ForwardLog&) = delete;
  ForwardLog& operator=(const ForwardLog&) = delete;

  void Line(const std::string& text) {
    if (fd_ < 0 && !path_.empty()) fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd_ < 0) return;
    std::string line = text + "\n";
    if (::write(fd_, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
      std::fprintf(stderr, "velmora: could not write the forward log\n");
  }

 private:
  std::string path_;
  int fd_ = -1;
};

// Stands in for the media viewer's playlist until the viewer exists.
class LoggingPlaylist final : public app::PlaylistSink {
 public:
  explicit LoggingPlaylist(ForwardLog& log) : log_(log) {}
  void AddEntry(const std::string& path) override { log_.Line("entry:" + path); }

 private:
  ForwardLog& log_;
};

// Termination signals reach the loop through a pipe, so that the loop ends
// between passes rather than inside whatever the signal interrupted.
int g_signalPipe[2] = {-1, -1};

extern "C" void OnTerminationSignal(int) {
  const int saved = errno;
  const char byte = 1;
  ssize_t ignored = ::write(g_signalPipe[1], &byte, 1);
  (void)ignored;
  errno = saved;
}

bool InstallTerminationSignals() {
  if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  return ::sigaction(SIGTERM, &action, nullptr) == 0 && ::sigaction(SIGINT, &action, nullptr) == 0;
}

std::string CurrentFolder() {
  std::vector<char> buffer(4096);
  while (!::getcwd(buffer.data(), buffer.size())) {
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
  std::string folder = buffer.data();
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  return folder;
}

}  // namespace

int main(int argc, char** argv) {
  // A second instance that vanishes mid-answer must not end the first.
  ::signal(SIGPIPE, SIG_IGN);

  std::vector<std::string> arguments;
  const std::string here = CurrentFolder();
  for (int i = 1; i < argc; ++i) arguments.push_back(app::ResolveArgumentPath(argv[i], here));

  // Declared before the instance, so that its channel closes while the loop
  // and the handler's targets still exist.
  std::unique_ptr<platform::EventLoop> loop = platform::CreatePollEventLoop();
  ForwardLog log(std::getenv("VELMORA_FORWARD_LOG"));
  LoggingPlaylist playlist(log);

  platform::SingleInstance instance(kMutexName, kForwardChannel);
  if (!instance.AcquireOrDetect()) {
    platform::SingleInstance::Forward(kMutexName, kForwardChannel, arguments);
    return 0;
  }

  if (!InstallTerminationSignals()) {
    std::perror("velmora: cannot install the termination handlers");
    return 1;
  }
  platform::FdWatch signalWatch(*loop, g_signalPipe[0], [&loop](bool, bool) {
    char drain[16];
    while (::read(g_signalPipe[0], drain, sizeof drain) > 0) {
    }
    loop->RequestQuit();
  });
  signalWatch.SetEvents(true, false);

  const bool listening = instance.Listen(*loop, [&log, &playlist](const std::string& text) {
    log.Line("received:" + text);
    app::HandleForwardedArgument(text, playlist);
  });
  if (listening) {
    log.Line("listening");
  } else {
    // The program still runs; later starts just cannot hand it their files.
    std::fprintf(stderr, "velmora: cannot open the argument channel in %s; files opened later start on their own\n",
                 platform::SingleInstance::RuntimeFolder().c_str());
  }

  app::HandleArguments(arguments, playlist);
  loop->Run();

  instance.StopListening();
  return 0;
}
