#pragma once
// The one module object: the settings plus the host's window, the module's own instance,
// the pending timer and the time of the last due check. Created at DLL attach, destroyed at
// detach, reached by every export and the timer callback through TheSignalModule. Host
// window thread only.
#include <windows.h>

#include "scheduler/signal_due.h"
#include "settings/signal_settings.h"

class SignalModule : public SignalSettings {
public:
    explicit SignalModule(HINSTANCE instance);
    ~SignalModule();  // stops the timer; the settings level then saves

    // Records the host's window. A pending timer moves to it at once, armed for the same
    // boundary, when it is a window other than the timer's (a host may replace its window
    // and destroy the old one, and the timer would die with it); a handle that is no window
    // leaves the timer where it is.
    void SetParentWindow(HWND window);

    // Scheduler (scheduler/signal_timer.cpp).
    int ArmSignalTimer();   // 0 when Enable is 0; otherwise 1, whatever the system answered
    int StopSignalTimer();  // the system's result: non-zero if a pending timer was removed
    void OnSignalTimer();   // one firing: stop, check, play, re-arm
    // Waits (within 3 s) for the minute to evaluate: for the boundary when the firing came
    // before the one its timer was armed for in `armedIn`, or for the minute of the last check
    // to end. Records LastCheck and hands out the reading it evaluated.
    int IsSignalDue(ClockMinute armedIn, SYSTEMTIME* reading);

    HWND ParentWindow = nullptr;
    // The window the pending timer was set on, and the minute it was armed in (its boundary
    // ends that minute); null and no minute while no timer is pending.
    HWND TimerWindow = nullptr;
    ClockMinute ArmedIn;
    HINSTANCE ModuleInstance;
    SYSTEMTIME LastCheck{};

private:
    void MoveSignalTimer(HWND window);
};

// The single instance while the DLL is attached, else null.
extern SignalModule* TheSignalModule;
