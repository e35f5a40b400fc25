#pragma once
// The host's side of a session with the real module, as the DLL tests play it: a hidden window
// of this thread, the module loaded from a file with its system calls recorded
// (support/recorded_system.h) or not, the calls a host makes first and the settings dialog
// opened through Setting. The module is unloaded before the window goes.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <utility>

#include "support/module_under_test.h"
#include "support/recorded_system.h"
#include "support/setting_dialog_driver.h"

class HostSession {
public:
    enum Imports { kRecorded, kReal };
    ~HostSession() { Module.reset(); }

    // Loads the module afresh (an earlier one is unloaded first, its detach saving); false,
    // with a test failure saying why, when it did not load or an import was not recorded.
    bool Load(Imports imports = kRecorded, const char* path = ModulePath()) {
        Module.reset();
        auto hooked = imports == kRecorded ? std::make_unique<RecordedModule>(path) : nullptr;
        const char* missing = hooked ? hooked->Missing : nullptr;
        Module = hooked ? std::unique_ptr<ModuleUnderTest>(std::move(hooked)) : std::make_unique<ModuleUnderTest>(path);
        if (!Module->Loaded()) ADD_FAILURE() << path << " did not load";
        else if (missing) ADD_FAILURE() << missing << " is not in the import table";
        return Module->Loaded() && !missing;
    }
    // SetParentWindow with the session's window (0, as for every host), then InitialLoad;
    // InitialLoad's answer.
    int Open(int portable) {
        EXPECT_NE(Window(), nullptr);
        EXPECT_EQ(Module->Api.SetParentWindow(Window()), 0);
        return Module->Api.InitialLoad(portable);
    }
    // Opens the settings dialog and runs `script` in it, which must end it.
    SettingRun InDialog(const std::function<void(HWND)>& script) {
        EXPECT_TRUE(Module && Module->Loaded()) << "the module did not load";
        if (!Module || !Module->Loaded()) return {};
        const SettingRun run = RunSettingDialogScript(Module->Api.Setting, script);
        EXPECT_TRUE(run.ScriptRan) << "the dialog never showed";
        EXPECT_FALSE(run.LeftOpen) << "the script did not end the dialog";
        return run;
    }

    HWND Window() const { return window_.Handle(); }
    const ModuleExports& Api() const { return Module->Api; }

    std::unique_ptr<ModuleUnderTest> Module;  // a RecordedModule for kRecorded

private:
    HostWindow window_;
};
