#pragma once
// A system library that the module loads on first use instead of importing it: the file
// chooser's and the help library each bring in many more, and only the settings dialog
// needs them. Loaded from the system folder only, and then kept for the rest of the
// process: a help window may outlive the dialog and the module, so it is never freed, not
// even at detach. Host window thread only.
#include <windows.h>

class SystemLibrary {
public:
    explicit constexpr SystemLibrary(const char* fileName) : fileName_(fileName) {}

    // The library's function `name` (or MAKEINTRESOURCEA(ordinal)) as F, the library loaded
    // at the first call; null when it cannot be loaded or lacks the function. A library that
    // could not be loaded is tried again at the next call.
    template <typename F>
    F Find(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(FindProc(name)));
    }

private:
    FARPROC FindProc(const char* name);

    const char* fileName_;
    HMODULE module_ = nullptr;
};
