#include "scheduler/signal_due.h"

unsigned SignalTimerDelayMs(unsigned second, unsigned milliseconds) {
    // A field past its range (a leap second's 60, a stray value) counts as the minute's last
    // millisecond, for the boundary is at most that near: aiming a whole minute on would skip
    // it, and a remainder below zero would wrap to a delay of weeks.
    if (second >= 60) {
        second = 59;
        milliseconds = 999;
    }
    if (milliseconds >= 1000) milliseconds = 999;
    return 60000 - (second * 1000 + milliseconds) + kTimerPastBoundaryMs;
}

bool IntervalSignals(std::uint32_t interval) {
    return interval != kIntervalNone && interval / 60 != 0;
}

bool IsSignalMinute(unsigned minute, std::uint32_t interval) {
    if (!IntervalSignals(interval)) return false;
    return minute % (interval / 60) == 0;
}

int HourCountAt(unsigned hour, unsigned minute, bool twentyFourHour) {
    if (minute == 30) return 1;
    if (twentyFourHour) return hour == 0 ? 24 : static_cast<int>(hour);
    const unsigned onDial = hour % 12;
    return onDial == 0 ? 12 : static_cast<int>(onDial);
}
