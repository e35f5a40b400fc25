#include "dialog/system_library.h"

#include "dialog/help_paths.h"

namespace {

HMODULE LoadFromSystemFolder(const char* fileName) {
    const HMODULE module = LoadLibraryExA(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Windows without the update that added the flag rejects it: name the file in the
    // system folder instead, and let its own imports be looked for there first.
    if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    char folder[MAX_PATH];
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    char path[MAX_PATH];
    if (length == 0 || length >= MAX_PATH ||
        !FormatSystemLibraryPath(folder, fileName, path, MAX_PATH)) {
        return nullptr;
    }
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

FARPROC SystemLibrary::FindProc(const char* name) {
    if (!module_) module_ = LoadFromSystemFolder(fileName_);
    return module_ ? GetProcAddress(module_, name) : nullptr;
}
