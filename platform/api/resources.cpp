// FindResourceA, SizeofResource, LoadResource and LockResource over the table of bitmaps that the
// program embedded at build time (see embedded_bitmaps.h). Only RT_BITMAP resources of the
// program's own module exist. A resource handle is the address of its table entry and is only
// accepted back if it points at one; the loaded resource is its read-only data.
#include <cstdlib>

#include "embedded_bitmaps.h"
#include "platform_internal.h"

__attribute__((weak)) const EmbeddedBitmap* embedded_bitmaps(int* count) {
    *count = 0;
    return nullptr;
}

static char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

static bool same_name(const char* stored_upper, const char* name) {
    for (; *stored_upper != 0 && *name != 0; stored_upper++, name++)
        if (*stored_upper != upper(*name))
            return false;
    return *stored_upper == 0 && *name == 0;
}

// "#123" names resource number 123; 0 for any other text.
static WORD number_in_name(const char* name) {
    if (name[0] != '#' || name[1] == 0)
        return 0;
    unsigned long value = 0;
    for (const char* c = name + 1; *c != 0; c++) {
        if (*c < '0' || *c > '9')
            return 0;
        value = value * 10 + static_cast<unsigned long>(*c - '0');
        if (value > 0xFFFF)
            return 0;
    }
    return static_cast<WORD>(value);
}

const EmbeddedBitmap* find_embedded_bitmap(LPCSTR name) {
    if (name == nullptr)
        return nullptr;
    int count = 0;
    const EmbeddedBitmap* table = embedded_bitmaps(&count);
    WORD id = IS_INTRESOURCE(name) ? static_cast<WORD>(reinterpret_cast<uintptr_t>(name))
                                   : number_in_name(name);
    for (int i = 0; i < count; i++) {
        const EmbeddedBitmap* entry = &table[i];
        if (id != 0 ? entry->name == nullptr && entry->id == id
                    : entry->name != nullptr && same_name(entry->name, name))
            return entry;
    }
    return nullptr;
}

// The entry that a resource handle points at, or null for any other value.
static const EmbeddedBitmap* entry_of(HRSRC resource) {
    int count = 0;
    const EmbeddedBitmap* table = embedded_bitmaps(&count);
    uintptr_t address = reinterpret_cast<uintptr_t>(resource);
    uintptr_t first = reinterpret_cast<uintptr_t>(table);
    if (table == nullptr || address < first || (address - first) % sizeof(EmbeddedBitmap) != 0 ||
        (address - first) / sizeof(EmbeddedBitmap) >= static_cast<uintptr_t>(count))
        return nullptr;
    return &table[(address - first) / sizeof(EmbeddedBitmap)];
}

// Null stands for the program itself, as it does on Windows.
static bool own_module(HMODULE module) {
    if (module == nullptr || module == GetModuleHandleA(nullptr))
        return true;
    say_once(notice_resource_module);
    return false;
}

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
    if (!own_module(module))
        return nullptr;
    if (type != RT_BITMAP) {
        say_once(notice_resource_type);
        return nullptr;
    }
    const EmbeddedBitmap* entry = find_embedded_bitmap(name);
    return entry == nullptr ? nullptr : reinterpret_cast<HRSRC>(const_cast<EmbeddedBitmap*>(entry));
}

DWORD SizeofResource(HMODULE module, HRSRC resource) {
    const EmbeddedBitmap* entry = own_module(module) ? entry_of(resource) : nullptr;
    return entry == nullptr ? 0 : entry->size;
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
    const EmbeddedBitmap* entry = own_module(module) ? entry_of(resource) : nullptr;
    return entry == nullptr ? nullptr : const_cast<BYTE*>(entry->data);
}

// The loaded resource already is its data; like Windows, the memory is read-only.
LPVOID LockResource(HGLOBAL loaded) {
    return loaded;
}
