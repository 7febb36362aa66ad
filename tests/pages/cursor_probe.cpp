// Prints the pointer image the X server shows now: size, hot spot and name. The real-X test reads
// it to see the pointer a user would see.
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <cstdio>

int main() {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 2;
    XFixesCursorImage* image = XFixesGetCursorImage(display);
    if (!image) return 3;
    std::printf("%dx%d+%d+%d %s\n", image->width, image->height, image->xhot, image->yhot,
                image->name && *image->name ? image->name : "-");
    XFree(image);
    XCloseDisplay(display);
    return 0;
}
