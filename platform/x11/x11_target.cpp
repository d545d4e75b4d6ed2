// A program's pictures drawn into another program's X window through Xlib, with the MIT
// shared-memory extension where the X server shares this machine's memory (the picture then never
// travels through the connection) and plain XPutImage where it does not. SDL is not asked: a
// window it makes from a foreign one selects the keys, the pointer and the buttons on it, and a
// button press on the root window belongs to the window manager (a second client asking for it
// gets BadAccess). Here only the window's size, its exposure and its end are selected.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrandr.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "picture_fit.h"
#include "x11_picture.h"
#include "x11_target.h"

struct XTarget {
    bool held;
    int slot;
    Display* display;
    Window window;
    Window root;
    int screen;
    Visual* visual;
    int depth;
    GC gc;
    // The window's pixel format: 32-bit words, each colour under its mask; `alpha` holds the bits
    // outside the three, set, so that a window with an alpha channel shows the picture opaque.
    uint32_t red_mask;
    uint32_t green_mask;
    uint32_t blue_mask;
    uint32_t alpha;
    int width; // the X window's size now
    int height;
    int picture_width; // the program's client area
    int picture_height;
    int largest_scale;
    PictureFit fit;
    uint32_t* picture; // the client-size picture that BitBlt writes, in the window's format
    bool drawn;        // `picture` holds a frame
    bool borders_drawn;
    XImage* image; // the fit's size, in shared memory while shm_attached
    XShmSegmentInfo shm;
    bool shm_possible;
    bool shm_attached;
    double refresh;
    bool gone; // the window's end was seen
    bool close_posted;
    XErrorHandler previous_handler;
};

static XTarget target;

// The last X error, noted instead of ending the program as Xlib's default handler would: an
// error on the target's requests most often means that its window has gone meanwhile.
static int x_error;
static XID x_error_resource;

static int note_x_error(Display*, XErrorEvent* error) {
    x_error = error->error_code;
    x_error_resource = error->resourceid;
    return 0;
}

// True once an error has said that the window is gone (destroyed behind the program's back).
static bool window_gone_by_error() {
    bool gone = (x_error == BadWindow || x_error == BadDrawable) &&
                x_error_resource == target.window && target.window != 0;
    x_error = 0;
    return gone;
}

static uint32_t channel(int value, uint32_t mask) {
    if (mask == 0)
        return 0;
    int shift = std::countr_zero(mask);
    uint32_t top = mask >> shift;
    return ((static_cast<uint32_t>(value) * top + 127) / 255) << shift;
}

static uint32_t map_x_rgb(const Framebuffer&, int r, int g, int b) {
    return channel(r, target.red_mask) | channel(g, target.green_mask) |
           channel(b, target.blue_mask) | target.alpha;
}

// Bits per pixel of the server's images of `depth`, or 0.
static int bits_per_pixel(Display* display, int depth) {
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
    int bits = 0;
    for (int i = 0; i < count; i++)
        if (formats[i].depth == depth)
            bits = formats[i].bits_per_pixel;
    if (formats != nullptr)
        XFree(formats);
    return bits;
}

// The refresh rate of the monitor (XRandR's CRTC) under the window's centre; 0 when XRandR 1.3
// is missing or no monitor there says its rate.
static double measure_refresh() {
    Display* display = target.display;
    int event_base = 0;
    int error_base = 0;
    int major = 0;
    int minor = 0;
    if (!XRRQueryExtension(display, &event_base, &error_base) ||
        !XRRQueryVersion(display, &major, &minor) || (major == 1 && minor < 3))
        return 0;
    int x = 0;
    int y = 0;
    Window child = 0;
    XTranslateCoordinates(display, target.window, target.root, target.width / 2, target.height / 2,
                          &x, &y, &child);
    XRRScreenResources* resources = XRRGetScreenResourcesCurrent(display, target.root);
    if (resources == nullptr)
        return 0;
    double rate = 0;
    for (int i = 0; i < resources->ncrtc && rate == 0; i++) {
        XRRCrtcInfo* crtc = XRRGetCrtcInfo(display, resources, resources->crtcs[i]);
        if (crtc == nullptr)
            continue;
        bool under = crtc->mode != None && x >= crtc->x && y >= crtc->y &&
                     x < crtc->x + static_cast<int>(crtc->width) &&
                     y < crtc->y + static_cast<int>(crtc->height);
        for (int m = 0; under && m < resources->nmode; m++) {
            const XRRModeInfo& mode = resources->modes[m];
            if (mode.id == crtc->mode && mode.hTotal > 0 && mode.vTotal > 0)
                rate = static_cast<double>(mode.dotClock) /
                       (static_cast<double>(mode.hTotal) * mode.vTotal);
        }
        XRRFreeCrtcInfo(crtc);
    }
    XRRFreeScreenResources(resources);
    x_error = 0; // an odd answer from XRandR only leaves the rate unknown
    return rate;
}

