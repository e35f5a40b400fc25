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

constexpr int kDueReadings = 30;       // up to 30 readings ...
constexpr DWORD kDueSleepMs = 100;     // ... 100 ms apart: the host thread waits at most 3 s

}  // namespace

void CALLBACK SignalTimerProc(HWND, UINT, UINT_PTR id, DWORD) {
    if (id == SIGNAL_TIMER_ID && TheSignalModule) TheSignalModule->OnSignalTimer();
}

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
    platform::SetTimer(ParentWindow, SIGNAL_TIMER_ID,
                       SignalTimerDelayMs(now.wSecond, now.wMilliseconds), SignalTimerProc);
    TimerWindow = ParentWindow;
    return 1;
}

int SignalModule::StopSignalTimer() {
    const HWND window = TimerWindow ? TimerWindow : ParentWindow;
    TimerWindow = nullptr;
    return platform::KillTimer(window, SIGNAL_TIMER_ID);
}

void SignalModule::OnSignalTimer() {
    StopSignalTimer();
    if (IsSignalDue()) {
        char name[kPathBytes];
        std::memcpy(name, WaveName, sizeof name);
        name[kPathBytes - 1] = '\0';
        if (name[0] != '\0') {
            if (SignalType != 0) {
                PlayHourCount(name, TimeType != 0);
            } else {
                PlayOnce(name);
            }
        }
    }
    ArmSignalTimer();
}

int SignalModule::IsSignalDue() {
    // "None", and an interval under a minute (a step of zero whole minutes), never signal.
    if (!IntervalSignals(Interval)) return 0;

    // A firing can come a little before the boundary: wait for the minute to change.
    SYSTEMTIME now;
    for (int reading = 0; reading < kDueReadings; ++reading) {
        platform::GetLocalTime(&now);
        if (now.wMinute != LastCheck.wMinute) break;
        platform::Sleep(kDueSleepMs);
    }
    LastCheck.wHour = now.wHour;
    LastCheck.wMinute = now.wMinute;
    LastCheck.wSecond = now.wSecond;
    return IsSignalMinute(now.wMinute, Interval) ? 1 : 0;
}
