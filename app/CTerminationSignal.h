#pragma once
// SIGTERM, SIGINT and SIGHUP turned into a call on the event loop: the signal
// handler only writes a byte to a pipe, a socket notifier reads it.
#include <functional>

#include <QObject>

class QSocketNotifier;

class CTerminationSignal : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers (once per process); `onSignal` runs on the event loop.
  explicit CTerminationSignal(std::function<void()> onSignal, QObject* parent = nullptr);
  ~CTerminationSignal() override;

 private:
  std::function<void()> onSignal_;
  QSocketNotifier* notifier_ = nullptr;
};
