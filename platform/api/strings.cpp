// The kernel's string calls and wsprintfA. wsprintfA knows only its own conversions (%d %i %u
// %x %X %s %c %%, with -, #, 0, width, precision and the l, h and I64 sizes); each argument is
// formatted on its own, so no conversion the caller did not ask for is ever reached.
#include <cstdio>
#include <cstring>

#include "platform_internal.h"

// Windows' output buffer is at most 1024 bytes: 1023 characters and the closing 0.
constexpr int wsprintf_limit = 1024;

LPSTR lstrcpyA(LPSTR dest, LPCSTR src) {
    if (dest == nullptr || src == nullptr)
        return nullptr;
    return strcpy(dest, src);
}

LPSTR lstrcatA(LPSTR dest, LPCSTR src) {
    if (dest == nullptr || src == nullptr)
        return nullptr;
    return strcat(dest, src);
}

int lstrlenA(LPCSTR text) {
    return text == nullptr ? 0 : static_cast<int>(strlen(text));
}

struct Output {
    LPSTR text;
    int length;
};

static void put_text(Output& out, const char* text, int length) {
    for (int i = 0; i < length && out.length < wsprintf_limit - 1; i++)
        out.text[out.length++] = text[i];
}

// Reads a decimal count, held below the output limit so that it cannot overflow.
static int read_count(const char*& at) {
    int count = 0;
    while (*at >= '0' && *at <= '9') {
        count = count * 10 + (*at - '0');
        if (count > wsprintf_limit)
            count = wsprintf_limit;
        at++;
    }
    return count;
}

// A printf format for one conversion, from the parts that conversion accepts.
static void build_directive(char* directive, bool left, bool alternate, bool zero, int width,
                            int precision, const char* conversion) {
    int length = 0;
    directive[length++] = '%';
    if (left)
        directive[length++] = '-';
    if (alternate)
        directive[length++] = '#';
    if (zero && !left)
        directive[length++] = '0';
    length += snprintf(directive + length, 12, "%d", width);
    if (precision >= 0)
        length += snprintf(directive + length, 12, ".%d", precision);
    snprintf(directive + length, 4, "%s", conversion);
}

int wvsprintfA(LPSTR out_text, LPCSTR format, va_list args) {
    if (out_text == nullptr)
        return 0;
    Output out = {out_text, 0};
    if (format == nullptr) {
        out_text[0] = 0;
        return 0;
    }
    const char* at = format;
    while (*at != 0 && out.length < wsprintf_limit - 1) {
        if (*at != '%') {
            put_text(out, at++, 1);
            continue;
        }
        at++;
        // Flags, width, precision and size; each conversion keeps only what applies to it.
        bool left = false;
        bool alternate = false;
        bool zero = false;
        for (;; at++) {
            if (*at == '-')
                left = true;
            else if (*at == '#')
                alternate = true;
            else if (*at == '0')
                zero = true;
            else
                break;
        }
        int width = read_count(at);
        int precision = -1;
        if (*at == '.') {
            at++;
            precision = read_count(at);
        }
        bool wide = false;
        bool size64 = false;
        if (*at == 'l') {
            wide = true;
            at++;
        } else if (*at == 'h') {
            at++;
        } else if (at[0] == 'I' && at[1] == '6' && at[2] == '4') {
            size64 = true;
            at += 3;
        }
        char piece[wsprintf_limit + 64];
        int length = 0;
        char type = *at;
        if (type == 0)
            break;
        at++;
        switch (type) {
        case '%':
            piece[0] = '%';
            length = 1;
            break;
        case 'c':
        case 'C': {
            int c = va_arg(args, int);
            char directive[32];
            build_directive(directive, left, false, false, width, -1, "c");
            length = snprintf(piece, sizeof(piece), directive, c & 0xFF);
            break;
        }
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X': {
            bool is_signed = type == 'd' || type == 'i';
            char conversion[4] = {'l', 'l', is_signed ? 'd' : type, 0};
            char directive[32];
            build_directive(directive, left, alternate && !is_signed && type != 'u', zero, width,
                            precision, conversion);
            // 'l' is 32 bits on Windows, so only I64 reads a 64-bit argument.
            if (size64 && is_signed)
                length = snprintf(piece, sizeof(piece), directive, va_arg(args, long long));
            else if (size64)
                length =
                    snprintf(piece, sizeof(piece), directive, va_arg(args, unsigned long long));
            else if (is_signed)
                length = snprintf(piece, sizeof(piece), directive,
                                  static_cast<long long>(static_cast<int32_t>(va_arg(args, int))));
            else
                length = snprintf(piece, sizeof(piece), directive,
                                  static_cast<unsigned long long>(va_arg(args, unsigned int)));
            break;
        }
        case 's':
        case 'S': {
            const char* text = va_arg(args, const char*);
            if (wide || type == 'S') {
                say_once(notice_wide_strings);
                text = "";
            }
            if (text == nullptr)
                text = "(null)";
            char directive[32];
            build_directive(directive, left, false, false, width, precision, "s");
            length = snprintf(piece, sizeof(piece), directive, text);
            break;
        }
        default:
            // An unknown conversion is copied as its letter, taking no argument.
            piece[0] = type;
            length = 1;
            break;
        }
        if (length > static_cast<int>(sizeof(piece)) - 1)
            length = static_cast<int>(sizeof(piece)) - 1;
        if (length > 0)
            put_text(out, piece, length);
    }
    out_text[out.length] = 0;
    return out.length;
}

int wsprintfA(LPSTR out, LPCSTR format, ...) {
    va_list args;
    va_start(args, format);
    int length = wvsprintfA(out, format, args);
    va_end(args);
    return length;
}
