#pragma once
// The production's window as the X server sees it (found by its title, its geometry and its
// pixels), and what a user does to it from outside: the close button, a key tapped. Include after GoogleTest: Xlib defines macros (None, Bool) that clash with its names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "support/process.h"

namespace talvo::testsupport {

// The window under `root` titled `title`; 0 if there is none.
inline Window findwindow(Display* display, Window root, const char* title) {
    char* name = nullptr;
    if (XFetchName(display, root, &name) && name) {
        bool match = std::string(name) == title;
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

// The share of a window's pixels brighter than `above` in any channel (16 of 255: not black);
// -1 when its image cannot be read. Only the part inside [x0, x1) x [y0, y1) counts when given.
// For 24-bit TrueColor displays, as the test displays (Xvfb) are.
inline double litshare(Display* display, Window window, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1,
                       unsigned long above = 16) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes)) return -1;
    if (x1 < 0) x1 = attributes.width;
    if (y1 < 0) y1 = attributes.height;
    XImage* image = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (!image) return -1;
    long lit = 0, all = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            const unsigned long r = (pixel & image->red_mask) >> 16, g = (pixel & image->green_mask) >> 8,
                                b = pixel & image->blue_mask;
            lit += r > above || g > above || b > above;
            ++all;
        }
    XDestroyImage(image);
    return all ? double(lit) / double(all) : 0.0;
}

// A window's pixels as the X server shows them, row by row (empty when they cannot be read).
inline std::vector<unsigned long> windowpixels(Display* display, Window window) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes)) return {};
    XImage* image = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (!image) return {};
    std::vector<unsigned long> pixels;
    for (int y = 0; y < attributes.height; ++y)
        for (int x = 0; x < attributes.width; ++x) pixels.push_back(XGetPixel(image, x, y));
    XDestroyImage(image);
    return pixels;
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
// Focusing can fail for a moment on a loaded machine, while the window is not yet viewable to
// the server, so it is tried for a few seconds; xdotool's last words go to standard error.
inline bool tapkey(const std::string& displayname, const std::string& key) {
    const std::string prefix = displayname.empty() ? "" : "DISPLAY=" + displayname + " ";
    shelloutput tap{};
    for (int attempt = 0; attempt < 20; ++attempt) {
        tap = shell(prefix + "xdotool search --name '^Quellspire$' windowfocus --sync key " + key + " 2>&1");
        if (tap.status == 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    std::fprintf(stderr, "xdotool could not tap %s: %s\n", key.c_str(), tap.out.c_str());
    return false;
}

}  // namespace talvo::testsupport
