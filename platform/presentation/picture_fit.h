// Where a program's picture lands in a window whose size the program does not choose: a screen
// saver's window, the root window, another program's window, a preview. The picture keeps its
// shape and is centred, on black: at the largest whole scale that fits, each pixel an exact N x N
// block; in a window smaller than the picture, shrunk to fit (nearest pixel, no smoothing).
// Backend-neutral: each backend that shows a picture in such a window lays it out with this.
#pragma once

struct PictureFit {
    int x; // the picture's place and size in the window, in the window's pixels
    int y;
    int width;
    int height;
    int scale; // the whole scale N >= 1, or 0 when shrunk to fit
};

// The picture of `picture_width` x `picture_height` in a window of `width` x `height`, at the
// largest whole scale that fits, but no larger than `largest_scale` (0: no bound), or shrunk
// when even scale 1 does not fit. Sizes of 0 or less give an empty fit (width and height 0).
PictureFit fit_picture(int width, int height, int picture_width, int picture_height,
                       int largest_scale);
