#pragma once
// What a user does to the production's window from outside: the window manager's close button
// and a key pressed on the keyboard, on the test display or on one of the test's own.
// Include after GoogleTest: Xlib defines macros (None, Bool) that clash with its names.
#include <X11/Xlib.h>

#include <string>

#include "support/process.h"

namespace talvo::testsupport {

// The window titled `title` below `root`; 0 if there is none.
inline Window findwindow(Display* display, Window root, const char* title) {
    char* name = nullptr;
    if (XFetchName(display, root, &name) && name) {
        const bool match = std::string(name) == title;
        XFree(name);
        if (match) return root;
    }
    Window parent = 0, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(display, root, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && !found; ++i) found = findwindow(display, children[i], title);
        if (children) XFree(children);
    }
    return found;
}

// What a window manager's close button does: asks the production's window to close. On the
// display named `displayname` (":N"), or the default one when empty. False without a window.
inline bool pressclosebutton(const std::string& displayname = "") {
    Display* display = XOpenDisplay(displayname.empty() ? nullptr : displayname.c_str());
    if (!display) return false;
    const Window window = findwindow(display, DefaultRootWindow(display), "Quellspire");
    if (window) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, window, False, NoEventMask, &event);
        XFlush(display);
    }
    XCloseDisplay(display);
    return window != 0;
}

// A tap of `key` (pressed and released at once, as a person taps it) on the production's window.
inline bool tapkey(const std::string& displayname, const std::string& key) {
    const std::string prefix = displayname.empty() ? "" : "DISPLAY=" + displayname + " ";
    return shell(prefix + "xdotool search --name '^Quellspire$' windowfocus --sync key " + key + " 2>&1").status == 0;
}

}  // namespace talvo::testsupport
