#include "scheduler/signal_due.h"

unsigned MillisecondsToNextMinute(unsigned second, unsigned milliseconds) {
    if (milliseconds >= 1000) milliseconds = 999;
    if (second == 60) return 1000 - milliseconds;  // the leap second's rest
    // A stray value: the boundary is at most this near. Aiming a whole minute on would skip
    // it, and a remainder below zero would wrap to a delay of weeks.
    if (second > 60) return 1;
    return 60000 - (second * 1000 + milliseconds);
}

unsigned DueWaitMs(const ClockReading& now, ClockMinute armedIn, CheckedMinute lastCheck,
                   unsigned budgetLeftMs) {
    if (armedIn.Shows(now)) {
        const unsigned toBoundary = MillisecondsToNextMinute(now.Second, now.Milliseconds);
        if (toBoundary <= budgetLeftMs) return toBoundary;
    }
    if (!lastCheck.Shows(now)) return 0;
    return budgetLeftMs < kDueWaitStepMs ? budgetLeftMs : kDueWaitStepMs;
}

bool IntervalEverSignals(std::uint32_t interval) {
    return interval != kIntervalNone && interval / 60 != 0;
}

bool IsMinuteOnInterval(unsigned minute, std::uint32_t interval) {
    if (!IntervalEverSignals(interval)) return false;
    return minute % (interval / 60) == 0;
}

int HourCountAt(unsigned hour, unsigned minute, bool twentyFourHour) {
    if (minute == 30) return 1;
    if (twentyFourHour) return hour == 0 ? 24 : static_cast<int>(hour);
    const unsigned onDial = hour % 12;
    return onDial == 0 ? 12 : static_cast<int>(onDial);
}
