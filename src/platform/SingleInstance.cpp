#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <list>

#include "platform/EventLoop.h"

namespace platform {

namespace {

// A sender that stops waiting is gone; more than this many at once is not a
// second instance but a fault, and the surplus is turned away.
constexpr std::size_t kMaxConnections = 32;
constexpr char kAnswer = 1;

bool IsPrivateFolder(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & 077) == 0;
}

bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

bool SocketAddress(const std::string& path, sockaddr_un& address) {
  address = sockaddr_un{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  path.copy(address.sun_path, path.size());
  return true;
}

bool SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

struct SingleInstance::Impl {
  struct Connection {
    int fd = -1;
    std::unique_ptr<FdWatch> watch;
    std::string buffer;
  };

  std::string lockName;
  std::string channelName;
  int lockFd = -1;

  EventLoop* loop = nullptr;
  std::function<void(const std::string&)> onArgument;
  int listenFd = -1;
  std::string socketPath;
  ino_t socketInode = 0;
  std::unique_ptr<FdWatch> listenWatch;
  std::list<std::shared_ptr<Connection>> connections;
  // Cleared when the object goes; a handler running a nested loop may end us.
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);

  ~Impl() {
    *alive = false;
    Stop();
    if (lockFd >= 0) ::close(lockFd);
  }

  void Close(const std::shared_ptr<Connection>& c) {
    c->watch.reset();
    if (c->fd >= 0) ::close(c->fd);
    c->fd = -1;
    connections.remove(c);
  }

  void Stop() {
    while (!connections.empty()) Close(connections.front());
    listenWatch.reset();
    if (listenFd >= 0) {
      ::close(listenFd);
      listenFd = -1;
      // Remove the name only while it is still ours.
      struct stat st {};
      if (::lstat(socketPath.c_str(), &st) == 0 && st.st_ino == socketInode) ::unlink(socketPath.c_str());
    }
    onArgument = nullptr;
  }

  void OnListenReady() {
    for (;;) {
      int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;  // EAGAIN, or a connection that went away meanwhile
      ucred peer{};
      socklen_t len = sizeof peer;
      const bool trusted = ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &len) == 0 &&
                           (peer.uid == ::geteuid() || peer.uid == 0);
      if (!trusted || connections.size() >= kMaxConnections) {
        ::close(fd);
        continue;
      }
      auto c = std::make_shared<Connection>();
      c->fd = fd;
      std::weak_ptr<Connection> weak = c;
      c->watch = std::make_unique<FdWatch>(*loop, fd, [this, weak](bool, bool) {
        if (auto locked = weak.lock()) OnConnectionReady(locked);
      });
      c->watch->SetEvents(true, false);
      connections.push_back(std::move(c));
    }
  }

