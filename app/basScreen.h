#pragma once
// The screen's mouse pointer, screen units, loaded windows and pending events.
#include <QString>

class QWidget;

namespace vx::app {

// Pointer values as the windows use them.
enum MousePointer : int { vbDefault = 0, vbHourglass = 11, vbArrowHourglass = 13 };
// Sets the screen's pointer absolutely (never stacked): 0 is the normal pointer.
void SetScreenMousePointer(int pointer);
int ScreenMousePointer();
// A widget's own pointer (0 normal, 11 hourglass, 13 arrow and hourglass).
void SetWidgetMousePointer(QWidget* widget, int pointer);

// Twips to pixels by the screen's real dots per inch, halves to even.
int TwipsToPixels(int twips, bool vertical);
// True when a window whose objectName equals `formName` (ignoring case) is open.
bool IsFormLoaded(const QString& formName);
// Lets pending events run without user input (clicks, keys and close requests
// wait), so progress repaints while a batch holds the user back.
void DoEvents();

}  // namespace vx::app
