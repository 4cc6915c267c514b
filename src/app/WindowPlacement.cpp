#include "app/WindowPlacement.h"

#include <QGuiApplication>
#include <QWindow>

#include <algorithm>
#include <climits>

#ifdef KOVREL_HAVE_XLIB
#include <QtGui/qguiapplication_platform.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#endif

namespace kovrel::app {

std::optional<X11FRAME> QueryX11Frame([[maybe_unused]] const QWidget& window) {
#ifdef KOVREL_HAVE_XLIB
    auto* pX11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (pX11 == nullptr || pX11->display() == nullptr || !window.isVisible() ||
        window.windowHandle() == nullptr)
        return std::nullopt;
    Display* pDisplay = pX11->display();
    const auto xWindow = static_cast<Window>(window.windowHandle()->winId());
    const Atom atomExtents = XInternAtom(pDisplay, "_NET_FRAME_EXTENTS", True);
    if (atomExtents == None)
        return std::nullopt;
    Atom atomType = None;
    int nFormat = 0;
    unsigned long nItems = 0;
    unsigned long nAfter = 0;
    unsigned char* pData = nullptr;
    if (XGetWindowProperty(pDisplay, xWindow, atomExtents, 0, 4, False, XA_CARDINAL, &atomType,
                           &nFormat, &nItems, &nAfter, &pData) != Success)
        return std::nullopt;
    long anExtents[4] = {};
    const bool bFramed = atomType == XA_CARDINAL && nFormat == 32 && nItems == 4 && pData;
    if (bFramed)
        std::copy_n(reinterpret_cast<const long*>(pData), 4, anExtents);
    if (pData)
        XFree(pData);
    if (!bFramed)
        return std::nullopt;
    XWindowAttributes attrs{};
    if (!XGetWindowAttributes(pDisplay, xWindow, &attrs) || attrs.map_state != IsViewable)
        return std::nullopt;
    int nX = 0;
    int nY = 0;
    Window child = 0;
    if (!XTranslateCoordinates(pDisplay, xWindow, attrs.root, 0, 0, &nX, &nY, &child))
        return std::nullopt;
    // The extents are left, right, top, bottom.
    const QRect rcClient(nX, nY, attrs.width, attrs.height);
    return X11FRAME{
        rcClient.adjusted(static_cast<int>(-anExtents[0]), static_cast<int>(-anExtents[2]),
                          static_cast<int>(anExtents[1]), static_cast<int>(anExtents[3])),
        rcClient};
#else
    return std::nullopt;
#endif
}

WINRECT BringTitleBarOnScreen(const WINRECT& rc, const QList<QRect>& arcScreens) {
    if (arcScreens.isEmpty())
        return rc;
    const int nWidth = rc.right - rc.left;
    const int nHeight = rc.bottom - rc.top;
    const QRect rcTitle(rc.left, rc.top, std::max(1, nWidth), kGrabHeight);
    for (const QRect& rcScreen : arcScreens) {
        const QRect rcOn = rcTitle.intersected(rcScreen);
        if (rcOn.width() >= std::min(kGrabWidth, rcTitle.width()) && rcOn.height() >= kGrabHeight)
            return rc;
    }
    // The nearest screen: the one whose rectangle is closest to the title bar.
    const QRect* pNearest = nullptr;
    long long nBest = LLONG_MAX;
    for (const QRect& rcScreen : arcScreens) {
        const long long nDx =
            std::max({0, rcScreen.left() - rcTitle.right(), rcTitle.left() - rcScreen.right()});
        const long long nDy =
            std::max({0, rcScreen.top() - rcTitle.bottom(), rcTitle.top() - rcScreen.bottom()});
        const long long nDistance = nDx * nDx + nDy * nDy;
        if (nDistance < nBest) {
            nBest = nDistance;
            pNearest = &rcScreen;
        }
    }
    // Brought back, the whole window lies on that screen where it fits; one
    // larger than the screen keeps its size and starts at the screen's corner.
    const QRect& rcScreen = *pNearest;
    const int nLeft = std::clamp(rc.left, rcScreen.left(),
                                 std::max(rcScreen.left(), rcScreen.right() + 1 - nWidth));
    const int nTop = std::clamp(rc.top, rcScreen.top(),
                                std::max(rcScreen.top(), rcScreen.bottom() + 1 - nHeight));
    return WINRECT{nLeft, nTop, nLeft + nWidth, nTop + nHeight};
}

} // namespace kovrel::app