static void free_image() {
    if (target.image == nullptr)
        return;
    if (target.shm_attached) {
        XShmDetach(target.display, &target.shm);
        XSync(target.display, False);
        shmdt(target.shm.shmaddr);
        target.shm_attached = false;
        target.image->data = nullptr; // not Xlib's to free
    }
    XDestroyImage(target.image);
    target.image = nullptr;
}

// An image of the fit's size in shared memory, the X server attached to it; false when the server
// cannot share this machine's memory.
static bool make_shared_image() {
    Display* display = target.display;
    XShmSegmentInfo& shm = target.shm;
    XImage* image = XShmCreateImage(display, target.visual, static_cast<unsigned>(target.depth),
                                    ZPixmap, nullptr, &shm, static_cast<unsigned>(target.fit.width),
                                    static_cast<unsigned>(target.fit.height));
    if (image == nullptr)
        return false;
    shm.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(image->bytes_per_line) * image->height,
                       IPC_CREAT | 0600);
    if (shm.shmid >= 0) {
        shm.shmaddr = static_cast<char*>(shmat(shm.shmid, nullptr, 0));
        if (shm.shmaddr != reinterpret_cast<char*>(-1)) {
            image->data = shm.shmaddr;
            shm.readOnly = False;
            x_error = 0;
            XShmAttach(display, &shm);
            XSync(display, False);
            // Marked for removal at once: it goes with the last detach, even if the program is
            // killed.
            shmctl(shm.shmid, IPC_RMID, nullptr);
            if (x_error == 0) {
                target.image = image;
                target.shm_attached = true;
                return true;
            }
            x_error = 0;
            shmdt(shm.shmaddr);
        } else {
            shmctl(shm.shmid, IPC_RMID, nullptr);
        }
    }
    image->data = nullptr;
    XDestroyImage(image);
    return false;
}

// The picture's place for the window's size now, and an image of that size; the black around it
// is drawn again with the next picture. Allocates only here, when the window's size changes.
static bool lay_out() {
    free_image();
    target.fit = fit_picture(target.width, target.height, target.picture_width,
                             target.picture_height, target.largest_scale);
    target.borders_drawn = false;
    if (target.fit.width <= 0)
        return true;
    if (target.shm_possible && make_shared_image())
        return true;
    // A server elsewhere: plain images from now on, in this machine's byte order, which Xlib
    // converts if the server's differs.
    target.shm_possible = false;
    size_t bytes = static_cast<size_t>(target.fit.width) * target.fit.height * 4;
    char* data = static_cast<char*>(malloc(bytes));
    if (data == nullptr)
        return false;
    target.image = XCreateImage(target.display, target.visual, static_cast<unsigned>(target.depth),
                                ZPixmap, 0, data, static_cast<unsigned>(target.fit.width),
                                static_cast<unsigned>(target.fit.height), 32, target.fit.width * 4);
    if (target.image == nullptr) {
        free(data);
        return false;
    }
    target.image->byte_order = LSBFirst;
    return true;
}

