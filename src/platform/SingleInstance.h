// One program instance per user session, and the argument channel from a
// second instance to the first.
//
// The lock is an flock() on "<lockName>.lock" and the channel a Unix-domain
// socket named after the channel text, both in the runtime folder:
// $XDG_RUNTIME_DIR when it is a folder of the user's own that nobody else can
// enter, else /tmp/velmora-<uid> (created 0700 and checked the same way).
// A second instance sends each argument as one frame (a length byte and the
// text; an argument over 255 bytes is sent as empty text) and waits for the
// first instance's answer before the next, so the hand-over is synchronous
// and ordered. The first instance answers each frame after its handler has
// returned. Lock and channel descriptors are not inherited by child processes.
#pragma once

#include <cstddef>
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
  // Where no safe runtime folder exists, or the lock file cannot be opened,
  // the answer is true without a lock: the program then runs on its own, and
  // `Listen` fails, rather than share a folder that others can reach.
  bool AcquireOrDetect();
  // Whether this object holds the lock.
  bool HoldsLock() const;

  // First instance: opens the channel and hands every received argument to
  // `onArgument` on the loop's thread, answering the sender after the call
  // returns (the handler may run a nested loop, and may stop the listening or
  // destroy this object). Text after a NUL character is cut off. Needs the
  // lock; a channel left behind by an instance that crashed is replaced.
  // Returns false when the lock is not held or the channel cannot be opened.
  bool Listen(EventLoop& loop, std::function<void(const std::string&)> onArgument);
  // Closes the channel and removes its name (the hook removed at shutdown).
  // Senders still connected see the channel close.
  void StopListening();

  // Second instance: hands over each argument in order, waiting for each
  // answer (at most `answerTimeoutMs` per argument; negative: as long as it
  // takes, as a synchronous window message does). With no arguments nothing
  // is sent, nothing is opened, and the answer is true. When no first instance
  // has a channel open, returns false without sending anything; false too when
  // the channel closes or an answer does not come in time.
  static bool Forward(const std::string& lockName, const std::string& channelName,
                      const std::vector<std::string>& arguments, int answerTimeoutMs = -1);

  // Longest argument text that is handed over; longer ones arrive empty.
  static constexpr std::size_t kMaxArgument = 255;

  // The folder that holds the lock and the channel (created if needed),
  // ending with "/"; empty when no safe folder exists.
  static std::string RuntimeFolder();
  // The same rule with its inputs spelled out: `xdgRuntimeDir` (null or empty:
  // unset) and the folder in which "velmora-<uid>" is made otherwise.
  static std::string RuntimeFolderFor(const char* xdgRuntimeDir, const std::string& tmpRoot);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
