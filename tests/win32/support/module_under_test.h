#pragma once
// Loads the real Karvex.dll (from the test executable's folder, or the file that the
// environment variable KARVEX_TEST_MODULE names, or one the test names) as the host does, and
// resolves its exports by name.
#include <windows.h>

#include <cstddef>
#include <functional>
#include <vector>

#include "host/module_api.h"

using ModuleExports = ModuleApi;

// Full path of Karvex.dll beside the test executable, or of KARVEX_TEST_MODULE.
const char* ModulePath();

class ModuleUnderTest {
public:
    // LoadLibrary; check Loaded() (loaded, every export found) before use.
    explicit ModuleUnderTest(const char* path = ModulePath());
    ~ModuleUnderTest(); // FreeLibrary unless Unload() ran
    ModuleUnderTest(const ModuleUnderTest&) = delete;
    ModuleUnderTest& operator=(const ModuleUnderTest&) = delete;

    bool Loaded() const { return Handle != nullptr; }
    void Unload();

    HMODULE Handle = nullptr;
    ModuleExports Api{};
};

// The host has the system libraries the module imports loaded for good (a launcher with
// windows, dialogs and sound uses them all); each load then maps and unmaps the module
// alone. Without this every unload would also unload the libraries behind it, and Wine's
// own (its audio codec manager and print spooler among them) leave about 15 handles behind
// each time.
class PinnedImports {
public:
    explicit PinnedImports(HMODULE module);
    ~PinnedImports();
    PinnedImports(const PinnedImports&) = delete;
    PinnedImports& operator=(const PinnedImports&) = delete;
    std::size_t Count() const { return libraries_.size(); }

private:
    std::vector<HMODULE> libraries_;
};

// Whether Karvex.dll is mapped in this process.
bool ModuleMapped();

// Runs this thread's message loop, as the host's does, until `done` or the timeout; false
// on timeout.
bool PumpMessagesUntil(const std::function<bool()>& done, DWORD timeoutMs);
