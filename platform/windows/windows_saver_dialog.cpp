// The screen saver's settings dialog: how often the picture changes (the --cycle period) and the
// pace of the frames, saved per user by OK; Escape and Cancel close it and save nothing. Its
// template is built here in memory, in dialog units, so the backend needs no resource of the
// program's; the dialog manager lays it out in the system's dialog font.
#include <cstdio>

#include "options.h"
#include "windows_saver.h"

enum DialogItem : WORD {
    item_cycle = 101,
    item_pace_display = 102,
    item_pace_fixed = 103,
    item_pace_max = 104, // the three choices of pace in a row, for CheckRadioButton
    item_fps = 105,
};

// The predefined window classes of a dialog item, by atom.
constexpr WORD class_button = 0x0080;
constexpr WORD class_edit = 0x0081;
constexpr WORD class_static = 0x0082;

// The template: a DLGTEMPLATE and its items, each starting on a DWORD, in 16-bit words.
alignas(4) static WORD dialog_template[2048];
static size_t template_used;

static void put_word(WORD word) {
    if (template_used < sizeof(dialog_template) / sizeof(dialog_template[0]))
        dialog_template[template_used++] = word;
}

static void put_dword(DWORD value) {
    put_word(LOWORD(value));
    put_word(HIWORD(value));
}

// Text of plain ASCII as the template's UTF-16, with its end.
static void put_text(const char* text) {
    for (const char* at = text; *at != 0; at++)
        put_word(static_cast<WORD>(static_cast<unsigned char>(*at)));
    put_word(0);
}

static void put_item(DWORD style, short x, short y, short width, short height, WORD id,
                     WORD class_atom, const char* text) {
    if (template_used % 2 != 0)
        put_word(0);
    put_dword(style | WS_CHILD | WS_VISIBLE);
    put_dword(0); // extended style
    put_word(static_cast<WORD>(x));
    put_word(static_cast<WORD>(y));
    put_word(static_cast<WORD>(width));
    put_word(static_cast<WORD>(height));
    put_word(id);
    put_word(0xFFFF);
    put_word(class_atom);
    put_text(text);
    put_word(0); // no creation data
}

constexpr WORD item_count = 11;

static void build_template(const char* title) {
    template_used = 0;
    put_dword(DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU);
    put_dword(0);
    put_word(item_count);
    put_word(0); // place: centred (DS_CENTER)
    put_word(0);
    put_word(232); // size
    put_word(112);
    put_word(0); // no menu
    put_word(0); // the dialog class
    put_text(title);
    put_word(8);
    put_text("MS Shell Dlg");
    put_item(SS_LEFT, 7, 9, 92, 9, 0xFFFF, class_static, "Change the picture every");
    put_item(ES_NUMBER | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 100, 7, 34, 13, item_cycle,
             class_edit, "");
    put_item(SS_LEFT, 138, 9, 90, 9, 0xFFFF, class_static, "seconds (0: never)");
    put_item(SS_LEFT, 7, 29, 60, 9, 0xFFFF, class_static, "Frames:");
    put_item(BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, 14, 41, 210, 10, item_pace_display,
             class_button, "One per refresh of the display");
    put_item(BS_AUTORADIOBUTTON, 14, 55, 22, 10, item_pace_fixed, class_button, "");
    put_item(ES_NUMBER | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 36, 53, 30, 13, item_fps,
             class_edit, "");
    put_item(SS_LEFT, 70, 56, 150, 9, 0xFFFF, class_static, "a second (1 to 1000)");
    put_item(BS_AUTORADIOBUTTON | WS_TABSTOP, 14, 69, 210, 10, item_pace_max, class_button,
             "As fast as the machine allows");
    put_item(BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 118, 91, 50, 14, IDOK, class_button, "OK");
    put_item(BS_PUSHBUTTON | WS_TABSTOP, 175, 91, 50, 14, IDCANCEL, class_button, "Cancel");
}

// The program whose settings the dialog edits, and what it read.
static const char* dialog_program;
static SaverSettings shown_settings;
static bool save_failed;

