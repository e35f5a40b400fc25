// One chime, top to bottom: the timer fires at a minute boundary, the due check decides,
// the sound starts, and the timer is armed for the next boundary.
#include "scheduler/signal_timer.h"

#include <mmsystem.h>
#include <cstring>

#include "scheduler/hour_count.h"
#include "settings/signal_settings.h"
#include "win32/platform.h"

namespace {

constexpr int kDueReadings = 30;  // at most 30 readings, within kDueWaitBudgetMs

ClockReading ReadingOf(const SYSTEMTIME& time) {
    return {time.wDay, time.wHour, time.wMinute, time.wSecond, time.wMilliseconds};
}

// Whether `window` is a window of the calling thread, the only one SetTimer is documented to
// accept. The system's own check is not to be relied on (Wine, for one, sets the timer on
// any window of the process and has the window's thread run it), and a handle the host handed
// over may since name another thread's window: its value is reused once that is destroyed.
// Null and a destroyed handle belong to no thread.
bool IsCallingThreadsWindow(HWND window) {
    return window && GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}

}  // namespace

SignalTimer::SignalTimer(TIMERPROC callback) : callback_(callback) {
    LastCheck.wDay = LastCheck.wHour = LastCheck.wMinute = LastCheck.wSecond = kNoMinute;
}

void PlayOnce(const char* name) {
    platform::PlaySound(name, SND_ASYNC);
}

int SignalTimer::Arm(HWND window, const SignalSettings& settings) {
    if (settings.Enable == 0) return 0;
    // Without a window the system would choose the timer's id: the callback would ignore
    // it, Stop could not remove it, and it would fire into unloaded code.
    if (!window) return 1;
    SYSTEMTIME now;
    platform::GetLocalTime(&now);
    const UINT delay = MillisecondsToNextMinute(now.wSecond, now.wMilliseconds);
    if (SetOnEither(window, delay)) ArmedIn = {now.wHour, now.wMinute};
    return 1;
}

bool SignalTimer::SetOnEither(HWND window, UINT delay) {
    return SetOn(window, delay) || (lastHolder_ != window && SetOn(lastHolder_, delay));
}

int SignalTimer::ArmLater(const SignalSettings& settings) {
    if (settings.Enable == 0) return 0;
    Stop();
    SYSTEMTIME now;
    platform::GetLocalTime(&now);
    Note({now.wHour, now.wMinute}, MillisecondsToNextMinute(now.wSecond, now.wMilliseconds));
    return 1;
}

void SignalTimer::FireLater() {
    // Nothing is pending while the timer is held: this firing's timer was killed before.
    Note(ArmedIn, 0);
}

void SignalTimer::Note(ClockMinute armedIn, UINT delay) {
    noted_ = true;
    notedIn_ = armedIn;
    notedAtTick_ = platform::GetTickCount();
    notedDelay_ = delay;
}

void SignalTimer::Resume(HWND window, const SignalSettings& settings) {
    if (!noted_) return;
    noted_ = false;
    // Switched off meanwhile (a late firing noted after OK switched the module off).
    if (settings.Enable == 0) return;
    // Counted on the tick count, as a move is: the boundary noted, not the next one now (an
    // OK just before a boundary still chimes it, a tick late).
    const DWORD elapsed = platform::GetTickCount() - notedAtTick_;
    if (SetOnEither(window, elapsed < notedDelay_ ? notedDelay_ - elapsed : USER_TIMER_MINIMUM)) {
        ArmedIn = notedIn_;
    }
}

bool SignalTimer::SetOn(HWND window, UINT delay) {
    // Another thread's window would run every firing on that thread, against the module's
    // unlocked state.
    if (!IsCallingThreadsWindow(window)) return false;
    const DWORD tick = platform::GetTickCount();
    if (!platform::SetTimer(window, SIGNAL_TIMER_ID, delay, callback_)) return false;
    // A timer still pending on a window the host has since replaced would be out of reach.
    if (Window && Window != window) platform::KillTimer(Window, SIGNAL_TIMER_ID);
    Window = lastHolder_ = window;
    setAtTick_ = tick;
    delay_ = delay;
    return true;
}

int SignalTimer::Stop() {
    const int held = noted_ ? 1 : 0;  // a held timer counts as pending
    noted_ = false;
    const HWND window = Window;
    Window = nullptr;
    ArmedIn = ClockMinute{};
    // Nothing pending: no timer of the module's to remove. A KillTimer on the host's window
    // anyway could remove a timer 5000 of the host's own (another thread's, if the window is
    // that thread's), and KillTimer(null, id) a window-less one whose id the system chose.
    if (!window) return held;
    return platform::KillTimer(window, SIGNAL_TIMER_ID) | held;
}

void SignalTimer::MoveTo(HWND window) {
    if (!Window || window == Window) return;
    // The same boundary as before; a timer already due fires at once.
    const DWORD elapsed = platform::GetTickCount() - setAtTick_;
    SetOn(window, elapsed < delay_ ? delay_ - elapsed : USER_TIMER_MINIMUM);
}

void SignalTimer::OnFiring(HWND parentWindow, const SignalSettings& settings) {
    const ClockMinute armedIn = ArmedIn;
    Stop();
    SYSTEMTIME reading;
    if (IsSignalDue(settings.Interval, armedIn, &reading)) {
        char name[kPathBytes];
        std::memcpy(name, settings.WaveName, sizeof name);
        name[kPathMaxLength] = '\0';
        if (name[0] != '\0') {
            if (settings.SignalType != 0) {
                PlayHourCount(name, settings.TimeType != 0, reading.wHour, reading.wMinute);
            } else {
                PlayOnce(name);
            }
        }
    }
    Arm(parentWindow, settings);
}

int SignalTimer::IsSignalDue(DWORD interval, ClockMinute armedIn, SYSTEMTIME* reading) {
    // "None", and an interval under a minute (a step of zero whole minutes), never signal.
    if (!IntervalEverSignals(interval)) return 0;

    // A firing can come before its boundary, or twice in one minute: wait for the minute.
    const CheckedMinute lastCheck{LastCheck.wDay, LastCheck.wHour, LastCheck.wMinute};
    SYSTEMTIME now;
    unsigned budgetLeft = kDueWaitBudgetMs;
    for (int count = 0; count < kDueReadings; ++count) {
        platform::GetLocalTime(&now);
        const unsigned wait = DueWaitMs(ReadingOf(now), armedIn, lastCheck, budgetLeft);
        if (wait == 0) break;
        platform::Sleep(wait);
        budgetLeft -= wait;
    }
    LastCheck.wDay = now.wDay;
    LastCheck.wHour = now.wHour;
    LastCheck.wMinute = now.wMinute;
    LastCheck.wSecond = now.wSecond;
    *reading = now;
    return IsMinuteOnInterval(now.wMinute, interval) ? 1 : 0;
}
