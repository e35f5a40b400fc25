#pragma once
// The host's side of a session with the real module, as the DLL tests play it: a hidden window
// of this thread, the module loaded from a file with its system calls recorded
// (support/recorded_system.h) or not, the calls a host makes first and the settings dialog
// opened through Setting. The module is unloaded before the window goes.
#include <windows.h>

#include <functional>
#include <memory>

#include "support/module_under_test.h"
#include "support/setting_dialog_driver.h"

class HostSession {
public:
    enum Imports { kRecorded, kReal };

    HostSession() = default;
    ~HostSession() { Module.reset(); }
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    // Loads the module afresh (an earlier one is unloaded first, its detach saving); false,
    // with a test failure saying why, when it did not load or an import was not recorded.
    bool Load(Imports imports = kRecorded, const char* path = ModulePath());
    // SetParentWindow with the session's window (0, as for every host), then InitialLoad;
    // InitialLoad's answer.
    int Open(int portable);
    // Opens the settings dialog and runs `script` in it, which must end it.
    SettingRun InDialog(const std::function<void(HWND)>& script);

    HWND Window() const { return window_.Handle(); }
    const ModuleExports& Api() const { return Module->Api; }

    std::unique_ptr<ModuleUnderTest> Module;  // a RecordedModule for kRecorded

private:
    HostWindow window_;
    bool ready_ = false;
};
