// The keyboard's lock lights, for the status bar's indicator panes.
#pragma once

#include <optional>

namespace kovrel::app {

struct LOCKSTATE {
    bool bKana = false;
    bool bCaps = false;
    bool bNum = false;
    bool bScroll = false;
};

// The lights as the X server's keyboard extension reports them. Empty where the
// program does not run on X11 (offscreen, Wayland): the panes then stay grey.
std::optional<LOCKSTATE> QueryLockState();

} // namespace kovrel::app
