// The main window: menu, status band, progress bar, image lists and the MDI
// area that holds the explorer. The commands are in frmApplicationCommands.cpp.
#include "frmApplication.h"

#include <QGuiApplication>
#include <QScreen>

#include <map>

#include <QCloseEvent>
#include <QIcon>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

#include "basErrorReports.h"
#include "basMain.h"
#include "basScreen.h"
#include "basUtilities.h"
#include "explorer/frmSQLServerExplorer.h"

namespace {
frmApplication* g_main = nullptr;

struct ToolSpec {
  const char* caption;
  const char* name;
};
}  // namespace

frmApplication* MainWindow() { return g_main; }
void SetMainWindow(frmApplication* window) { g_main = window; }

struct frmApplication::Ui {
  QLabel* lblStatus = nullptr;
  QProgressBar* prgProgress = nullptr;
  QMdiArea* mdi = nullptr;
};

frmApplication::frmApplication(QWidget* parent) : QMainWindow(parent), ui_(new Ui) {
  setObjectName(QStringLiteral("frmApplication"));
  vx::app::EnsureResources();
  setWindowIcon(QIcon(QStringLiteral(":/vexilon/vexilon.svg")));
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("mnuSQLServerExplorer"));
  bar->setFont(QFont(QStringLiteral("Tahoma"), bar->font().pointSize()));

  auto addBand = [&](const char* button, const char* caption, const char* band,
                     std::initializer_list<ToolSpec> tools) {
    QMenu* menu = bar->addMenu(QString::fromLatin1(caption));
    menu->setObjectName(QString::fromLatin1(band));
    menu->menuAction()->setObjectName(QString::fromLatin1(button));
    for (const ToolSpec& t : tools) {
      QAction* action = nullptr;
      if (!t.caption) {
        action = menu->addSeparator();
      } else {
        action = menu->addAction(QString::fromLatin1(t.caption));
        const QString name = QString::fromLatin1(t.name);
        connect(action, &QAction::triggered, this, [this, name] { acbApplication_ToolClick(name); });
      }
      action->setObjectName(QString::fromLatin1(t.name));
    }
    return menu;
  };
  addBand("btnFile", "&File", "pomFile",
          {{"&SQL Server Explorer...", "miFiSQLServerExplorer"},
           {"New SQL Server Registration...", "miFiRegisterSQLServer"},
           {"&View Log...", "miFiViewLog"},
           {"E&xit", "miFiExit"}});
  QMenu* object = addBand("btnObject", "&Object", "pomObject", {{"&View", "miObView"}});
  addBand("btnTools", "&Tools", "pomTools", {{"&Options...", "miToOptions"}});
  addBand("btnHelp", "&Help", "pomHelp",
          {{"&Contents...", "miHeContents"},
           {"&Index...", "miHeIndex"},
           {"&Support Online...", "miHeSupportOnline"},
           {nullptr, "miHeSeparator"},
           {"&About Morvane Vexilon...", "miHeAbout"}});
  Tool(QStringLiteral("miFiSQLServerExplorer"))->setIcon(imlSQLServerExplorer(QStringLiteral("E")));
  Tool(QStringLiteral("miFiRegisterSQLServer"))->setIcon(imlSQLServerExplorer(QStringLiteral("S")));
  // The registration and View follow the explorer (it switches them while open).
  Tool(QStringLiteral("miFiRegisterSQLServer"))->setEnabled(false);
  Tool(QStringLiteral("miObView"))->setEnabled(false);
  // View reads the explorer's state as the menu opens: a list keeps its claim
  // on View while the focus is only lent to the menu.
  connect(object, &QMenu::aboutToShow, this, [this] {
    frmSQLServerExplorer* explorer = Explorer();
    const bool listSelected = explorer && explorer->isVisible() &&
                              (explorer->ListViewSelected() == ENU_LVS_OBJECTS ||
                               explorer->ListViewSelected() == ENU_LVS_ENCRYPTED_OBJECTS);
    Tool(QStringLiteral("miObView"))->setEnabled(listSelected);
  });

  ui_->mdi = new QMdiArea(this);
  ui_->mdi->setObjectName(QStringLiteral("MDIClient"));
  setCentralWidget(ui_->mdi);

  QStatusBar* band = statusBar();
  band->setObjectName(QStringLiteral("stbApplication"));
  ui_->lblStatus = new QLabel(band);
  ui_->lblStatus->setObjectName(QStringLiteral("lblStatus"));
  ui_->prgProgress = new QProgressBar(band);
  ui_->prgProgress->setObjectName(QStringLiteral("prgProgress"));
  ui_->prgProgress->setRange(0, 100);
  ui_->prgProgress->setMaximumWidth(240);
  ui_->prgProgress->setVisible(false);
  band->addWidget(ui_->lblStatus, 1);
  band->addPermanentWidget(ui_->prgProgress);
  // Four fifths of the screen, and never smaller than the explorer needs; in
  // the screen's centre from the start, so a window that opens over it before
  // the window manager has placed it lands on its centre too.
  QSize size(900, 620);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    size = size.expandedTo(screen->availableGeometry().size() * 4 / 5);
    move(screen->availableGeometry().center() - QPoint(size.width() / 2, size.height() / 2));
  }
  resize(size);
}

