#pragma once
// A system library that the module loads on first use instead of importing it, so that
// loading the module maps none of what it brings in: the file chooser's and the help
// library (only the settings dialog needs them), the shell's folder library (only the
// application-data settings path needs it, which brings in the whole shell) and the
// registry helpers (only the one-time legacy import needs them). Loaded from the system
// folder only, and then kept for the rest of the process: a help window may outlive the
// dialog and the module, so none is ever freed, not even at detach. Loaded on the host's
// window thread; once loaded, any thread may look up its functions.
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

    // Loads the library now, so that a later Find never has to (the loader's lock forbids
    // loading from DllMain). False when it cannot be loaded.
    bool Load();

private:
    FARPROC FindProc(const char* name);

    const char* fileName_;
    HMODULE module_ = nullptr;
};

// The libraries the module loads on first use, one object each for the whole module (built
// before any code runs: the constructor is constexpr).
extern SystemLibrary TheHelpLibrary;            // hhctrl.ocx: HtmlHelpA by ordinal
extern SystemLibrary TheChooserLibrary;         // comdlg32.dll: GetOpenFileNameA, CommDlgExtendedError
extern SystemLibrary TheShellFolderLibrary;     // shfolder.dll: SHGetFolderPathA
extern SystemLibrary TheRegistryHelperLibrary;  // shlwapi.dll: SHDeleteKeyA
