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

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "picture_fit.h"
#include "pixel_copy.h"
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
    int width; // the X window's size now
    int height;
    int largest_scale;
    // The picture at its fit in `image`, in the window's pixel format, which BitBlt writes
    // (x11_picture.h).
    XPicture picture;
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

// An image of `fit`'s size in shared memory, the X server attached to it; false when the server
// cannot share this machine's memory.
static bool make_shared_image(const PictureFit& fit) {
    Display* display = target.display;
    XShmSegmentInfo& shm = target.shm;
    XImage* image = XShmCreateImage(display, target.visual, static_cast<unsigned>(target.depth),
                                    ZPixmap, nullptr, &shm, static_cast<unsigned>(fit.width),
                                    static_cast<unsigned>(fit.height));
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

// An image of `fit`'s size: shared where the server can share it, else a plain one in this
// machine's byte order, which Xlib converts if the server's differs.
static bool make_image(const PictureFit& fit) {
    if (target.shm_possible && make_shared_image(fit))
        return true;
    target.shm_possible = false;
    size_t bytes = static_cast<size_t>(fit.width) * fit.height * 4;
    char* data = static_cast<char*>(malloc(bytes));
    if (data == nullptr)
        return false;
    target.image = XCreateImage(target.display, target.visual, static_cast<unsigned>(target.depth),
                                ZPixmap, 0, data, static_cast<unsigned>(fit.width),
                                static_cast<unsigned>(fit.height), 32, fit.width * 4);
    if (target.image == nullptr) {
        free(data);
        return false;
    }
    target.image->byte_order = LSBFirst;
    return true;
}

// The picture's place for the window's size now, in an image of that size with the last frame
// in it; the black around it is drawn again with the next picture. Allocates only here, when the
// window's size changes.
static bool lay_out() {
    XPicture& picture = target.picture;
    x_picture_leave(&picture); // before its rows go with the image
    free_image();
    target.borders_drawn = false;
    PictureFit fit = fit_picture(target.width, target.height, picture.client_width,
                                 picture.client_height, target.largest_scale);
    if (fit.width > 0 && !make_image(fit)) {
        x_picture_lay_out(&picture, PictureFit{}, nullptr, 0);
        return false;
    }
    if (target.image == nullptr)
        return x_picture_lay_out(&picture, fit, nullptr, 0);
    return x_picture_lay_out(&picture, fit, reinterpret_cast<uint8_t*>(target.image->data),
                             target.image->bytes_per_line);
}

// Black in the window around the picture's place.
static void draw_borders() {
    const PictureFit& fit = target.picture.fit;
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

// The part (x, y, width, height) of the image, which holds the picture at its fit, sent to the
// window. Waits for the server to have taken it (XSync), so that the next frame never writes the
// shared image while the server still reads it.
static void present(int x, int y, int width, int height) {
    if (!target.picture.drawn || target.gone || target.image == nullptr)
        return;
    if (!target.borders_drawn)
        draw_borders();
    const PictureFit& fit = target.picture.fit;
    unsigned w = static_cast<unsigned>(width);
    unsigned h = static_cast<unsigned>(height);
    if (target.shm_attached)
        XShmPutImage(target.display, target.window, target.gc, target.image, x, y, fit.x + x,
                     fit.y + y, w, h, False);
    else
        XPutImage(target.display, target.window, target.gc, target.image, x, y, fit.x + x,
                  fit.y + y, w, h);
    XSync(target.display, False);
    if (window_gone_by_error())
        target.gone = true;
}

static void present_all() {
    present(0, 0, target.picture.fit.width, target.picture.fit.height);
}

// Gives up an opening that failed, with the line that says why.
static bool refuse(unsigned long id, const char* reason) {
    fprintf(stderr, "platform: X window 0x%lx on display %s %s\n", id,
            DisplayString(target.display), reason);
    free_image();
    x_picture_free(&target.picture);
    if (target.gc != nullptr)
        XFreeGC(target.display, target.gc);
    XCloseDisplay(target.display);
    XSetErrorHandler(target.previous_handler);
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
    target.window = window;
    target.root = attributes.root;
    target.screen = XScreenNumberOfScreen(attributes.screen);
    target.visual = attributes.visual;
    target.depth = attributes.depth;
    XPicture& picture = target.picture;
    picture.format =
        x_pixel_format(static_cast<uint32_t>(attributes.visual->red_mask),
                       static_cast<uint32_t>(attributes.visual->green_mask),
                       static_cast<uint32_t>(attributes.visual->blue_mask), attributes.depth);
    picture.client_width = width;
    picture.client_height = height;
    target.width = attributes.width;
    target.height = attributes.height;
    // No larger than the shared writer's largest scale, which a window of 20480 x 15360 passes.
    target.largest_scale =
        largest_scale > 0 && largest_scale < max_copy_scale ? largest_scale : max_copy_scale;
    // The window's owner keeps its keys, pointer and buttons: only its size, its end and its
    // exposure are asked for, which any number of clients may select.
    XSelectInput(display, window, StructureNotifyMask | ExposureMask);
    XGCValues values = {};
    values.foreground = x_pixel_value(picture.format, 0, 0, 0); // black, opaque
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
    x_picture_free(&target.picture);
    if (!target.gone) {
        // Its owner paints again what the picture covered (the root, its own background).
        XSelectInput(display, target.window, NoEventMask);
        XClearArea(display, target.window, 0, 0, 0, 0, True);
    }
    XFreeGC(display, target.gc);
    XSync(display, False); // an error here (the window gone meanwhile) is only noted
    XCloseDisplay(display);
    XSetErrorHandler(target.previous_handler);
    target = XTarget{};
    x_error = 0;
}

bool x11_target_framebuffer_begin(int slot, Framebuffer* framebuffer) {
    return x11_target_holds(slot) && x_picture_framebuffer(&target.picture, framebuffer);
}

void x11_target_framebuffer_end(int slot, int x, int y, int width, int height) {
    if (!x11_target_holds(slot) || width <= 0 || height <= 0)
        return;
    XPicture& picture = target.picture;
    x_picture_written(&picture);
    const PictureFit& fit = picture.fit;
    if (fit.scale == 0) {
        present_all();
        return;
    }
    // The client's rectangle that BitBlt wrote, at the scale (BitBlt clipped it to the client).
    present(x * fit.scale, y * fit.scale, width * fit.scale, height * fit.scale);
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
            // The image still holds the picture at its fit: it is sent again as it is.
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
        present_all();
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