static void show_settings(HWND dialog) {
    SetDlgItemInt(dialog, item_cycle, static_cast<UINT>(shown_settings.cycle_seconds), FALSE);
    int fps = shown_settings.pace.mode == pace_fixed ? shown_settings.pace.fps : default_refresh_hz;
    SetDlgItemInt(dialog, item_fps, static_cast<UINT>(fps), FALSE);
    int chosen = shown_settings.pace.mode == pace_fixed       ? item_pace_fixed
                 : shown_settings.pace.mode == pace_unlimited ? item_pace_max
                                                              : item_pace_display;
    CheckRadioButton(dialog, item_pace_display, item_pace_max, chosen);
    EnableWindow(GetDlgItem(dialog, item_fps), chosen == item_pace_fixed);
}

// Reads a whole number of `item` within low..high; else says so, puts the caret there and
// answers false.
static bool read_number(HWND dialog, int item, int low, int high, const char* what, int* value) {
    BOOL read = FALSE;
    UINT number = GetDlgItemInt(dialog, item, &read, FALSE);
    if (read && number >= static_cast<UINT>(low) && number <= static_cast<UINT>(high)) {
        *value = static_cast<int>(number);
        return true;
    }
    char text[160];
    snprintf(text, sizeof(text), "%s is a whole number from %d to %d.", what, low, high);
    MessageBoxA(dialog, text, "Settings", MB_OK | MB_ICONWARNING);
    SetFocus(GetDlgItem(dialog, item));
    SendDlgItemMessageA(dialog, item, EM_SETSEL, 0, -1);
    return false;
}

// OK: the settings as the dialog shows them, saved; false keeps the dialog open.
static bool take_settings(HWND dialog) {
    SaverSettings chosen = shown_settings;
    if (!read_number(dialog, item_cycle, 0, max_cycle_seconds, "The time between pictures",
                     &chosen.cycle_seconds))
        return false;
    if (IsDlgButtonChecked(dialog, item_pace_fixed) == BST_CHECKED) {
        chosen.pace.mode = pace_fixed;
        if (!read_number(dialog, item_fps, 1, max_pace_fps, "The frames a second",
                         &chosen.pace.fps))
            return false;
    } else {
        chosen.pace.mode = IsDlgButtonChecked(dialog, item_pace_max) == BST_CHECKED ? pace_unlimited
                                                                                    : pace_display;
        chosen.pace.fps = 0;
    }
    if (!saver_settings_save(dialog_program, chosen)) {
        save_failed = true;
        MessageBoxA(dialog, "The settings could not be saved in the registry.", "Settings",
                    MB_OK | MB_ICONERROR);
    }
    return true;
}

static INT_PTR CALLBACK dialog_procedure(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        show_settings(dialog);
        // The cycle's field first, its number selected, so that typing replaces it.
        SetFocus(GetDlgItem(dialog, item_cycle));
        SendDlgItemMessageA(dialog, item_cycle, EM_SETSEL, 0, -1);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case item_pace_display:
        case item_pace_fixed:
        case item_pace_max:
            CheckRadioButton(dialog, item_pace_display, item_pace_max, LOWORD(wparam));
            EnableWindow(GetDlgItem(dialog, item_fps),
                         IsDlgButtonChecked(dialog, item_pace_fixed) == BST_CHECKED);
            return TRUE;
        case IDOK:
            if (take_settings(dialog))
                EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

int saver_settings_dialog(const char* program, HWND owner) {
    dialog_program = program;
    shown_settings = saver_settings_load(program);
    save_failed = false;
    char title[MAX_PATH + 32];
    snprintf(title, sizeof(title), "%s screen saver", program);
    if (title[0] >= 'a' && title[0] <= 'z')
        title[0] = static_cast<char>(title[0] - 'a' + 'A');
    build_template(title);
    INT_PTR result = DialogBoxIndirectParamA(GetModuleHandleA(nullptr),
                                             reinterpret_cast<const DLGTEMPLATE*>(dialog_template),
                                             owner, dialog_procedure, 0);
    return result == -1 || save_failed ? 1 : 0;
}
