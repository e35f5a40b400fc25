#pragma once
// Redirects one entry of a loaded module's import address table to a function of the test,
// the way API monitors and compatibility shims do, and puts the original back when
// destroyed (unless the module has been unmapped meanwhile). A call the hook sees is a call
// the module made through its import table.
#include <windows.h>

class ImportHook {
public:
    ImportHook(HMODULE module, const char* importedDll, const char* function, const void* replacement);
    ~ImportHook();
    ImportHook(const ImportHook&) = delete;
    ImportHook& operator=(const ImportHook&) = delete;

    bool Installed() const { return slot_ != nullptr; }
    // What the table held before: the system's own function, to forward to.
    template <typename F>
    F Original() const {
        return reinterpret_cast<F>(original_);
    }

private:
    HMODULE module_;
    void** slot_ = nullptr;
    void* original_ = nullptr;
    void* replacement_;
};

// A hook function, as ImportHook's `replacement`.
template <typename F>
const void* HookAddress(F* function) {
    return reinterpret_cast<const void*>(function);
}

// The module's PE headers, or null when `module` is none.
const IMAGE_NT_HEADERS* ImageHeaders(HMODULE module);

// The import table slot through which `module` calls `function` of `importedDll` (matched
// regardless of case) by name, or null when the module does not import it so.
void** FindImportSlot(HMODULE module, const char* importedDll, const char* function);
