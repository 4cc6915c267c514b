// Where the main window really is on the screen, and where a saved rectangle
// may put it.
#pragma once

#include "app/Profile.h"

#include <QList>
#include <QRect>
#include <QWidget>

#include <optional>

namespace kovrel::app {

// The outer rectangle (frame included) and the client area of a top-level
// window as the X server has them now, or nothing where the program does not run on X11 or the
// window manager has not framed the window yet (no _NET_FRAME_EXTENTS). Qt's own frameGeometry()
// trusts the position it last asked for, which some window managers (openbox) never confirm after
// framing, so it can be off by the frame.
struct X11FRAME {
    QRect rcOuter;  // frame included
    QRect rcClient; // the window's own area
};
std::optional<X11FRAME> QueryX11Frame(const QWidget& window);

// A saved rectangle whose title bar could not be reached on any screen (the
// screens' geometries as given) is moved, size kept, onto the screen nearest to
// it, as far as it fits there; a reachable one is returned unchanged. Reachable: a strip of the
// title bar at least kGrabWidth wide and kGrabHeight high lies on one screen.
WINRECT BringTitleBarOnScreen(const WINRECT& rc, const QList<QRect>& arcScreens);

inline constexpr int kGrabWidth = 40;
inline constexpr int kGrabHeight = 8;

} // namespace kovrel::app
