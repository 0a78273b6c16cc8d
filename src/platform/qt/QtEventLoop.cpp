#include "platform/qt/QtEventLoop.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <atomic>

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
    // The watch may be destroyed from inside the notifier's own signal.
    for (QSocketNotifier* n : {read_, write_}) {
      if (!n) continue;
      n->setEnabled(false);
      n->disconnect();
      n->deleteLater();
    }
  }
  void Update(bool read, bool write) override {
    Set(read_, QSocketNotifier::Read, read);
    Set(write_, QSocketNotifier::Write, write);
  }

 private:
  void Set(QSocketNotifier*& n, QSocketNotifier::Type type, bool on) {
    if (!on) {
      if (n) n->setEnabled(false);
      return;
    }
    if (!n) {
      n = new QSocketNotifier(fd_, type);
      FdWatch* owner = &owner_;
      const bool isRead = type == QSocketNotifier::Read;
      QObject::connect(n, &QSocketNotifier::activated, n,
                       [owner, isRead] { owner->Notify(isRead, !isRead); });
    }
    n->setEnabled(true);
  }

  FdWatch& owner_;
  int fd_;
  QSocketNotifier* read_ = nullptr;
  QSocketNotifier* write_ = nullptr;
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
