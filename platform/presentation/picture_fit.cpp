// The picture's place in a window of any size: whole scales, or shrunk, centred.
#include "picture_fit.h"

#include <cstdint>

#include "options.h"

PictureFit fit_picture(int width, int height, int picture_width, int picture_height,
                       int largest_scale) {
    PictureFit fit = {0, 0, 0, 0, 0};
    if (width <= 0 || height <= 0 || picture_width <= 0 || picture_height <= 0)
        return fit;
    if (width >= picture_width && height >= picture_height) {
        fit.scale = largest_fitting_scale(width, height, picture_width, picture_height);
        if (largest_scale > 0 && fit.scale > largest_scale)
            fit.scale = largest_scale;
        fit.width = picture_width * fit.scale;
        fit.height = picture_height * fit.scale;
    } else if (static_cast<int64_t>(width) * picture_height <=
               static_cast<int64_t>(height) * picture_width) {
        // The width is the tighter bound: the picture fills it, its height in proportion.
        fit.width = width;
        fit.height = static_cast<int>(static_cast<int64_t>(width) * picture_height / picture_width);
    } else {
        fit.height = height;
        fit.width = static_cast<int>(static_cast<int64_t>(height) * picture_width / picture_height);
    }
    if (fit.width < 1)
        fit.width = 1;
    if (fit.height < 1)
        fit.height = 1;
    fit.x = (width - fit.width) / 2;
    fit.y = (height - fit.height) / 2;
    return fit;
}
