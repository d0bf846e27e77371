#pragma once
// The main window: the frame of every other window. Its menu tools are QActions
// whose objectName is the tool's name; the status band holds the status text
// lblStatus and the progress bar prgProgress that long operations write; the
// two image lists give pictures by key. The explorer lives in its MDI area.
#include <QIcon>
#include <QMainWindow>
#include <QPointer>

class QAction;
class QLabel;
class QMdiArea;
class QMenu;
class QProgressBar;
class frmSQLServerExplorer;

class frmApplication : public QMainWindow {
  Q_OBJECT

 public:
  explicit frmApplication(QWidget* parent = nullptr);
  ~frmApplication() override;

  // Set-up after loading: lays the command bar out and gives the application
  // the window's icon.
  void FillfrmApplication();

  // A menu tool by name (miFiSQLServerExplorer, miObView, ...); nullptr if none.
  QAction* Tool(const QString& name) const;
  // A popup menu by band name (pomFile, pomObject, pomTools, pomHelp).
  QMenu* Band(const QString& name) const;

  // Status band.
  void SetStatusText(const QString& text);  // caption of lblStatus
  QString StatusText() const;
  void SetStatusVisible(bool visible);      // shows or hides lblStatus
  bool StatusVisible() const;
  QLabel* lblStatus() const;
  QProgressBar* prgProgress() const;

  // A long operation over `max` objects: shows the bar at 0 and the status text.
  void BeginProgress(int max, const QString& statusText);
  // After each object: sets the value, repaints bar and status text, and lets
  // pending events run without user input.
  void StepProgress(int value);
  // Hides the bar and leaves `resultText` in the status caption.
  void EndProgress(const QString& resultText);

  // While a batch runs, menus, close requests and clicks of every window are
  // held back (the batch's window sets this around its loop).
  void SetBatchRunning(bool running);
  bool BatchRunning() const;

  // Image lists by key: imlSQLServerExplorer ("E", "S", "D", "G", "U", "W", "X",
  // "C", "H", "K", "B") and imlColumnHeaderIcons ("A", "D").
  QIcon imlSQLServerExplorer(const QString& key) const;
  QIcon imlColumnHeaderIcons(const QString& key) const;

  // The MDI area and the explorer shown in it (nullptr while none is open).
  QMdiArea* MdiArea() const;
  frmSQLServerExplorer* Explorer() const;
  // Shows a new explorer in the MDI area (the main window keeps the reference;
  // the explorer's unload clears it with SetExplorer(nullptr)).
  void ShowExplorer(frmSQLServerExplorer* explorer);
  void SetExplorer(frmSQLServerExplorer* explorer);

 public slots:
  // The menu's commands, by tool name.
  void acbApplication_ToolClick(const QString& toolName);

 protected:
  // Closing the main window runs the exit steps.
  void closeEvent(QCloseEvent* event) override;

 private:
  struct Ui;
  Ui* ui_ = nullptr;
  QPointer<frmSQLServerExplorer> explorer_;
  bool batchRunning_ = false;
};

// The program's one main window (nullptr before start-up made it, and in tests
// that have not made one).
frmApplication* MainWindow();
void SetMainWindow(frmApplication* window);
