// The program's own import table: the two entries through which the backend gets its turn
// (CreateWindowExA and BitBlt), pointed at the backend's hooks once at start-up. The hooks call
// the real functions, so the program's calls still reach user32 and gdi32 with its own
// arguments; the backend's own calls to them go through the saved pointers, never the table.
#include "pace.h"
#include "windows_backend.h"

BitBltFunction real_bit_blt;
CreateWindowFunction real_create_window;

// The import descriptors of a module loaded in this process, or null.
static IMAGE_IMPORT_DESCRIPTOR* import_descriptors(BYTE* base) {
    auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE)
        return nullptr;
    auto headers = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (headers->Signature != IMAGE_NT_SIGNATURE)
        return nullptr;
    const IMAGE_DATA_DIRECTORY& imports =
        headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0 || imports.Size == 0)
        return nullptr;
    return reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
}

// The entry of the import address table `slots` that `dll`!`name` was bound to, or null. The
// names come from the lookup table beside it; where a linker left that out, the entry holding
// the function's address is the one.
static ULONG_PTR* find_entry(BYTE* base, const IMAGE_IMPORT_DESCRIPTOR& descriptor, const char* dll,
                             const char* name) {
    auto slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor.FirstThunk);
    if (descriptor.OriginalFirstThunk == 0) {
        FARPROC bound = GetProcAddress(GetModuleHandleA(dll), name);
        for (; bound != nullptr && slots->u1.Function != 0; slots++)
            if (slots->u1.Function == reinterpret_cast<ULONG_PTR>(bound))
                return &slots->u1.Function;
        return nullptr;
    }
    auto names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor.OriginalFirstThunk);
    for (; names->u1.AddressOfData != 0; names++, slots++) {
        if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
            continue;
        auto by_name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
        if (strcmp(reinterpret_cast<const char*>(by_name->Name), name) == 0)
            return &slots->u1.Function;
    }
    return nullptr;
}

void* patch_import(HMODULE module, const char* dll, const char* name, void* replacement) {
    auto base = reinterpret_cast<BYTE*>(module);
    IMAGE_IMPORT_DESCRIPTOR* descriptor = base != nullptr ? import_descriptors(base) : nullptr;
    for (; descriptor != nullptr && descriptor->Name != 0; descriptor++) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + descriptor->Name), dll) != 0)
            continue;
        ULONG_PTR* entry = find_entry(base, *descriptor, dll, name);
        if (entry == nullptr)
            continue;
        // The table may lie in a read-only section once the loader has filled it.
        DWORD protection;
        if (!VirtualProtect(entry, sizeof(*entry), PAGE_READWRITE, &protection))
            return nullptr;
        void* was = reinterpret_cast<void*>(*entry);
        *entry = reinterpret_cast<ULONG_PTR>(replacement);
        VirtualProtect(entry, sizeof(*entry), protection, &protection);
        return was;
    }
    return nullptr;
}

void windows_backend_start(const DisplayOptions& options) {
    look_up_system_calls();
    window_options = options;
    HMODULE program = GetModuleHandleA(nullptr);
    void* bit_blt =
        patch_import(program, "gdi32.dll", "BitBlt", reinterpret_cast<void*>(bit_blt_hook));
    void* create = patch_import(program, "user32.dll", "CreateWindowExA",
                                reinterpret_cast<void*>(create_window_hook));
    memcpy(&real_bit_blt, &bit_blt, sizeof(real_bit_blt));
    memcpy(&real_create_window, &create, sizeof(real_create_window));
    if (real_bit_blt == nullptr || real_create_window == nullptr)
        windows_say("the program does not import BitBlt and CreateWindowExA: its windows are shown "
                    "as it made them");
    // The backend's own block transfers (painting the last frame again) need the real one.
    if (real_bit_blt == nullptr)
        real_bit_blt = look_up<BitBltFunction>(GetModuleHandleA("gdi32.dll"), "BitBlt");
    pace_start();
}
