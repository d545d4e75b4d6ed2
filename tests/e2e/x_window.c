/* x_window: the two things the window checks need that xdotool cannot do without a window
 * manager.
 *   x_window close WINDOW  asks the window to close as a window manager's close button does, by
 *                          sending it WM_DELETE_WINDOW (WM_PROTOCOLS). xdotool's windowclose
 *                          destroys the X window behind the program's back and its windowkill
 *                          drops the program's whole X connection; no user can do either.
 *   x_window lit WINDOW    prints how many of the window's pixels are not black, as
 *                          "LIT TOTAL", so a check can tell that frames reach the screen.
 *   x_window look WINDOW   prints two figures that tell the programs' Space key apart:
 *                          "GREEN CENTRE", the percentage of lit pixels that are greener than
 *                          red (0 in the fire palette, most in sorvel's second scheme) and the
 *                          mean brightness 0..255 of the 40 x 40 pixels at the centre (dark in
 *                          sorvel2's polar warp, which shows the top of the fire there, bright
 *                          in the ripple, which shows the fountain's source).
 * Exit code: 0 done, 1 bad arguments or no display, 2 the window does not take WM_DELETE_WINDOW,
 * is gone, or cannot be read. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

static int x_error;

static int note_error(Display* display, XErrorEvent* error) {
    (void)display;
    x_error = error->error_code;
    return 0;
}

static int close_window(Display* display, Window window) {
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
        fprintf(stderr, "x_window: window 0x%lx does not take WM_DELETE_WINDOW\n", window);
        return 2;
    }

    XEvent event;
    memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)delete_window;
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    if (x_error != 0) {
        fprintf(stderr, "x_window: window 0x%lx went away before it could be closed\n", window);
        return 2;
    }
    return 0;
}

static XImage* read_window(Display* display, Window window) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes) || x_error != 0 ||
        attributes.map_state != IsViewable) {
        fprintf(stderr, "x_window: window 0x%lx is not on screen\n", window);
        return NULL;
    }
    XImage* image = XGetImage(display, window, 0, 0, (unsigned)attributes.width,
                              (unsigned)attributes.height, AllPlanes, ZPixmap);
    if (image == NULL || x_error != 0) {
        fprintf(stderr, "x_window: the pixels of window 0x%lx cannot be read\n", window);
        return NULL;
    }
    return image;
}

static int look(Display* display, Window window) {
    XImage* image = read_window(display, window);
    if (image == NULL)
        return 2;
    unsigned long lit = 0, green = 0, centre_sum = 0, centre_count = 0;
    for (int y = 0; y < image->height; y++) {
        for (int x = 0; x < image->width; x++) {
            unsigned long pixel = XGetPixel(image, x, y);
            unsigned long r = (pixel & image->red_mask) >> __builtin_ctzl(image->red_mask);
            unsigned long g = (pixel & image->green_mask) >> __builtin_ctzl(image->green_mask);
            unsigned long b = (pixel & image->blue_mask) >> __builtin_ctzl(image->blue_mask);
            if (pixel != 0) {
                lit++;
                green += g > r;
            }
            if (abs(x - image->width / 2) < 20 && abs(y - image->height / 2) < 20) {
                unsigned long brightest = r > g ? (r > b ? r : b) : (g > b ? g : b);
                centre_sum += brightest;
                centre_count++;
            }
        }
    }
    printf("%lu %lu\n", lit ? 100 * green / lit : 0, centre_count ? centre_sum / centre_count : 0);
    XDestroyImage(image);
    return 0;
}

static int count_lit(Display* display, Window window) {
    XImage* image = read_window(display, window);
    if (image == NULL)
        return 2;
    unsigned long lit = 0;
    for (int y = 0; y < image->height; y++)
        for (int x = 0; x < image->width; x++)
            if (XGetPixel(image, x, y) != 0)
                lit++;
    printf("%lu %lu\n", lit, (unsigned long)image->width * (unsigned long)image->height);
    XDestroyImage(image);
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 3 || (strcmp(argv[1], "close") != 0 && strcmp(argv[1], "lit") != 0 &&
                      strcmp(argv[1], "look") != 0)) {
        fprintf(stderr, "usage: x_window close|lit|look WINDOW_ID\n");
        return 1;
    }
    char* end = NULL;
    Window window = (Window)strtoul(argv[2], &end, 0);
    if (end == argv[2] || *end != '\0' || window == 0) {
        fprintf(stderr, "x_window: not a window id: %s\n", argv[2]);
        return 1;
    }
    Display* display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "x_window: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(note_error);
    int result = strcmp(argv[1], "close") == 0 ? close_window(display, window)
                 : strcmp(argv[1], "lit") == 0 ? count_lit(display, window)
                                               : look(display, window);
    XCloseDisplay(display);
    return result;
}
