#include "win32/system_library.h"

#include <cstdio>

#include "win32/path_size.h"

static_assert(kPathBytes == MAX_PATH, "path buffers are the ANSI functions' MAX_PATH");

namespace {

HMODULE LoadFromSystemFolder(const char* fileName) {
    const HMODULE module = LoadLibraryExA(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Windows without the update that added the flag rejects it: name the file in the
    // system folder instead, and let its own imports be looked for there first.
    if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    char folder[kPathBytes];
    const UINT length = GetSystemDirectoryA(folder, kPathBytes);
    if (length == 0 || length >= kPathBytes) return nullptr;
    char path[kPathBytes];
    const int written = std::snprintf(path, sizeof path, "%s\\%s", folder, fileName);
    if (written < 0 || written >= kPathBytes) return nullptr;  // a cut path names another file
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

bool SystemLibrary::Load() {
    if (!module_) module_ = LoadFromSystemFolder(fileName_);
    return module_ != nullptr;
}

FARPROC SystemLibrary::FindProc(const char* name) {
    return Load() ? GetProcAddress(module_, name) : nullptr;
}

SystemLibrary TheHelpLibrary("hhctrl.ocx");
SystemLibrary TheChooserLibrary("comdlg32.dll");
SystemLibrary TheShellFolderLibrary("shfolder.dll");
SystemLibrary TheRegistryHelperLibrary("shlwapi.dll");