  void OnConnectionReady(std::shared_ptr<Connection> c) {
    char chunk[512];
    ssize_t n = ::recv(c->fd, chunk, sizeof chunk, 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    if (n <= 0) {
      Close(c);  // the sender ended; a frame it left unfinished is dropped
      return;
    }
    c->buffer.append(chunk, static_cast<std::size_t>(n));
    while (c->fd >= 0 && !c->buffer.empty()) {
      const std::size_t length = static_cast<unsigned char>(c->buffer[0]);
      if (c->buffer.size() < 1 + length) return;
      std::string text = c->buffer.substr(1, length);
      c->buffer.erase(0, 1 + length);
      if (auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);

      std::shared_ptr<bool> stillAlive = alive;
      auto handler = onArgument;
      if (handler) handler(text);
      if (!*stillAlive || c->fd < 0) return;
      if (!SendAll(c->fd, &kAnswer, 1)) {
        Close(c);
        return;
      }
    }
  }
};

SingleInstance::SingleInstance(std::string lockName, std::string channelName) : impl_(std::make_unique<Impl>()) {
  impl_->lockName = std::move(lockName);
  impl_->channelName = std::move(channelName);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::HoldsLock() const { return impl_->lockFd >= 0; }

bool SingleInstance::AcquireOrDetect() {
  if (impl_->lockFd >= 0) return true;
  const std::string folder = RuntimeFolder();
  if (folder.empty() || !IsPlainName(impl_->lockName)) return true;
  const std::string path = folder + impl_->lockName + ".lock";
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return true;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    impl_->lockFd = fd;
    return true;
  }
  const bool heldByAnother = errno == EWOULDBLOCK;
  ::close(fd);
  return !heldByAnother;
}

bool SingleInstance::Listen(EventLoop& loop, std::function<void(const std::string&)> onArgument) {
  if (impl_->lockFd < 0 || !IsPlainName(impl_->channelName)) return false;
  StopListening();
  const std::string folder = RuntimeFolder();
  if (folder.empty()) return false;
  const std::string path = folder + impl_->channelName;
  sockaddr_un address;
  if (!SocketAddress(path, address)) return false;

  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  // We hold the lock, so whatever has this name was left by an instance that
  // ended without removing it.
  ::unlink(path.c_str());
  struct stat st {};
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0 ||
      ::lstat(path.c_str(), &st) != 0) {
    ::close(fd);
    return false;
  }
  impl_->loop = &loop;
  impl_->onArgument = std::move(onArgument);
  impl_->listenFd = fd;
  impl_->socketPath = path;
  impl_->socketInode = st.st_ino;
  Impl* impl = impl_.get();
  impl_->listenWatch = std::make_unique<FdWatch>(loop, fd, [impl](bool, bool) { impl->OnListenReady(); });
  impl_->listenWatch->SetEvents(true, false);
  return true;
}

void SingleInstance::StopListening() { impl_->Stop(); }

bool SingleInstance::Forward(const std::string& lockName, const std::string& channelName,
                             const std::vector<std::string>& arguments, int answerTimeoutMs) {
  (void)lockName;  // the channel alone tells whether a first instance listens
  if (arguments.empty()) return true;
  if (!IsPlainName(channelName)) return false;
  const std::string folder = RuntimeFolder();
  if (folder.empty()) return false;
  sockaddr_un address;
  if (!SocketAddress(folder + channelName, address)) return false;

  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  if (answerTimeoutMs >= 0) {
    // Bounds the connect (a full backlog) as well as each send.
    timeval tv{answerTimeoutMs / 1000, (answerTimeoutMs % 1000) * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  }
  int r;
  do {
    r = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (r != 0 && errno == EINTR);
  if (r != 0) {
    ::close(fd);
    return false;
  }

  bool ok = true;
  for (const std::string& argument : arguments) {
    std::string frame(1, '\0');
    if (argument.size() <= kMaxArgument) {
      frame[0] = static_cast<char>(argument.size());
      frame += argument;
    }
    if (!SendAll(fd, frame.data(), frame.size())) {
      ok = false;
      break;
    }
    pollfd p{fd, POLLIN, 0};
    do {
      r = ::poll(&p, 1, answerTimeoutMs < 0 ? -1 : answerTimeoutMs);
    } while (r < 0 && errno == EINTR);
    char answer = 0;
    ssize_t n = -1;
    if (r > 0) {
      do {
        n = ::recv(fd, &answer, 1, 0);
      } while (n < 0 && errno == EINTR);
    }
    if (n != 1 || answer != kAnswer) {
      ok = false;
      break;
    }
  }
  ::close(fd);
  return ok;
}

std::string SingleInstance::RuntimeFolderFor(const char* xdgRuntimeDir, const std::string& tmpRoot) {
  if (xdgRuntimeDir && xdgRuntimeDir[0] == '/') {
    std::string dir = xdgRuntimeDir;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    if (IsPrivateFolder(dir)) return dir == "/" ? dir : dir + "/";
  }
  std::string dir = tmpRoot;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  dir += "/velmora-" + std::to_string(::geteuid());
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return {};
  // Someone else may have made it first, or made it a link: then it is not ours.
  if (!IsPrivateFolder(dir)) return {};
  return dir + "/";
}

std::string SingleInstance::RuntimeFolder() { return RuntimeFolderFor(std::getenv("XDG_RUNTIME_DIR"), "/tmp"); }

}  // namespace platform
