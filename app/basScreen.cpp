// Placeholder until the screen utilities are built.
#include "basScreen.h"

#include <QCoreApplication>

namespace vx::app {
void SetScreenMousePointer(int) {}
int ScreenMousePointer() { return 0; }
void SetWidgetMousePointer(QWidget*, int) {}
int TwipsToPixels(int twips, bool) { return twips / 15; }
bool IsFormLoaded(const QString&) { return false; }
void DoEvents() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }
}  // namespace vx::app
