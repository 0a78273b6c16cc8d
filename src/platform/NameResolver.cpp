// Name lookup on worker threads. Each lookup gets a detached thread that
// blocks in getaddrinfo; its answer is handed to the loop through a post. The
// shared record lets a worker that outlives its resolver find out that nobody
// is waiting, and keeps it from posting to a loop that may be gone.
#include "platform/NameResolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

#include "platform/EventLoop.h"
#include "platform/WinsockErrors.h"

namespace platform {

struct NameResolver::Lookup {
  Callback onDone;
};

struct NameResolver::Shared {
  std::mutex mutex;
  EventLoop* loop = nullptr;  // cleared when the resolver goes
  // Loop thread only: the lookups still waiting for their answer.
  std::unordered_map<Handle, Lookup> running;
  Handle nextHandle = 1;
};

namespace {

NameLookupResult Resolve(const std::string& host) {
  NameLookupResult result;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  errno = 0;
  int rc = getaddrinfo(host.c_str(), nullptr, &hints, &list);
  if (rc != 0) {
    result.error = WinsockErrorFromGai(rc, errno);
    if (result.error == 0) result.error = kWsaHOST_NOT_FOUND;
    return result;
  }
  for (addrinfo* ai = list; ai; ai = ai->ai_next) {
    if (ai->ai_family != AF_INET) continue;
    char text[INET_ADDRSTRLEN] = {};
    auto* sin = reinterpret_cast<sockaddr_in*>(ai->ai_addr);
    if (!inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text)) continue;
    bool seen = false;
    for (const auto& a : result.addresses) seen = seen || a == text;
    if (!seen) result.addresses.emplace_back(text);
  }
  freeaddrinfo(list);
  if (result.addresses.empty()) result.error = kWsaNO_DATA;
  return result;
}

}  // namespace

NameResolver::NameResolver(EventLoop& loop) : loop_(loop), shared_(std::make_shared<Shared>()) {
  shared_->loop = &loop_;
}

NameResolver::~NameResolver() {
  std::lock_guard lock(shared_->mutex);
  shared_->loop = nullptr;
  shared_->running.clear();
}

NameResolver::Handle NameResolver::Start(const std::string& host, Callback onDone, int* error) {
  if (error) *error = 0;
  Handle handle;
  {
    std::lock_guard lock(shared_->mutex);
    handle = shared_->nextHandle++;
    shared_->running[handle].onDone = std::move(onDone);
  }
  std::weak_ptr<Shared> weak = shared_;
  try {
    std::thread([weak, handle, host] {
      NameLookupResult result = Resolve(host);
      std::shared_ptr<Shared> shared = weak.lock();
      if (!shared) return;
      std::lock_guard lock(shared->mutex);
      if (!shared->loop) return;
      shared->loop->PostGuardedTask(shared, [weak, handle, result = std::move(result)] {
        std::shared_ptr<Shared> s = weak.lock();
        if (!s) return;
        Callback cb;
        {
          std::lock_guard lock2(s->mutex);
          auto it = s->running.find(handle);
          if (it == s->running.end()) return;  // cancelled meanwhile
          cb = std::move(it->second.onDone);
          s->running.erase(it);
        }
        if (cb) cb(result);
      });
    }).detach();
  } catch (const std::system_error& e) {
    std::lock_guard lock(shared_->mutex);
    shared_->running.erase(handle);
    if (error) *error = WinsockErrorFromErrno(e.code().value() ? e.code().value() : EAGAIN);
    return 0;
  }
  return handle;
}

bool NameResolver::Cancel(Handle handle) {
  std::lock_guard lock(shared_->mutex);
  return shared_->running.erase(handle) > 0;
}

bool NameResolver::Running(Handle handle) const {
  std::lock_guard lock(shared_->mutex);
  return shared_->running.count(handle) > 0;
}

}  // namespace platform
