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
 *   x_window blocks WINDOW N
 *                          prints "BROKEN BLOCKS OUTSIDE" for a picture of 320 x 240 pixels
 *                          shown at scale N centred in the window: how many of its N x N blocks
 *                          are not of one colour, how many blocks there are, and how many pixels
 *                          around the picture are not black.
 *   x_window crc WINDOW N  prints the CRC-32 (zlib's) of the 320 x 240 picture shown at scale N
 *                          centred in the window, as RGB24 bytes of each block's top-left pixel:
 *                          the recorder's --crc of the frame that the window shows.
 *   x_window png WINDOW FILE
 *                          writes the window's pixels to FILE as a PNG picture (libpng).
 * Exit code: 0 done, 1 bad arguments or no display, 2 the window does not take WM_DELETE_WINDOW,
 * is gone, or cannot be read. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <png.h>

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

static int check_blocks(Display* display, Window window, int scale) {
    XImage* image = read_window(display, window);
    if (image == NULL)
        return 2;
    int left = (image->width - 320 * scale) / 2;
    int top = (image->height - 240 * scale) / 2;
    unsigned long broken = 0, blocks = 0, outside = 0;
    for (int by = 0; by < 240; by++) {
        for (int bx = 0; bx < 320; bx++) {
            int x0 = left + bx * scale, y0 = top + by * scale;
            if (x0 < 0 || y0 < 0 || x0 + scale > image->width || y0 + scale > image->height) {
                broken++;
                continue;
            }
            unsigned long first = XGetPixel(image, x0, y0);
            int same = 1;
            for (int y = y0; y < y0 + scale && same; y++)
                for (int x = x0; x < x0 + scale && same; x++)
                    same = XGetPixel(image, x, y) == first;
            broken += !same;
            blocks++;
        }
    }
    for (int y = 0; y < image->height; y++)
        for (int x = 0; x < image->width; x++)
            if ((x < left || y < top || x >= left + 320 * scale || y >= top + 240 * scale) &&
                (XGetPixel(image, x, y) & 0xFFFFFF) != 0)
                outside++;
    printf("%lu %lu %lu\n", broken, blocks, outside);
    XDestroyImage(image);
    return 0;
}

static int picture_crc(Display* display, Window window, int scale) {
    XImage* image = read_window(display, window);
    if (image == NULL)
        return 2;
    unsigned long table[256];
    for (unsigned long i = 0; i < 256; i++) {
        unsigned long c = i;
        for (int bit = 0; bit < 8; bit++)
            c = (c & 1) != 0 ? 0xEDB88320ul ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    int left = (image->width - 320 * scale) / 2;
    int top = (image->height - 240 * scale) / 2;
    unsigned long crc = 0xFFFFFFFFul;
    for (int y = 0; y < 240; y++)
        for (int x = 0; x < 320; x++) {
            int at_x = left + x * scale, at_y = top + y * scale;
            unsigned long pixel =
                at_x >= 0 && at_y >= 0 && at_x < image->width && at_y < image->height
                    ? XGetPixel(image, at_x, at_y)
                    : 0;
            unsigned long rgb[3] = {(pixel & image->red_mask) >> __builtin_ctzl(image->red_mask),
                                    (pixel & image->green_mask) >>
                                        __builtin_ctzl(image->green_mask),
                                    (pixel & image->blue_mask) >> __builtin_ctzl(image->blue_mask)};
            for (int i = 0; i < 3; i++)
                crc = table[(crc ^ rgb[i]) & 0xFF] ^ (crc >> 8);
        }
    printf("%08lx\n", crc ^ 0xFFFFFFFFul);
    XDestroyImage(image);
    return 0;
}

static int write_png(Display* display, Window window, const char* path) {
    XImage* image = read_window(display, window);
    if (image == NULL)
        return 2;
    png_image png;
    memset(&png, 0, sizeof(png));
    png.version = PNG_IMAGE_VERSION;
    png.width = (png_uint_32)image->width;
    png.height = (png_uint_32)image->height;
    png.format = PNG_FORMAT_RGB;
    unsigned char* rgb = malloc((size_t)image->width * (size_t)image->height * 3);
    if (rgb == NULL) {
        XDestroyImage(image);
        return 2;
    }
    unsigned char* at = rgb;
    for (int y = 0; y < image->height; y++) {
        for (int x = 0; x < image->width; x++) {
            unsigned long pixel = XGetPixel(image, x, y);
            *at++ = (unsigned char)((pixel & image->red_mask) >> __builtin_ctzl(image->red_mask));
            *at++ =
                (unsigned char)((pixel & image->green_mask) >> __builtin_ctzl(image->green_mask));
            *at++ = (unsigned char)((pixel & image->blue_mask) >> __builtin_ctzl(image->blue_mask));
        }
    }
    int written = png_image_write_to_file(&png, path, 0, rgb, 0, NULL);
    if (!written)
        fprintf(stderr, "x_window: %s: %s\n", path, png.message);
    free(rgb);
    XDestroyImage(image);
    return written ? 0 : 2;
}

int main(int argc, char** argv) {
    int extra = argc == 4 && (strcmp(argv[1], "blocks") == 0 || strcmp(argv[1], "png") == 0 ||
                              strcmp(argv[1], "crc") == 0);
    if (!extra && (argc != 3 || (strcmp(argv[1], "close") != 0 && strcmp(argv[1], "lit") != 0 &&
                                 strcmp(argv[1], "look") != 0))) {
        fprintf(stderr, "usage: x_window close|lit|look WINDOW_ID\n"
                        "       x_window blocks|crc WINDOW_ID SCALE | png WINDOW_ID FILE\n");
        return 1;
    }
    char* end = NULL;
    Window window = (Window)strtoul(argv[2], &end, 0);
    if (end == argv[2] || *end != '\0' || window == 0) {
        fprintf(stderr, "x_window: not a window id: %s\n", argv[2]);
        return 1;
    }
    int scale = strcmp(argv[1], "blocks") == 0 || strcmp(argv[1], "crc") == 0 ? atoi(argv[3]) : 1;
    if (scale < 1 || scale > 8) {
        fprintf(stderr, "x_window: not a scale: %s\n", argv[3]);
        return 1;
    }
    Display* display = XOpenDisplay(NULL);
    if (display == NULL) {
        fprintf(stderr, "x_window: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(note_error);
    int result = strcmp(argv[1], "close") == 0    ? close_window(display, window)
                 : strcmp(argv[1], "lit") == 0    ? count_lit(display, window)
                 : strcmp(argv[1], "blocks") == 0 ? check_blocks(display, window, scale)
                 : strcmp(argv[1], "crc") == 0    ? picture_crc(display, window, scale)
                 : strcmp(argv[1], "png") == 0    ? write_png(display, window, argv[3])
                                                  : look(display, window);
    XCloseDisplay(display);
    return result;
}
