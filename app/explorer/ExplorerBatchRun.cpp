#include "explorer/ExplorerBatchRun.h"

#include <optional>

#include <QEvent>
#include <QWidget>

#include "basScreen.h"
#include "frmApplication.h"
#include "vexilon_global/CGlobal.h"

namespace {
std::optional<bool> g_confirmedArchiving;
std::function<void(const ExplorerBatchRun&)> g_observer;
}  // namespace

ExplorerBatchRun::ExplorerBatchRun(QWidget* explorer) : explorer_(explorer) {
  if (explorer_) explorer_->installEventFilter(this);
  if (frmApplication* main = MainWindow()) {
    main_ = main;
    main->installEventFilter(this);
    wasRunning_ = main->BatchRunning();
    main->SetBatchRunning(true);
  }
}

ExplorerBatchRun::~ExplorerBatchRun() {
  if (explorer_) explorer_->removeEventFilter(this);
  if (main_) {
    main_->removeEventFilter(this);
    if (auto* main = qobject_cast<frmApplication*>(main_.data())) main->SetBatchRunning(wasRunning_);
  }
}

bool ExplorerBatchRun::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close) {
    event->ignore();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

void ExplorerBatchRun::Begin(int max, const QString& statusText) {
  max_ = max;
  value_ = 0;
  status_ = statusText;
  if (frmApplication* main = MainWindow()) {
    main->BeginProgress(max, statusText);
    main->SetStatusVisible(true);
  }
  Notify();
}

void ExplorerBatchRun::SetStatus(const QString& statusText) {
  status_ = statusText;
  if (frmApplication* main = MainWindow()) {
    main->SetStatusText(statusText);
    main->SetStatusVisible(true);
  }
}

void ExplorerBatchRun::Step(int value) {
  value_ = value;
  if (frmApplication* main = MainWindow())
    main->StepProgress(value);
  else
    vx::app::DoEvents();
  Notify();
}

void ExplorerBatchRun::End(const QString& statusText, bool statusVisible) {
  status_ = statusText;
  if (frmApplication* main = MainWindow()) {
    main->EndProgress(statusText);
    main->SetStatusVisible(statusVisible);
  }
  Notify();
}

void ExplorerBatchRun::Notify() const {
  if (g_observer) g_observer(*this);
}

void ExplorerBatchRun::SetConfirmedArchiving(bool archive) { g_confirmedArchiving = archive; }

bool ExplorerBatchRun::TakeArchiving() {
  std::optional<bool> confirmed;
  confirmed.swap(g_confirmedArchiving);
  if (confirmed) return *confirmed;
  return CGlobal::Instance().ArchiveEncryptedDatabaseObjects() != vx::kFalse;
}

void ExplorerBatchRun::SetObserver(std::function<void(const ExplorerBatchRun& run)> observer) {
  g_observer = std::move(observer);
}
