// One chime, top to bottom: the timer fires at a minute boundary, the due check decides,
// the sound starts, and the timer is armed for the next boundary.
#include "scheduler/signal_timer.h"

#include <mmsystem.h>
#include <cstring>

#include "module/signal_module.h"
#include "scheduler/hour_count.h"
#include "scheduler/platform.h"
#include "scheduler/signal_due.h"

namespace {

constexpr int kDueReadings = 30;  // at most 30 readings, within kDueWaitBudgetMs

ClockReading ReadingOf(const SYSTEMTIME& time) {
    return {time.wHour, time.wMinute, time.wSecond, time.wMilliseconds};
}

void SetSignalTimer(HWND window, UINT delay) {
    platform::SetTimer(window, SIGNAL_TIMER_ID, delay, SignalTimerProc);
}

}  // namespace

void PlayOnce(const char* name) {
    platform::PlaySound(name, SND_ASYNC);
}

int SignalModule::ArmSignalTimer() {
    if (Enable == 0) return 0;
    // Without a window the system would choose the timer's id: the callback would ignore
    // it, StopSignalTimer could not remove it, and it would fire into unloaded code.
    if (!ParentWindow) return 1;
    // A timer still pending on a window the host has since replaced would be out of reach.
    if (TimerWindow && TimerWindow != ParentWindow) StopSignalTimer();
    SYSTEMTIME now;
    platform::GetLocalTime(&now);
    SetSignalTimer(ParentWindow, MillisecondsToNextMinute(now.wSecond, now.wMilliseconds));
    TimerWindow = ParentWindow;
    ArmedIn = {now.wHour, now.wMinute};
    return 1;
}

int SignalModule::StopSignalTimer() {
    const HWND window = TimerWindow ? TimerWindow : ParentWindow;
    TimerWindow = nullptr;
    ArmedIn = ClockMinute{};
    return platform::KillTimer(window, SIGNAL_TIMER_ID);
}

void SignalModule::MoveSignalTimer(HWND window) {
    if (!TimerWindow || window == TimerWindow || !IsWindow(window)) return;
    const ClockMinute armedIn = ArmedIn;
    platform::KillTimer(TimerWindow, SIGNAL_TIMER_ID);
    SYSTEMTIME now;
    platform::GetLocalTime(&now);
    // The same boundary as before; one already passed is due at once.
    const ClockReading reading = ReadingOf(now);
    SetSignalTimer(window, armedIn.Shows(reading)
                               ? MillisecondsToNextMinute(reading.Second, reading.Milliseconds)
                               : USER_TIMER_MINIMUM);
    TimerWindow = window;
}

void SignalModule::OnSignalTimer() {
    const ClockMinute armedIn = ArmedIn;
    StopSignalTimer();
    SYSTEMTIME reading;
    if (IsSignalDue(armedIn, &reading)) {
        char name[kPathBytes];
        std::memcpy(name, WaveName, sizeof name);
        name[kPathBytes - 1] = '\0';
        if (name[0] != '\0') {
            if (SignalType != 0) {
                PlayHourCount(name, TimeType != 0, reading.wHour, reading.wMinute);
            } else {
                PlayOnce(name);
            }
        }
    }
    ArmSignalTimer();
}

int SignalModule::IsSignalDue(ClockMinute armedIn, SYSTEMTIME* reading) {
    // "None", and an interval under a minute (a step of zero whole minutes), never signal.
    if (!IntervalEverSignals(Interval)) return 0;

    // A firing can come before its boundary, or twice in one minute: wait for the minute.
    SYSTEMTIME now;
    unsigned budgetLeft = kDueWaitBudgetMs;
    for (int count = 0; count < kDueReadings; ++count) {
        platform::GetLocalTime(&now);
        const unsigned wait = DueWaitMs(ReadingOf(now), armedIn, LastCheck.wMinute, budgetLeft);
        if (wait == 0) break;
        platform::Sleep(wait);
        budgetLeft -= wait;
    }
    LastCheck.wHour = now.wHour;
    LastCheck.wMinute = now.wMinute;
    LastCheck.wSecond = now.wSecond;
    *reading = now;
    return IsSignalMinute(now.wMinute, Interval) ? 1 : 0;
}
