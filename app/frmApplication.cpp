// Placeholder until the main window is built.
#include "frmApplication.h"

#include <QCloseEvent>
#include <QIcon>

#include "explorer/frmSQLServerExplorer.h"

namespace {
frmApplication* g_main = nullptr;
}
frmApplication* MainWindow() { return g_main; }
void SetMainWindow(frmApplication* window) { g_main = window; }

struct frmApplication::Ui {};
frmApplication::frmApplication(QWidget* parent) : QMainWindow(parent) {}
frmApplication::~frmApplication() = default;
void frmApplication::FillfrmApplication() {}
QAction* frmApplication::Tool(const QString&) const { return nullptr; }
QMenu* frmApplication::Band(const QString&) const { return nullptr; }
void frmApplication::SetStatusText(const QString&) {}
QString frmApplication::StatusText() const { return {}; }
void frmApplication::SetStatusVisible(bool) {}
bool frmApplication::StatusVisible() const { return false; }
QLabel* frmApplication::lblStatus() const { return nullptr; }
QProgressBar* frmApplication::prgProgress() const { return nullptr; }
void frmApplication::BeginProgress(int, const QString&) {}
void frmApplication::StepProgress(int) {}
void frmApplication::EndProgress(const QString&) {}
void frmApplication::SetBatchRunning(bool running) { batchRunning_ = running; }
bool frmApplication::BatchRunning() const { return batchRunning_; }
QIcon frmApplication::imlSQLServerExplorer(const QString&) const { return {}; }
QIcon frmApplication::imlColumnHeaderIcons(const QString&) const { return {}; }
QMdiArea* frmApplication::MdiArea() const { return nullptr; }
frmSQLServerExplorer* frmApplication::Explorer() const { return explorer_; }
void frmApplication::ShowExplorer(frmSQLServerExplorer* explorer) { explorer_ = explorer; }
void frmApplication::SetExplorer(frmSQLServerExplorer* explorer) { explorer_ = explorer; }
void frmApplication::acbApplication_ToolClick(const QString&) {}
void frmApplication::closeEvent(QCloseEvent* event) { event->accept(); }
