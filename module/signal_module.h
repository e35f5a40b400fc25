#pragma once
// The one module object: the settings plus the host's window, the module's own instance
// and the time of the last due check. Created at DLL attach, destroyed at detach, reached
// by every export and the timer callback through TheSignalModule. Host window thread only.
#include <windows.h>
#include "settings/signal_settings.h"

class SignalModule : public SignalSettings {
public:
    explicit SignalModule(HINSTANCE instance);
    ~SignalModule();  // stops the timer; the settings level then saves

    // Scheduler (scheduler/signal_timer.cpp).
    int ArmSignalTimer();   // 0 when Enable is 0; otherwise 1, whatever the system answered
    int StopSignalTimer();  // the system's result: non-zero if a pending timer was removed
    void OnSignalTimer();   // one firing: stop, check, play, re-arm
    int IsSignalDue();      // waits up to 3 s for the minute to change, records LastCheck

    HWND ParentWindow = nullptr;
    // The window the pending timer was set on. The host may replace ParentWindow while the
    // timer is armed; every stop must still reach the timer where it is.
    HWND TimerWindow = nullptr;
    HINSTANCE ModuleInstance;
    SYSTEMTIME LastCheck{};
};

// The single instance while the DLL is attached, else null.
extern SignalModule* TheSignalModule;
