#pragma once
// One encrypt or restore run of the explorer: the main window's progress bar
// and status text, and the user held back while it lasts. For as long as the
// object lives, the main window is told a batch runs (its menus, clicks and
// close requests wait) and close requests to the explorer and the main window
// are refused, so nobody can change an option or close a window under the
// loop. Every step repaints the bar and the status text and lets pending
// events run without user input.
#include <functional>

#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

class ExplorerBatchRun : public QObject {
  Q_OBJECT

 public:
  explicit ExplorerBatchRun(QWidget* explorer);
  ~ExplorerBatchRun() override;

  // Shows the bar at 0 of `max` and the status text.
  void Begin(int max, const QString& statusText);
  // A new status text while the bar stays.
  void SetStatus(const QString& statusText);
  // After each object: the bar's value, a repaint and pending events.
  void Step(int value);
  // Hides the bar; leaves `statusText` in the status caption, shown or hidden.
  void End(const QString& statusText, bool statusVisible = true);

  int Value() const { return value_; }
  int Maximum() const { return max_; }
  QString Status() const { return status_; }

  // What the run does with the archive option: the choice the user confirmed
  // (set by the command that asked), else the option as it stands when the
  // run starts. Read once per run, so the run does what was confirmed.
  static void SetConfirmedArchiving(bool archive);
  static bool TakeArchiving();

  // Tests: called after every step (and at Begin and End) with the run.
  static void SetObserver(std::function<void(const ExplorerBatchRun& run)> observer);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Notify() const;

  QPointer<QWidget> explorer_;
  QPointer<QWidget> main_;
  bool wasRunning_ = false;
  int max_ = 0;
  int value_ = 0;
  QString status_;
};
