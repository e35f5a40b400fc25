#pragma once
// When to chime, as plain arithmetic on local clock fields: no Windows headers, so the
// rules are tested natively and over whole simulated days.
#include <cstdint>

#include "settings/interval_none.h"

// Milliseconds from a clock reading at `second` to the next minute boundary.
unsigned SignalTimerDelayMs(unsigned second);

// Whether a minute can ever be due: "None" and intervals under one minute (a step of
// zero whole minutes, only possible from a hand-edited file) never signal.
bool IntervalSignals(std::uint32_t interval);

// Whether `minute` (0-59, counted from the full hour) is a signal minute for `interval` seconds.
bool IsSignalMinute(unsigned minute, std::uint32_t interval);

// How many times the hour-count mode plays at hour:minute. `twentyFourHour` selects the
// 24-hour clock (0 o'clock counts 24); otherwise 0 and 12 o'clock count 12. Half past plays once.
int HourCountAt(unsigned hour, unsigned minute, bool twentyFourHour);
