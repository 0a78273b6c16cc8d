// One program instance per user session, and the argument channel from a
// second instance to the first.
//
// The lock is an flock() on "<name>.lock" and the channel a Unix-domain socket
// named after the channel text, both in $XDG_RUNTIME_DIR, else in
// /tmp/velmora-<uid> (created 0700 and checked to be the user's own). A second
// instance sends each argument as one frame (an argument over 255 bytes is
// sent as empty text) and waits for the first instance's answer before the
// next, so the hand-over is synchronous and ordered.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class EventLoop;

class SingleInstance {
 public:
  // `lockName`: "Velmora3MX"; `channelName`: the channel text.
  SingleInstance(std::string lockName, std::string channelName);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // Takes the lock. True: this is the first instance (the lock is held until
  // the object is destroyed or the process ends). False: another holds it.
  bool AcquireOrDetect();

  // First instance: opens the channel and hands every received argument to
  // `onArgument` on the loop's thread, answering the sender after the call
  // returns. Returns false when the channel cannot be opened.
  bool Listen(EventLoop& loop, std::function<void(const std::string&)> onArgument);
  // Closes the channel (the hook removed at shutdown).
  void StopListening();

  // Second instance: hands over each argument in order, waiting for each
  // answer. With no arguments nothing is sent. When no first instance has a
  // channel open, returns false without sending anything.
  static bool Forward(const std::string& lockName, const std::string& channelName,
                      const std::vector<std::string>& arguments);

  // The folder that holds the lock and the channel (created if needed).
  static std::string RuntimeFolder();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
