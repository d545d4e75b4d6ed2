/* x_close WINDOW: asks an X window to close, as a window manager's close button does, by
 * sending it the WM_DELETE_WINDOW message of the WM_PROTOCOLS protocol. It works with no window
 * manager running, which xdotool cannot do: its windowclose destroys the X window behind the
 * program's back and windowkill drops the program's whole X connection.
 * Exit code: 0 sent, 1 bad argument or no display, 2 the window does not take the message. */
#include <stdio.h>
#include <stdlib.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

static int x_error;

static int note_error(Display* display, XErrorEvent* error) {
    (void)display;
    x_error = error->error_code;
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: x_close WINDOW_ID\n");
        return 1;
    }
    char* end = NULL;
    Window window = (Window)strtoul(argv[1], &end, 0);
    if (end == argv[1] || *end != '\0' || window == 0) {
        fprintf(stderr, "x_close: not a window id: %s\n", argv[1]);
        return 1;
    }
    Display* display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "x_close: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(note_error);

    Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    Atom delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);
    Atom* listed = NULL;
    int count = 0;
    int takes_delete = 0;
    if (XGetWMProtocols(display, window, &listed, &count)) {
        for (int i = 0; i < count; i++)
            if (listed[i] == delete_window)
                takes_delete = 1;
        XFree(listed);
    }
    if (!takes_delete || x_error != 0) {
        fprintf(stderr, "x_close: window 0x%lx does not take WM_DELETE_WINDOW\n", window);
        XCloseDisplay(display);
        return 2;
    }

    XEvent event = {0};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)delete_window;
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    if (x_error != 0) {
        fprintf(stderr, "x_close: the window 0x%lx went away before the message was sent\n",
                window);
        return 2;
    }
    return 0;
}
