#include "app/LockIndicators.h"

#include <QGuiApplication>

#ifdef KOVREL_HAVE_XLIB
#include <QtGui/qguiapplication_platform.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#endif

namespace kovrel::app {

#ifdef KOVREL_HAVE_XLIB
namespace {

bool NamedIndicatorOn(Display* pDisplay, const char* pszName) {
    const Atom atom = XInternAtom(pDisplay, pszName, True);
    if (atom == None)
        return false; // no keyboard map defines it
    Bool bOn = False;
    if (!XkbGetNamedIndicator(pDisplay, atom, nullptr, &bOn, nullptr, nullptr))
        return false;
    return bOn != False;
}

} // namespace
#endif

std::optional<LOCKSTATE> QueryLockState() {
#ifdef KOVREL_HAVE_XLIB
    auto* pX11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (pX11 == nullptr || pX11->display() == nullptr)
        return std::nullopt;
    Display* pDisplay = pX11->display();
    LOCKSTATE state;
    state.bCaps = NamedIndicatorOn(pDisplay, "Caps Lock");
    state.bNum = NamedIndicatorOn(pDisplay, "Num Lock");
    state.bScroll = NamedIndicatorOn(pDisplay, "Scroll Lock");
    state.bKana = NamedIndicatorOn(pDisplay, "Kana");
    return state;
#else
    return std::nullopt;
#endif
}

} // namespace kovrel::app
