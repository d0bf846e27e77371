// The main window's menu commands.
#include <QFileInfo>
#include <QDesktopServices>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSplitter>
#include <QTreeWidget>
#include <QUrl>

#include "basAppTexts.h"
#include "basErrorReports.h"
#include "basMain.h"
#include "basMessages.h"
#include "basScreen.h"
#include "basUtilities.h"
#include "dialogs/frmLog.h"
#include "dialogs/frmServerRegistration.h"
#include "explorer/frmSQLServerExplorer.h"
#include "frmAbout.h"
#include "frmApplication.h"
#include "frmOptions.h"
#include "vexilon_lib/CVexilon.h"

using namespace vx::app;

namespace {

QTreeWidgetItem* SelectedItem(QTreeWidget* list) {
  if (!list) return nullptr;
  const auto selected = list->selectedItems();
  return selected.isEmpty() ? nullptr : selected.first();
}

void OpenHelp(QWidget* owner) {
  const QString path = QString::fromStdString(HelpFile());
  if (!QFileInfo::exists(path)) {
    MsgBox(QStringLiteral("The help file '") + path + QStringLiteral("' could not be found."), vbExclamation, owner);
    return;
  }
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
    MsgBox(QStringLiteral("The help file '") + path + QStringLiteral("' could not be opened."), vbExclamation, owner);
}

}  // namespace

void frmApplication::acbApplication_ToolClick(const QString& toolName) {
  VX_TRY
    if (toolName == QLatin1String("miFiSQLServerExplorer")) {
      SetScreenMousePointer(vbHourglass);
      frmSQLServerExplorer* open = Explorer();
      if (open && IsFormLoaded(QStringLiteral("frmSQLServerExplorer"))) {
        for (QMdiSubWindow* sub : MdiArea()->subWindowList()) {
          if (sub->widget() != open) continue;
          if (sub->isMinimized()) sub->showNormal();
          MdiArea()->setActiveSubWindow(sub);
          sub->raise();
        }
      } else {
        auto* explorer = new frmSQLServerExplorer;
        explorer->FillfrmSQLServerExplorer();
        SetScreenMousePointer(vbDefault);
        ShowExplorer(explorer);
      }
      SetScreenMousePointer(vbDefault);
    } else if (toolName == QLatin1String("miFiRegisterSQLServer")) {
      SetScreenMousePointer(vbHourglass);
      frmServerRegistration registration(this);
      SetScreenMousePointer(vbDefault);
      registration.setWindowTitle(QStringLiteral("SQL Server Registration"));
      registration.FillfrmServerRegistration();
      ShowModal(registration);
      if (registration.Dirty()) {
        frmSQLServerExplorer* explorer = Explorer();
        QSplitter* pane = explorer ? explorer->aszSQLServerExplorer() : nullptr;
        SetWidgetMousePointer(pane, vbArrowHourglass);
        auto engine = NewEngine();
        UDT_LOGIN_CREDENTIALS credentials;
        credentials.strSQLServerName = registration.ServerName().toStdString();
        credentials.enumLoginAuthenticationType = registration.LoginAuthenticationType();
        credentials.strUserName = registration.Username().toStdString();
        credentials.strPassword = registration.Password().toStdString();
        if (engine->RegisterSQLServer(credentials.strSQLServerName, credentials.enumLoginAuthenticationType,
                                      credentials.strUserName, credentials.strPassword) != vx::kFalse &&
            explorer)
          explorer->AddServerNode(credentials);
        SetScreenMousePointer(vbDefault);
        SetWidgetMousePointer(pane, vbDefault);
      }
    } else if (toolName == QLatin1String("miFiViewLog")) {
      SetScreenMousePointer(vbHourglass);
      frmLog log(this);
      log.FillfrmLog();
      SetScreenMousePointer(vbDefault);
      ShowModal(log);
    } else if (toolName == QLatin1String("miFiExit")) {
      SetScreenMousePointer(vbHourglass);
      setEnabled(false);
      DoEvents();
      ExitApp(0);
    } else if (toolName == QLatin1String("miObView")) {
      // The explorer may have been closed since the menu was opened.
      frmSQLServerExplorer* explorer = Explorer();
      if (!explorer || !explorer->isVisible()) return;
      switch (explorer->ListViewSelected()) {
        case ENU_LVS_OBJECTS:
          if (QTreeWidgetItem* item = SelectedItem(explorer->lvwObjects())) explorer->ViewObject(item);
          break;
        case ENU_LVS_ENCRYPTED_OBJECTS:
          if (QTreeWidgetItem* item = SelectedItem(explorer->lvwEncryptedObjects())) explorer->ViewEncryptedObject(item);
          break;
        default:
          break;
      }
    } else if (toolName == QLatin1String("miToOptions")) {
      SetScreenMousePointer(vbHourglass);
      frmOptions options(this);
      options.FillfrmOptions();
      SetScreenMousePointer(vbDefault);
      ShowModal(options);
    } else if (toolName == QLatin1String("miHeContents") || toolName == QLatin1String("miHeIndex")) {
      OpenHelp(this);
    } else if (toolName == QLatin1String("miHeSupportOnline")) {
      const QString address = QString::fromLatin1(kSupportOnlineURL);
      if (!OpenURL(address))
        MsgBox(QStringLiteral("There was a problem trying to open '") + address +
                   QStringLiteral("' with your default browser."),
               vbExclamation, this);
    } else if (toolName == QLatin1String("miHeAbout")) {
      frmAbout about(this);
      ShowModal(about);
    }
  VX_CATCH("frmApplication", "acbApplication_ToolClick")
}
