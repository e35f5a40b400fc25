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
    // is 0; otherwise 1, whatever the system answered (and nothing set without a window). A
    // window that refuses the timer would end the chain: it is then set again on the window
    // that last held it, while that is a window of the calling thread. Every window but the
    // calling thread's refuses: the module asks before each SetTimer, for Windows documents
    // only the rule and Wine does not enforce it (a handle value that another thread's window
    // reuses included).
    int Arm(HWND window, const SignalSettings& settings);
    // Removes the pending timer from the window it was set on: the system's result, non-zero
    // if a timer was pending (or held: ArmLater); 0, and nothing called, when none is.
    int Stop();
    // Moves a pending timer to `window`, when that is a window other than the timer's, with
    // the time it had left (counted on the tick count, so that a clock set meanwhile changes
    // nothing about when it fires). The old timer goes only once the new one is set: a
    // window that refuses it (any but the calling thread's) leaves it where it is.
    void MoveTo(HWND window);
    // One firing: stop, check, play, re-arm on `parentWindow`.
    void OnFiring(HWND parentWindow, const SignalSettings& settings);

    // While the module holds the timer back (a reference of its own is out, which the host's
    // last FreeLibrary cannot reach: module/host_call_pins.h), arming only notes the boundary
    // that is next now: 0 when `settings` say Enable is 0, else 1, a pending timer removed
    // either way. Stop drops the note; Resume sets it.
    int ArmLater(const SignalSettings& settings);
    // A firing that comes while the timer is held: it comes again as soon as it is resumed.
    void FireLater();
    // Sets the noted timer on `window` (or, refused there, the window that last held it) for
    // the time it had left, at once when its boundary has passed. Nothing when none is noted,
    // and the note dropped when `settings` say Enable is 0 by now.
    void Resume(HWND window, const SignalSettings& settings);
    // Waits (within 3 s) for the minute to evaluate: for the boundary when the firing came
    // less than that before the one its timer was armed for in `armedIn`, else while the
    // clock shows the day, hour and minute of the last check (DueWaitMs). Records LastCheck,
    // hands out the reading it evaluated, and returns 1 when that minute is a signal minute
    // for `interval`. "None" returns 0 at once.
    int IsSignalDue(DWORD interval, ClockMinute armedIn, SYSTEMTIME* reading);

    // The window the pending timer was set on, and the minute it was armed in (its boundary
    // ends that minute); null and no minute while none is pending.
    HWND Window = nullptr;
    ClockMinute ArmedIn;
    // Day, hour, minute and second of the last due check; 0xFFFF in all four, which no
    // clock reading has, until the first.
    SYSTEMTIME LastCheck{};

private:
    // Sets the timer on `window` for `delay` ms, then removes one pending elsewhere; false,
    // and nothing changed, when the window refuses it or is not the calling thread's.
    bool SetOn(HWND window, UINT delay);

    // Sets the timer for `delay` on `window` or its last holder; false when both refuse.
    bool SetOnEither(HWND window, UINT delay);
    void Note(ClockMinute armedIn, UINT delay);

    TIMERPROC callback_;
    bool noted_ = false;  // a timer noted by ArmLater or FireLater, not set
    ClockMinute notedIn_;
    DWORD notedAtTick_ = 0;
    UINT notedDelay_ = 0;
    HWND lastHolder_ = nullptr;  // the window the timer was last set on, kept by a stop
    DWORD setAtTick_ = 0;        // when the pending timer was set, and its delay
    UINT delay_ = 0;
};

// Starts an asynchronous play of `name` and returns at once.
void PlayOnce(const char* name);
