#include "support/import_hook.h"

#include <cstring>

namespace {

template <typename T>
T* At(HMODULE module, DWORD rva) {
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(module) + rva);
}

// Writes one pointer into the (normally read-only) table and restores its protection.
bool WriteSlot(void** slot, void* value) {
    DWORD oldProtection = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &oldProtection)) return false;
    *slot = value;
    DWORD ignored = 0;
    VirtualProtect(slot, sizeof *slot, oldProtection, &ignored);
    FlushInstructionCache(GetCurrentProcess(), slot, sizeof *slot);
    return true;
}

// Whether `address` still lies in `module`, mapped.
bool StillMapped(HMODULE module, const void* address) {
    HMODULE owner = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                  GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              static_cast<LPCWSTR>(address), &owner) &&
           owner == module;
}

}  // namespace

const IMAGE_NT_HEADERS* ImageHeaders(HMODULE module) {
    if (!module || At<IMAGE_DOS_HEADER>(module, 0)->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
    const auto* nt = At<IMAGE_NT_HEADERS>(module, At<IMAGE_DOS_HEADER>(module, 0)->e_lfanew);
    return nt->Signature == IMAGE_NT_SIGNATURE ? nt : nullptr;
}

void** FindImportSlot(HMODULE module, const char* importedDll, const char* function) {
    const IMAGE_NT_HEADERS* nt = ImageHeaders(module);
    if (!nt) return nullptr;
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return nullptr;

    for (auto* entry = At<IMAGE_IMPORT_DESCRIPTOR>(module, imports.VirtualAddress); entry->Name; ++entry) {
        if (lstrcmpiA(At<char>(module, entry->Name), importedDll) != 0) continue;
        // The lookup table names each import; the address table beside it is what calls go
        // through. Without a lookup table the names are gone once the loader has bound them.
        if (!entry->OriginalFirstThunk) return nullptr;
        auto* lookup = At<IMAGE_THUNK_DATA>(module, entry->OriginalFirstThunk);
        auto* addresses = At<IMAGE_THUNK_DATA>(module, entry->FirstThunk);
        for (; lookup->u1.AddressOfData; ++lookup, ++addresses) {
            if (IMAGE_SNAP_BY_ORDINAL(lookup->u1.Ordinal)) continue;  // by number: no name to match
            const auto* byName = At<IMAGE_IMPORT_BY_NAME>(module, lookup->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0) {
                return reinterpret_cast<void**>(&addresses->u1.Function);
            }
        }
    }
    return nullptr;
}

ImportHook::ImportHook(HMODULE module, const char* importedDll, const char* function,
                       const void* replacement)
    : module_(module), replacement_(const_cast<void*>(replacement)) {
    void** slot = FindImportSlot(module, importedDll, function);
    if (!slot) return;
    void* original = *slot;
    if (!WriteSlot(slot, replacement_)) return;
    slot_ = slot;
    original_ = original;
}

ImportHook::~ImportHook() {
    // After the module is unmapped its table is gone (or belongs to whatever is mapped there now).
    if (slot_ && StillMapped(module_, slot_) && *slot_ == replacement_) WriteSlot(slot_, original_);
}