frmApplication::~frmApplication() {
  if (g_main == this) g_main = nullptr;
  // The children go after this body: no explorer may call back into it then.
  for (auto* explorer : findChildren<frmSQLServerExplorer*>()) explorer->disconnect(this);
  delete ui_;
  ui_ = nullptr;
}

void frmApplication::FillfrmApplication() {
  VX_TRY
    menuBar()->adjustSize();
    statusBar()->adjustSize();
    vx::app::SetAppIcon(this);
  VX_CATCH("frmApplication", "FillfrmApplication")
}

QAction* frmApplication::Tool(const QString& name) const { return findChild<QAction*>(name); }
QMenu* frmApplication::Band(const QString& name) const { return findChild<QMenu*>(name); }

void frmApplication::SetStatusText(const QString& text) { ui_->lblStatus->setText(text); }
QString frmApplication::StatusText() const { return ui_->lblStatus->text(); }
void frmApplication::SetStatusVisible(bool visible) { ui_->lblStatus->setVisible(visible); }
bool frmApplication::StatusVisible() const { return !ui_->lblStatus->isHidden(); }
QLabel* frmApplication::lblStatus() const { return ui_->lblStatus; }
QProgressBar* frmApplication::prgProgress() const { return ui_->prgProgress; }

void frmApplication::BeginProgress(int max, const QString& statusText) {
  ui_->prgProgress->setRange(0, max > 0 ? max : 1);
  ui_->prgProgress->setValue(0);
  ui_->prgProgress->setVisible(true);
  SetStatusText(statusText);
  SetStatusVisible(true);
  statusBar()->repaint();
}

void frmApplication::StepProgress(int value) {
  ui_->prgProgress->setValue(value);
  ui_->prgProgress->repaint();
  ui_->lblStatus->repaint();
  vx::app::DoEvents();
}

void frmApplication::EndProgress(const QString& resultText) {
  ui_->prgProgress->setVisible(false);
  SetStatusText(resultText);
  SetStatusVisible(true);
}

void frmApplication::SetBatchRunning(bool running) {
  batchRunning_ = running;
  menuBar()->setEnabled(!running);
  // A termination asked for during the batch runs now that it has finished.
  if (!running && vx::app::TakePendingTermination()) QTimer::singleShot(0, this, [] { vx::app::ExitApp(0); });
}
bool frmApplication::BatchRunning() const { return batchRunning_; }

QIcon frmApplication::imlSQLServerExplorer(const QString& key) const {
  return vx::app::ImageListIcon(QStringLiteral("imlSQLServerExplorer"), key);
}
QIcon frmApplication::imlColumnHeaderIcons(const QString& key) const {
  return vx::app::ImageListIcon(QStringLiteral("imlColumnHeaderIcons"), key);
}

QMdiArea* frmApplication::MdiArea() const { return ui_->mdi; }
frmSQLServerExplorer* frmApplication::Explorer() const { return explorer_; }

void frmApplication::ShowExplorer(frmSQLServerExplorer* explorer) {
  if (!explorer) return;
  QMdiSubWindow* sub = ui_->mdi->addSubWindow(explorer);
  sub->setAttribute(Qt::WA_DeleteOnClose);
  sub->setWindowIcon(imlSQLServerExplorer(QStringLiteral("E")));
  if (explorer->windowTitle().isEmpty()) sub->setWindowTitle(QStringLiteral("SQL Server Explorer"));
  explorer_ = explorer;
  // Only the explorer shown last is forgotten when it goes: an earlier one may be
  // deleted after a new one opened.
  connect(explorer, &QObject::destroyed, this, [this] {
    if (explorer_.isNull()) SetExplorer(nullptr);
  });
  Tool(QStringLiteral("miFiRegisterSQLServer"))->setEnabled(true);
  sub->showMaximized();
}

void frmApplication::SetExplorer(frmSQLServerExplorer* explorer) {
  explorer_ = explorer;
  if (!explorer) {
    Tool(QStringLiteral("miObView"))->setEnabled(false);
    Tool(QStringLiteral("miFiRegisterSQLServer"))->setEnabled(false);
  }
}

void frmApplication::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (batchRunning_) return;  // the batch's window ends first
  vx::app::ExitApp(0);
}
