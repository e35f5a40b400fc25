#pragma once
// When to chime, as plain arithmetic on local clock fields: no Windows headers, so the
// rules are tested natively and over whole simulated days.
#include <cstdint>

#include "settings/interval_none.h"

// How far past the boundary the timer aims. Windows timers can fire up to a tick (about
// 15.6 ms) early; aiming later than that keeps an early firing whose due check does not
// wait (the first after a start, with no check in the minute that is ending) out of the
// old minute, where it would sound that minute and then the next one at once.
constexpr unsigned kTimerPastBoundaryMs = 20;

// Milliseconds from a clock reading at `second`.`milliseconds` to kTimerPastBoundaryMs past
// the next minute boundary: 21 at the minute's last millisecond, 60020 at its first.
unsigned SignalTimerDelayMs(unsigned second, unsigned milliseconds);

// Whether a minute can ever be due: "None" and intervals under one minute (a step of
// zero whole minutes, only possible from a hand-edited file) never signal.
bool IntervalSignals(std::uint32_t interval);

// Whether `minute` (0-59, counted from the full hour) is a signal minute for `interval` seconds.
bool IsSignalMinute(unsigned minute, std::uint32_t interval);

// How many times the hour-count mode plays at hour:minute. `twentyFourHour` selects the
// 24-hour clock (0 o'clock counts 24); otherwise 0 and 12 o'clock count 12. Half past plays once.
int HourCountAt(unsigned hour, unsigned minute, bool twentyFourHour);
