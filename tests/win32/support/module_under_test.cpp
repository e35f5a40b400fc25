#include "support/module_under_test.h"

#include <algorithm>

#include "support/import_hook.h"
#include "support/settings_files.h"

const char* ModulePath() {
    static char path[MAX_PATH];
    if (path[0] == '\0') {
        // Another build of the module (the clang one) is run through the same tests.
        const DWORD length = GetEnvironmentVariableA("KARVEX_TEST_MODULE", path, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            std::replace(path, path + length, '/', '\\');
            return path;
        }
        lstrcpynA(path, (ExecutableFolder() + "Karvex.dll").c_str(), MAX_PATH);
    }
    return path;
}

// By the wide name, which may be longer than an ANSI path (MAX_PATH) can be.
ModuleUnderTest::ModuleUnderTest(const char* path) : Handle(LoadLibraryW(Widen(path).c_str())) {
    if (Handle && !ResolveExports(Handle, Api).empty()) Unload();
}

ModuleUnderTest::~ModuleUnderTest() {
    Unload();
}

void ModuleUnderTest::Unload() {
    if (Handle) FreeLibrary(Handle);
    Handle = nullptr;
    Api = ModuleExports{};
}

PinnedImports::PinnedImports(HMODULE module) {
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const IMAGE_DATA_DIRECTORY& imports =
        ImageHeaders(module)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         imports.VirtualAddress && entry->Name; ++entry) {
        if (HMODULE pinned = LoadLibraryA(reinterpret_cast<const char*>(base + entry->Name))) {
            libraries_.push_back(pinned);
        }
    }
}

PinnedImports::~PinnedImports() {
    for (HMODULE library : libraries_) FreeLibrary(library);
}

bool ModuleMapped() {
    return GetModuleHandleA("Karvex.dll") != nullptr;
}

bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (done()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}
