#include "app/WindowHints.h"

#include <QGuiApplication>
#include <QWidget>

#ifdef KOVREL_HAVE_XLIB
#include <QtGui/qguiapplication_platform.h>

#include <X11/Xlib.h>
#endif

namespace kovrel::app {

#ifdef KOVREL_HAVE_XLIB
namespace {

// The Motif window manager hints, as every X11 window manager reads them.
constexpr unsigned long kMwmHintsFunctions = 1UL << 0;
constexpr unsigned long kMwmHintsDecorations = 1UL << 1;
constexpr unsigned long kMwmFuncResize = 1UL << 1;
constexpr unsigned long kMwmFuncMove = 1UL << 2;
constexpr unsigned long kMwmDecorBorder = 1UL << 1;
constexpr unsigned long kMwmDecorResizeH = 1UL << 2;
constexpr unsigned long kMwmDecorTitle = 1UL << 3;
constexpr int kMwmHintsElements = 5;

Display* X11Display() {
    auto* pX11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return pX11 != nullptr ? pX11->display() : nullptr;
}

} // namespace
#endif

void ForbidCloseFunction(QWidget* pWindow) {
#ifdef KOVREL_HAVE_XLIB
    Display* pDisplay = X11Display();
    if (pDisplay == nullptr || pWindow == nullptr || !pWindow->isWindow())
        return;
    const auto window = static_cast<Window>(pWindow->winId());
    const Atom atom = XInternAtom(pDisplay, "_MOTIF_WM_HINTS", False);
    long alHints[kMwmHintsElements] = {
        static_cast<long>(kMwmHintsFunctions | kMwmHintsDecorations),
        static_cast<long>(kMwmFuncResize | kMwmFuncMove),
        static_cast<long>(kMwmDecorBorder | kMwmDecorResizeH | kMwmDecorTitle), 0, 0};
    XChangeProperty(pDisplay, window, atom, atom, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(alHints), kMwmHintsElements);
    XFlush(pDisplay);
#else
    (void)pWindow;
#endif
}

} // namespace kovrel::app
