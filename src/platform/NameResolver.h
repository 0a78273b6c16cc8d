// Asynchronous, cancellable IPv4 name lookup: getaddrinfo runs on a worker
// thread of its own and the answer is posted back to the event loop, so the
// callback runs on the loop's thread, never inside Start. A cancelled lookup,
// or one whose resolver is gone, never calls back. The resolver must be
// destroyed before its loop.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class EventLoop;

struct NameLookupResult {
  int error = 0;                       // Winsock number; 0 on success
  std::vector<std::string> addresses;  // dotted IPv4, in the resolver's order
};

class NameResolver {
 public:
  using Handle = std::uint64_t;  // 0: no lookup
  using Callback = std::function<void(const NameLookupResult&)>;

  explicit NameResolver(EventLoop& loop);
  ~NameResolver();  // cancels every lookup still running
  NameResolver(const NameResolver&) = delete;
  NameResolver& operator=(const NameResolver&) = delete;

  // Starts looking up `host`; returns its handle, or 0 with `error` set (a
  // Winsock number) when no worker could be started.
  Handle Start(const std::string& host, Callback onDone, int* error = nullptr);
  // Forgets a running lookup: its answer is dropped. False when `handle` is
  // not running (already answered, cancelled, or never started).
  bool Cancel(Handle handle);
  bool Running(Handle handle) const;

 private:
  struct Shared;
  struct Lookup;
  EventLoop& loop_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace platform
