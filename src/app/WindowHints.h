// What the X11 window manager is told beyond what Qt's window flags can say.
#pragma once

class QWidget;

namespace kovrel::app {

// Tells the window manager that pWindow (a top-level window that has its
// native window) can be moved and resized but offers no close, minimise or
// maximise: a caption with a sizing border and no system menu. Qt cannot say
// this: a window without a close button hint and without minimise/maximise
// hints is announced as allowing everything. Nothing happens off X11.
void ForbidCloseFunction(QWidget* pWindow);

} // namespace kovrel::app
