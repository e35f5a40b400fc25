#include "module/signal_module.h"

#include "dialog/setting_dialog.h"
#include "module/host_call_pins.h"

SignalModule* TheSignalModule = nullptr;

SignalModule::SignalModule(HINSTANCE instance)
    : SignalSettings(instance), ModuleInstance(instance), Timer(SignalTimerProc) {}

SignalModule::~SignalModule() {
    StopSignalTimer();
}

void SignalModule::SetParentWindow(HWND window) {
    Timer.MoveTo(window);
    ParentWindow = window;
}

int SignalModule::Setting() {
    StopSignalTimer();
    const int result = RunSettingDialog(ModuleInstance, ParentWindow, *this);
    if (result != 0) {
        // Only OK makes the values the user's. A WM_QUIT that ended the loop, or a dialog
        // that never opened, also returns non-zero: the save is then guarded like the
        // unload's, so it never writes defaults over a file that could not be read.
        if (MayBeSaved) SaveToIni();
        if (Enable != 0) {
            ArmSignalTimer();
        } else {
            StopSignalTimer();
        }
    }
    return result;
}
