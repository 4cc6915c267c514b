// Sends a window the close requests of the window-manager tests:
//   kovrel_close_request direct WINDOW  the WM_DELETE_WINDOW message a window
//                                       manager sends when the user closes a
//                                       window (whatever the window allows)
//   kovrel_close_request wm WINDOW      asks the window manager to close the
//                                       window (_NET_CLOSE_WINDOW), as a task
//                                       bar does; the manager may refuse
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "direct") != 0 && std::strcmp(argv[1], "wm") != 0)) {
        std::fprintf(stderr, "usage: kovrel_close_request direct|wm WINDOW\n");
        return 2;
    }
    Display* pDisplay = XOpenDisplay(nullptr);
    if (pDisplay == nullptr) {
        std::fprintf(stderr, "kovrel_close_request: no X display\n");
        return 2;
    }
    const auto window = static_cast<Window>(std::strtoul(argv[2], nullptr, 0));
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.format = 32;
    if (std::strcmp(argv[1], "direct") == 0) {
        event.xclient.message_type = XInternAtom(pDisplay, "WM_PROTOCOLS", False);
        event.xclient.data.l[0] =
            static_cast<long>(XInternAtom(pDisplay, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(pDisplay, window, False, NoEventMask, &event);
    } else {
        event.xclient.message_type = XInternAtom(pDisplay, "_NET_CLOSE_WINDOW", False);
        event.xclient.data.l[0] = CurrentTime;
        event.xclient.data.l[1] = 2; // from a pager or task bar: the user's own request
        XSendEvent(pDisplay, DefaultRootWindow(pDisplay), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &event);
    }
    XSync(pDisplay, False);
    XCloseDisplay(pDisplay);
    return 0;
}
