#include "support/host_session.h"

#include <gtest/gtest.h>

#include <utility>

#include "support/recorded_system.h"

bool HostSession::Load(Imports imports, const char* path) {
    Module.reset();
    const char* missing = nullptr;
    if (imports == kReal) {
        Module = std::make_unique<ModuleUnderTest>(path);
    } else {
        auto hooked = std::make_unique<RecordedModule>(path);
        missing = hooked->Missing;
        Module = std::move(hooked);
    }
    if (!Module->Loaded()) {
        ADD_FAILURE() << path << " did not load";
    } else if (missing) {
        ADD_FAILURE() << missing << " is not in the import table";
    }
    ready_ = Module->Loaded() && !missing;
    return ready_;
}

int HostSession::Open(int portable) {
    EXPECT_NE(Window(), nullptr);
    EXPECT_EQ(Module->Api.SetParentWindow(Window()), 0);
    return Module->Api.InitialLoad(portable);
}

SettingRun HostSession::InDialog(const std::function<void(HWND)>& script) {
    if (!ready_) {
        ADD_FAILURE() << "the module did not load, or is not hooked";
        return {};
    }
    const SettingRun run = RunSettingDialogScript(Module->Api.Setting, script);
    EXPECT_TRUE(run.ScriptRan) << "the dialog never showed";
    EXPECT_FALSE(run.LeftOpen) << "the script did not end the dialog";
    return run;
}
