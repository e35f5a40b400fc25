#pragma once
// The one module object: the settings plus the host's window, the module's own instance and
// the signal timer. Created at DLL attach, destroyed at detach, reached by every export and
// the timer callback through TheSignalModule. Host window thread only.
#include <windows.h>

#include "scheduler/signal_timer.h"
#include "settings/signal_settings.h"

class SignalModule : public SignalSettings {
public:
    explicit SignalModule(HINSTANCE instance);
    ~SignalModule();  // stops the timer; the settings level then saves

    // Records the host's window. A pending timer moves to it at once, with the time it had
    // left, when it is a window other than the timer's that accepts it (a host may replace
    // its window and destroy the old one, and the timer would die with it); a handle that is
    // no window, or a window that refuses the timer, leaves the timer where it is.
    void SetParentWindow(HWND window);

    // Arms the timer; while a reference of the module's own is out (module/host_call_pins.h)
    // only notes it, for the release to set.
    int ArmSignalTimer();
    int StopSignalTimer() { return Timer.Stop(); }
    // A firing; while a reference is out it only comes again once that is back.
    void OnSignalTimer();
    // Sets a noted timer, on the host's thread just before the last reference out goes back.
    void ResumeSignalTimer() { Timer.Resume(ParentWindow, *this); }

    // The Setting export: stops the timer and runs the settings dialog. After a non-zero
    // result (OK, or a dialog that could not open) saves the values if they are the user's
    // (SaveAfterDialog), and re-arms (under the Setting export: notes) or stops the timer as
    // Enable says; after 0 the timer stays stopped until StartModule. Returns the dialog's
    // result.
    int Setting();
    // While the dialog runs: the Setting export then answers 0 without calling Setting (the
    // host's window procedure runs inside the dialog's loop, and a second dialog would leave
    // the first one's OK unheard).
    bool IsSettingOpen() const { return settingOpen_; }

    HWND ParentWindow = nullptr;
    HINSTANCE ModuleInstance;
    SignalTimer Timer;  // the pending timer and the last due check

private:
    bool settingOpen_ = false;
};

// The single instance while the DLL is attached, else null.
extern SignalModule* TheSignalModule;
