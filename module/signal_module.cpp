#include "module/signal_module.h"

#include "dialog/setting_dialog.h"
#include "module/host_call_pins.h"

SignalModule* TheSignalModule = nullptr;

SignalModule::SignalModule(HINSTANCE instance)
    : SignalSettings(instance), ModuleInstance(instance), Timer(SignalTimerProc) {}

SignalModule::~SignalModule() {
    StopSignalTimer();
}

int SignalModule::ArmSignalTimer() {
    return ReleasePending() ? Timer.ArmLater(*this) : Timer.Arm(ParentWindow, *this);
}

void SignalModule::OnSignalTimer() {
    if (ReleasePending()) {
        Timer.FireLater();  // one queued before the hold began: no chime the host may not hear
    } else {
        Timer.OnFiring(ParentWindow, *this);
    }
}

void SignalModule::SetParentWindow(HWND window) {
    Timer.MoveTo(window);
    ParentWindow = window;
}

int SignalModule::Setting() {
    StopSignalTimer();
    settingOpen_ = true;
    const int result = RunSettingDialog(ModuleInstance, ParentWindow, *this);
    settingOpen_ = false;
    if (result != 0) {
        // A WM_QUIT that ended the loop, or a dialog that never opened, also returns
        // non-zero: only OK made the values the user's, and the save asks which they are.
        SaveAfterDialog();
        if (Enable != 0) {
            ArmSignalTimer();
        } else {
            StopSignalTimer();
        }
    }
    return result;
}
