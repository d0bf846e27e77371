#include "basScreen.h"

#include <cmath>

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMdiSubWindow>
#include <QScreen>
#include <QWidget>

namespace vx::app {
namespace {

int g_pointer = vbDefault;

Qt::CursorShape ShapeOf(int pointer) {
  switch (pointer) {
    case vbHourglass: return Qt::WaitCursor;
    case vbArrowHourglass: return Qt::BusyCursor;
    default: return Qt::ArrowCursor;
  }
}

// A window counts as loaded from its making until it is closed or hidden.
bool Loaded(const QWidget* window) {
  return window->isVisible() || !window->testAttribute(Qt::WA_WState_ExplicitShowHide);
}

}  // namespace

void SetScreenMousePointer(int pointer) {
  // Absolute: whatever was set before is replaced, never stacked.
  while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
  g_pointer = (pointer == vbHourglass || pointer == vbArrowHourglass) ? pointer : vbDefault;
  if (g_pointer != vbDefault) QGuiApplication::setOverrideCursor(QCursor(ShapeOf(g_pointer)));
}

int ScreenMousePointer() { return g_pointer; }

void SetWidgetMousePointer(QWidget* widget, int pointer) {
  if (!widget) return;
  if (pointer == vbHourglass || pointer == vbArrowHourglass)
    widget->setCursor(ShapeOf(pointer));
  else
    widget->unsetCursor();
}

int TwipsToPixels(int twips, bool vertical) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const double dpi = screen ? (vertical ? screen->logicalDotsPerInchY() : screen->logicalDotsPerInchX()) : 96.0;
  return static_cast<int>(std::nearbyint(twips / 1440.0 * dpi));  // halves to even
}

bool IsFormLoaded(const QString& formName) {
  for (QWidget* widget : QApplication::allWidgets()) {
    if (widget->objectName().compare(formName, Qt::CaseInsensitive) != 0) continue;
    if (widget->isWindow()) {
      if (Loaded(widget)) return true;
      continue;
    }
    if (auto* sub = qobject_cast<QMdiSubWindow*>(widget->parentWidget())) {
      if (sub->widget() == widget && Loaded(sub)) return true;
    }
  }
  return false;
}

void DoEvents() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }

}  // namespace vx::app
