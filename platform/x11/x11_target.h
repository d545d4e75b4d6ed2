// Another program's X window as the place where the program's window shows its picture: the
// root window (--root), the window a screen saver names in XSCREENSAVER_WINDOW, or any window by
// its id (--window-id), as screen savers and live-wallpaper tools ask of their hacks. The program
// still creates its one window and sees its 320 x 240 client area; only its pictures go to the X
// window, at the largest whole scale that fits (picture_fit.h), centred on black, following the
// X window's size. Nothing is drawn outside the picture's place but the black around it, and the
// window's owner keeps its input: only its size, exposure and end are listened to. One such
// window at a time; the backend's display routes the window's calls here (sdl_video.cpp).
#pragma once

#include "platform_internal.h"

// Takes the X window `window_id` (0: the screen's root window) for the window of `slot`, whose
// client area is `width` x `height`; the picture is shown no larger than `largest_scale` (0: no
// bound). False, said in one line on standard error, when no X display answers, the id is no
// window, the window cannot show pixels (input-only, or not 24 or 32-bit true colour), or a
// window already holds it.
bool x11_target_open(int slot, unsigned long window_id, int width, int height, int largest_scale);
// Whether the window of `slot` shows its picture in the X window.
bool x11_target_holds(int slot);
// Lets the X window go (its owner is asked to repaint what the picture covered; a window already
// gone is left alone) and closes the connection.
void x11_target_close(int slot);
// The image that BitBlt writes the picture into at its fit, in the X window's pixel format
// (x11_picture.h); false while there is none.
bool x11_target_framebuffer_begin(int slot, Framebuffer* framebuffer);
// Shows the rectangle (x, y, width, height) of the client that BitBlt wrote, at its fit.
void x11_target_framebuffer_end(int slot, int x, int y, int width, int height);
// Takes the X window's events: a new size lays the picture out again, an exposure shows it again,
// and the window's end (or an error that says it is gone) posts WM_CLOSE to the program's window,
// so that the program ends as when its own window is closed.
void x11_target_pump();
// The descriptor of the connection to the X server, for the pace's wait to sleep on; -1 when
// there is none.
int x11_target_input_descriptor();
// The refresh rate of the monitor under the X window's centre (XRandR), or 0 when it does not say.
double x11_target_refresh_rate();
// Width or height of the X screen, or 0 when there is no target.
int x11_target_screen_size(bool width);
