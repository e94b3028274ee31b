/* wm_close WINDOW: asks an X window to close as a window manager's close button does. */
#include <X11/Xlib.h>
#include <cstdlib>

int main(int argc, char **argv)
{
    Display *d = argc == 2 ? XOpenDisplay(NULL) : NULL;
    if (!d)
        return 2;
    XEvent e = {};
    e.xclient.type = ClientMessage;
    e.xclient.window = (Window)strtoul(argv[1], NULL, 0);
    e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)XInternAtom(d, "WM_DELETE_WINDOW", False);
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, e.xclient.window, False, NoEventMask, &e);
    XCloseDisplay(d);   /* flushes */
    return 0;
}
