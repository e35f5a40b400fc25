#pragma once
// Loads the real Karvex.dll (from the test executable's folder) as the host does, and
// resolves its exports by name.
#include <windows.h>

struct ModuleExports {
    int(WINAPI* QueryVekModule)();
    int(WINAPI* SetParentWindow)(HWND);
    int(WINAPI* IsModuleEnable)();
    int(WINAPI* GetTitleName)(char*);
    int(WINAPI* Setting)();
    int(WINAPI* StartModule)();
    int(WINAPI* StopModule)();
    int(WINAPI* SetPortableMode)(int);
    int(WINAPI* ChangePortableMode)(int);
    int(WINAPI* InitialLoad)(int);
};

class ModuleUnderTest {
public:
    ModuleUnderTest();  // LoadLibrary; check Loaded() before use
    ~ModuleUnderTest(); // FreeLibrary unless Unload() ran
    ModuleUnderTest(const ModuleUnderTest&) = delete;
    ModuleUnderTest& operator=(const ModuleUnderTest&) = delete;

    bool Loaded() const { return Handle != nullptr; }
    void Unload();

    HMODULE Handle = nullptr;
    ModuleExports Api{};
};

// Full path of Karvex.dll beside the test executable.
const char* ModulePath();
