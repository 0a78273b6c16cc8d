#include "platform/qt/QtEventLoop.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <atomic>
#include <memory>

namespace platform {

namespace {

const QEvent::Type kWakeEvent = static_cast<QEvent::Type>(QEvent::User + 0x2B1);

class QtEventLoop;

// Receives the wake events and drains the post queue.
class PostReceiver final : public QObject {
 public:
  explicit PostReceiver(QtEventLoop& loop) : loop_(loop) {}
  bool event(QEvent* e) override;

 private:
  QtEventLoop& loop_;
};

class QtTimer final : public TimerBackend {
 public:
  explicit QtTimer(Timer& owner) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setSingleShot(true);  // Fire() re-arms before each handler
    QObject::connect(&timer_, &QTimer::timeout, [&owner] { owner.Fire(); });
  }
  void Arm(int intervalMs) override { timer_.start(intervalMs); }
  void Disarm() override { timer_.stop(); }

 private:
  QTimer timer_;
};

class QtFdWatch final : public FdWatchBackend {
 public:
  QtFdWatch(FdWatch& owner, int fd) : owner_(owner), fd_(fd) {}
  ~QtFdWatch() override {
    *alive_ = false;
    Release(read_, firing_[0]);
    Release(write_, firing_[1]);
  }
  void Update(bool read, bool write) override {
    Set(read_, QSocketNotifier::Read, read);
    Set(write_, QSocketNotifier::Write, write);
  }

 private:
  // A notifier whose own signal is running (the watch is destroyed from its
  // callback) must outlive the emission. Any other goes at once: a deferred
  // delete posted outside every handler would wait for an exec() that the
  // loop never runs, and the notifier would never be freed.
  static void Release(QPointer<QSocketNotifier>& n, int firing) {
    if (!n) return;
    n->setEnabled(false);
    n->disconnect();
    if (firing > 0)
      n->deleteLater();
    else
      delete n.data();
    n = nullptr;
  }

  void Set(QPointer<QSocketNotifier>& n, QSocketNotifier::Type type, bool on) {
    if (!on) {
      if (n) n->setEnabled(false);
      return;
    }
    if (!n) {
      // Owned by the application as well, so none outlives it.
      n = new QSocketNotifier(fd_, type, QCoreApplication::instance());
      const bool isRead = type == QSocketNotifier::Read;
      QObject::connect(n, &QSocketNotifier::activated, n, [this, isRead] {
        const std::shared_ptr<bool> alive = alive_;
        int& firing = firing_[isRead ? 0 : 1];
        ++firing;
        owner_.Notify(isRead, !isRead);
        if (*alive) --firing;
      });
    }
    n->setEnabled(true);
  }

  FdWatch& owner_;
  int fd_;
  QPointer<QSocketNotifier> read_;
  QPointer<QSocketNotifier> write_;
  // How deep each notifier is inside its own signal; cleared with the watch.
  int firing_[2] = {0, 0};
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

class QtEventLoop final : public EventLoop {
 public:
  QtEventLoop() : receiver_(*this) {}

  void ProcessPending() override {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  }

  void WaitAndProcess(int ms) override {
    if (ms <= 0 || HasPosts() || Terminated()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents);
      return;
    }
    QTimer wake;  // bounds the wait
    wake.setTimerType(Qt::PreciseTimer);
    wake.setSingleShot(true);
    wake.start(ms);
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }

  std::unique_ptr<TimerBackend> CreateTimer(Timer& owner) override { return std::make_unique<QtTimer>(owner); }
  std::unique_ptr<FdWatchBackend> CreateFdWatch(FdWatch& owner, int fd) override {
    return std::make_unique<QtFdWatch>(owner, fd);
  }

  void Drain() {
    wakePending_.store(false);
    DispatchPosts();
  }

 protected:
  void WakeUp() override {
    if (!wakePending_.exchange(true)) QCoreApplication::postEvent(&receiver_, new QEvent(kWakeEvent));
  }

 private:
  PostReceiver receiver_;
  std::atomic<bool> wakePending_{false};
};

bool PostReceiver::event(QEvent* e) {
  if (e->type() != kWakeEvent) return QObject::event(e);
  loop_.Drain();
  return true;
}

}  // namespace

std::unique_ptr<EventLoop> CreateQtEventLoop() { return std::make_unique<QtEventLoop>(); }

}  // namespace platform