// Black in the window around the picture's place.
static void draw_borders() {
    const PictureFit& fit = target.fit;
    Display* display = target.display;
    int right = fit.x + fit.width;
    int bottom = fit.y + fit.height;
    auto fill = [&](int x, int y, int width, int height) {
        if (width > 0 && height > 0)
            XFillRectangle(display, target.window, target.gc, x, y, static_cast<unsigned>(width),
                           static_cast<unsigned>(height));
    };
    fill(0, 0, target.width, fit.y);
    fill(0, bottom, target.width, target.height - bottom);
    fill(0, fit.y, fit.x, fit.height);
    fill(right, fit.y, target.width - right, fit.height);
    target.borders_drawn = true;
}

// The picture at its fit in the window. Waits for the server to have taken it (XSync), so that
// the next frame never writes the shared image while the server still reads it.
static void present() {
    if (!target.drawn || target.gone || target.image == nullptr)
        return;
    if (!target.borders_drawn)
        draw_borders();
    const PictureFit& fit = target.fit;
    write_picture(target.picture, target.picture_width, target.picture_height,
                  target.picture_width * 4, reinterpret_cast<uint32_t*>(target.image->data),
                  target.image->bytes_per_line, fit);
    unsigned width = static_cast<unsigned>(fit.width);
    unsigned height = static_cast<unsigned>(fit.height);
    if (target.shm_attached)
        XShmPutImage(target.display, target.window, target.gc, target.image, 0, 0, fit.x, fit.y,
                     width, height, False);
    else
        XPutImage(target.display, target.window, target.gc, target.image, 0, 0, fit.x, fit.y, width,
                  height);
    XSync(target.display, False);
    if (window_gone_by_error())
        target.gone = true;
}

// Gives up an opening that failed, with the line that says why.
static bool refuse(unsigned long id, const char* reason) {
    fprintf(stderr, "platform: X window 0x%lx on display %s %s\n", id,
            DisplayString(target.display), reason);
    if (target.gc != nullptr)
        XFreeGC(target.display, target.gc);
    XCloseDisplay(target.display);
    XSetErrorHandler(target.previous_handler);
    free(target.picture);
    target = XTarget{};
    return false;
}

bool x11_target_open(int slot, unsigned long window_id, int width, int height, int largest_scale) {
    if (target.held) {
        fprintf(stderr, "platform: only the program's first window can be shown in another "
                        "program's window\n");
        return false;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        const char* name = getenv("DISPLAY");
        fprintf(stderr,
                "platform: no X display answered (DISPLAY=%s); --root and --window-id draw into "
                "an X window\n",
                name != nullptr ? name : "");
        return false;
    }
    target = XTarget{};
    target.display = display;
    target.previous_handler = XSetErrorHandler(note_x_error);
    x_error = 0;
    Window window = window_id != 0 ? window_id : DefaultRootWindow(display);
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, window, &attributes) == 0 || x_error != 0)
        return refuse(window, "does not exist");
    if (attributes.c_class == InputOnly)
        return refuse(window, "takes input only: it has no pixels to draw");
    if (attributes.visual->c_class != TrueColor || bits_per_pixel(display, attributes.depth) != 32)
        return refuse(window, "is not a true-colour window of 32 bits a pixel (depth 24 or 32), "
                              "the only kind drawn into");
    target.picture = static_cast<uint32_t*>(malloc(static_cast<size_t>(width) * height * 4));
    if (target.picture == nullptr)
        return refuse(window, "cannot be drawn into: no memory for its picture");
    target.window = window;
    target.root = attributes.root;
    target.screen = XScreenNumberOfScreen(attributes.screen);
    target.visual = attributes.visual;
    target.depth = attributes.depth;
    target.red_mask = static_cast<uint32_t>(attributes.visual->red_mask);
    target.green_mask = static_cast<uint32_t>(attributes.visual->green_mask);
    target.blue_mask = static_cast<uint32_t>(attributes.visual->blue_mask);
    target.alpha =
        attributes.depth == 32 ? ~(target.red_mask | target.green_mask | target.blue_mask) : 0;
    target.width = attributes.width;
    target.height = attributes.height;
    target.picture_width = width;
    target.picture_height = height;
    target.largest_scale = largest_scale;
    // The window's owner keeps its keys, pointer and buttons: only its size, its end and its
    // exposure are asked for, which any number of clients may select.
    XSelectInput(display, window, StructureNotifyMask | ExposureMask);
    XGCValues values = {};
    values.foreground = target.alpha; // black, opaque
    values.graphics_exposures = False;
    target.gc = XCreateGC(display, window, GCForeground | GCGraphicsExposures, &values);
    XSync(display, False);
    if (x_error != 0)
        return refuse(window, "went away or refused to be drawn into");
    target.shm_possible = XShmQueryExtension(display) && ImageByteOrder(display) == LSBFirst;
    if (!lay_out())
        return refuse(window, "cannot be drawn into: no memory for its picture");
    target.refresh = measure_refresh();
    target.held = true;
    target.slot = slot;
    return true;
}

