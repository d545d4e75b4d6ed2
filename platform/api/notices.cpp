// The messages that say, once, where a call meets a part of the API that the stand-in supports
// only in part. Each has its own name and its own "said" mark, so one call's message never hides
// another's.
#include <cstdio>
#include <iterator>

#include "platform_internal.h"

struct NoticeText {
    Notice notice;
    const char* text;
};

// In the order of the enumeration; notice_text checks that each entry sits at its own number.
static const NoticeText notice_texts[] = {
    {notice_thick_frame, "CreateWindowExA: sizing frames are drawn as fixed frames"},
    {notice_module_name, "GetModuleHandleA: only the program's own module (null name)"},
    {notice_cursor, "LoadCursorA: only the system cursors are available"},
    {notice_window_filter, "PeekMessageA: the window filter is ignored"},
    {notice_remove_flags, "PeekMessageA: only PM_REMOVE and PM_NOREMOVE are supported"},
    {notice_broadcast, "PostMessageA: broadcasting is not supported"},
    {notice_dc_slots, "GDI: out of device-context slots"},
    {notice_bitmap_slots, "GDI: out of bitmap slots"},
    {notice_dib_usage, "CreateDIBSection: only DIB_RGB_COLORS colour tables"},
    {notice_dib_section, "CreateDIBSection: file-mapping sections are not supported"},
    {notice_dib_compression, "CreateDIBSection: only BI_RGB pixels"},
    {notice_delete_selected, "DeleteObject: a bitmap still selected is kept"},
    {notice_raster_operation, "BitBlt: only SRCCOPY is supported"},
    {notice_blit_source, "BitBlt: only memory DCs can be read"},
    {notice_blit_screen, "BitBlt: the screen DC cannot be drawn into"},
    {notice_blit_depth, "BitBlt: 1- and 4-bit destinations are not supported"},
    {notice_set_pixel_dc, "SetPixel: only memory DCs can be drawn into pixel by pixel"},
    {notice_wide_strings, "wsprintfA: wide strings are not supported"},
    {notice_file_share_mode, "_lopen: sharing modes are ignored"},
    {notice_too_many_files, "_lopen: too many files open at once"},
    {notice_resource_module, "resources: only the program's own module has resources"},
    {notice_resource_type, "FindResourceA: only RT_BITMAP resources are embedded"},
    {notice_image_type, "LoadImageA: only bitmaps (IMAGE_BITMAP) can be loaded"},
    {notice_image_size, "LoadImageA: images are never scaled; they keep their own size"},
    {notice_image_flags, "LoadImageA: flags other than LR_LOADFROMFILE and LR_CREATEDIBSECTION "
                         "are ignored; every bitmap is a DIB section"},
    {notice_image_module, "LoadImageA: only the program's own module has bitmaps"},
    {notice_web_images, "LoadImageA: bitmaps cannot be loaded in the web build"},
    {notice_scale_reduced, "--scale: the window would not fit the display; it is shown smaller"},
};
static_assert(std::size(notice_texts) == notice_count, "one text for every notice");

static bool said[notice_count];

const char* notice_text(Notice notice) {
    if (notice < 0 || notice >= notice_count || notice_texts[notice].notice != notice)
        return nullptr;
    return notice_texts[notice].text;
}

void say_once(Notice notice, const char* detail) {
    const char* text = notice_text(notice);
    if (text == nullptr || said[notice])
        return;
    said[notice] = true;
    if (detail != nullptr)
        fprintf(stderr, "platform: %s (%s)\n", text, detail);
    else
        fprintf(stderr, "platform: %s\n", text);
}
