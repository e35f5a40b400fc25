#pragma once
// The one window timer that wakes the module at every minute boundary, the due check, and
// the playback a firing starts. The module object holds one SignalTimer and forwards its
// scheduling calls to it. Runs on the host's window thread.
#include <windows.h>

#include "scheduler/signal_due.h"

class SignalSettings;

constexpr UINT_PTR SIGNAL_TIMER_ID = 5000;

class SignalTimer {
public:
    // `callback` is what SetTimer is handed: the module's entry point for a firing, which
    // calls OnFiring.
    explicit SignalTimer(TIMERPROC callback);

    // Arms the timer on `window` for the next minute boundary: 0 when `settings` say Enable
    // is 0; otherwise 1, whatever the system answered (and nothing set without a window).
    int Arm(HWND window, const SignalSettings& settings);
    // Removes the pending timer from the window it was set on (else from `parentWindow`):
    // the system's result, non-zero if a timer was pending.
    int Stop(HWND parentWindow);
    // Moves a pending timer to `window`, armed for the same boundary, when that is a window
    // other than the timer's; otherwise leaves it where it is.
    void MoveTo(HWND window);
    // One firing: stop, check, play, re-arm on `parentWindow`.
    void OnFiring(HWND parentWindow, const SignalSettings& settings);
    // Waits (within 3 s) for the minute to evaluate: for the boundary when the firing came
    // before the one its timer was armed for in `armedIn`, or for the minute of the last
    // check to end. Records LastCheck, hands out the reading it evaluated, and returns 1 when
    // that minute is a signal minute for `interval`. "None" returns 0 at once.
    int IsSignalDue(DWORD interval, ClockMinute armedIn, SYSTEMTIME* reading);

    // The window the pending timer was set on, and the minute it was armed in (its boundary
    // ends that minute); null and no minute while none is pending.
    HWND Window = nullptr;
    ClockMinute ArmedIn;
    // Hour, minute and second of the last due check; 0xFFFF in all three, which no clock
    // reading has, until the first.
    SYSTEMTIME LastCheck{};

private:
    TIMERPROC callback_;
};

// Starts an asynchronous play of `name` and returns at once.
void PlayOnce(const char* name);