bool x11_target_holds(int slot) {
    return target.held && target.slot == slot;
}

void x11_target_close(int slot) {
    if (!x11_target_holds(slot))
        return;
    Display* display = target.display;
    free_image();
    if (!target.gone) {
        // Its owner paints again what the picture covered (the root, its own background).
        XSelectInput(display, target.window, NoEventMask);
        XClearArea(display, target.window, 0, 0, 0, 0, True);
    }
    XFreeGC(display, target.gc);
    XSync(display, False); // an error here (the window gone meanwhile) is only noted
    XCloseDisplay(display);
    XSetErrorHandler(target.previous_handler);
    free(target.picture);
    target = XTarget{};
    x_error = 0;
}

bool x11_target_framebuffer_begin(int slot, Framebuffer* framebuffer) {
    if (!x11_target_holds(slot))
        return false;
    framebuffer->pixels = reinterpret_cast<uint8_t*>(target.picture);
    framebuffer->pitch = target.picture_width * 4;
    framebuffer->width = target.picture_width;
    framebuffer->height = target.picture_height;
    framebuffer->bytes_per_pixel = 4;
    // XRGB words are the DIB's own BGRX bytes; any other layout goes through map_rgb.
    framebuffer->bgrx = target.red_mask == 0xFF0000 && target.green_mask == 0xFF00 &&
                        target.blue_mask == 0xFF && target.alpha == 0;
    framebuffer->format_key[0] = target.red_mask ^ target.alpha;
    framebuffer->format_key[1] = target.blue_mask;
    framebuffer->map_rgb = map_x_rgb;
    framebuffer->native = nullptr;
    return true;
}

void x11_target_framebuffer_end(int slot, int width, int height) {
    if (!x11_target_holds(slot) || width <= 0 || height <= 0)
        return;
    target.drawn = true;
    present();
}

void x11_target_pump() {
    if (!target.held)
        return;
    bool show_again = false;
    while (!target.gone && XPending(target.display) > 0) {
        XEvent event;
        XNextEvent(target.display, &event);
        if (event.xany.window != target.window)
            continue;
        switch (event.type) {
        case ConfigureNotify:
            if (event.xconfigure.width != target.width ||
                event.xconfigure.height != target.height) {
                target.width = event.xconfigure.width;
                target.height = event.xconfigure.height;
                if (!lay_out())
                    fprintf(stderr, "platform: no memory for the picture at %d x %d\n",
                            target.width, target.height);
                show_again = true;
            }
            // Moved or resized: perhaps onto another monitor, with another rate.
            target.refresh = measure_refresh();
            break;
        case Expose:
            if (event.xexpose.count == 0) {
                target.borders_drawn = false;
                show_again = true;
            }
            break;
        case DestroyNotify:
            target.gone = true;
            break;
        default:
            break;
        }
    }
    if (window_gone_by_error())
        target.gone = true;
    if (target.gone) {
        // As if the program's own window were closed: it ends as it always does.
        if (!target.close_posted) {
            if (HWND window = window_in_slot(target.slot))
                queue_post(window, WM_CLOSE, 0, 0);
            target.close_posted = true;
        }
        return;
    }
    if (show_again)
        present();
}

int x11_target_input_descriptor() {
    return target.held ? ConnectionNumber(target.display) : -1;
}

double x11_target_refresh_rate() {
    return target.held ? target.refresh : 0;
}

int x11_target_screen_size(bool width) {
    if (!target.held)
        return 0;
    return width ? DisplayWidth(target.display, target.screen)
                 : DisplayHeight(target.display, target.screen);
}
