#pragma once
// The production's window as the X server sees it: found by its title, its geometry and its
// pixels. Include after GoogleTest: Xlib defines macros (None, Bool) that clash with its names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <string>

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

// The share of a window's pixels that are not black (any channel above 16 of 255); -1 when
// its image cannot be read. Only the part inside [x0, x1) x [y0, y1) counts when given. For
// 24-bit TrueColor displays, as the test displays (Xvfb) are.
inline double litshare(Display* display, Window window, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1) {
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
            lit += r > 16 || g > 16 || b > 16;
            ++all;
        }
    XDestroyImage(image);
    return all ? double(lit) / double(all) : 0.0;
}

}  // namespace talvo::testsupport
