// The screenshot registry. Each ShotsXxx.cpp file of a GUI layer registers
// named pictures with KOVREL_SHOTS; the program renders every registered one.
//
//   KOVREL_SHOTS(RegisterGridShots) {
//       kovrel::shots::RegisterShot("grid_main", [] {
//           auto* pWindow = new CSomeWindow;          // deleted by the caller
//           return kovrel::shots::GrabWindow(pWindow);
//       });
//   }
#pragma once

#include <QImage>
#include <QString>

#include <functional>

class QWidget;

namespace kovrel::shots {

using ShotFn = std::function<QImage()>;

void RegisterShot(const QString& strName, ShotFn fnShot);

// Shows the window (if hidden), lets it paint, and returns its picture with a
// caption strip showing the window title on top (the offscreen platform
// draws no frames). Deletes the window unless bKeep is set.
QImage GrabWindow(QWidget* pWindow, bool bKeep = false);

// Runs fnOpen, which opens a modal window, grabs that window as soon as it is
// active and closes it with fnClose; returns the picture.
QImage GrabModal(const std::function<void()>& fnOpen, const std::function<void(QWidget*)>& fnClose);

struct CShotRegistrar {
    explicit CShotRegistrar(void (*pfnRegister)()) { pfnRegister(); }
};

} // namespace kovrel::shots

#define KOVREL_SHOTS(FN)                                                                           \
    static void FN();                                                                              \
    static const ::kovrel::shots::CShotRegistrar s_shotRegistrar_##FN(&FN);                        \
    static void FN()
