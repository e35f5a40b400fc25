#include "scheduler/signal_due.h"

unsigned SignalTimerDelayMs(unsigned second) {
    return (60 - second % 60) * 1000;
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
