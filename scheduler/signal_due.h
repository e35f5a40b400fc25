#pragma once
// When to chime, as plain arithmetic on local clock fields: no Windows headers, so the
// rules are tested natively and over whole simulated days.
#include <cstdint>

#include "settings/interval_none.h"

// The fields of one local clock reading that the timing rules look at (Day: of the month).
struct ClockReading {
    unsigned Day, Hour, Minute, Second, Milliseconds;
};

// An hour and minute of the local clock; kNoMinute in both when there is none (no timer
// armed, no check made). No clock reading shows it.
constexpr unsigned kNoMinute = 0xFFFF;
struct ClockMinute {
    unsigned Hour = kNoMinute, Minute = kNoMinute;
    bool Shows(const ClockReading& reading) const {
        return reading.Hour == Hour && reading.Minute == Minute;
    }
};

// The minute a due check evaluated, with its day of the month: the same minute of another
// hour or day (a resume from sleep) is a new one. kNoMinute in all three before the first.
struct CheckedMinute {
    unsigned Day = kNoMinute, Hour = kNoMinute, Minute = kNoMinute;
    bool Shows(const ClockReading& reading) const {
        return reading.Day == Day && reading.Hour == Hour && reading.Minute == Minute;
    }
};

// Milliseconds from a reading at `second`.`milliseconds` to the next minute boundary: 1 at
// the minute's last millisecond, 60000 at its first. The timer is aimed at the boundary
// itself; a firing that comes early waits for it (DueWaitMs). A leap second (60) waits out
// its own rest; other fields past their range count as the minute's last millisecond, for
// the boundary is at most that near.
unsigned MillisecondsToNextMinute(unsigned second, unsigned milliseconds);

// How long the host's thread may wait in one firing for the minute it is due to evaluate.
constexpr unsigned kDueWaitBudgetMs = 3000;
// The step of that wait when the boundary is not in sight.
constexpr unsigned kDueWaitStepMs = 100;

// How long a firing waits before it reads the clock again (0: evaluate `now`), with
// `budgetLeftMs` of the wait's budget left.
// - The clock still shows the minute the timer was armed in (`armedIn`) and the budget
//   reaches its boundary: the firing came a little early (timers fire early; a leap second;
//   a clock slewed back). It waits for the boundary to the millisecond.
// - Otherwise it waits kDueWaitStepMs at a time while the clock shows the minute of the
//   last check (`lastCheck`: the same day, hour and minute), until the budget is spent. A
//   boundary out of reach (the clock was set back) is not waited for: the first firing after
//   a start, with no check made, evaluates at once, and a clock set back past a chimed
//   minute may chime it again.
unsigned DueWaitMs(const ClockReading& now, ClockMinute armedIn, CheckedMinute lastCheck,
                   unsigned budgetLeftMs);

// Whether an interval ever signals: "None" and intervals under one minute (a step of zero
// whole minutes, only possible from a hand-edited file) never do.
bool IntervalEverSignals(std::uint32_t interval);

// Whether `minute` (0-59, counted from the full hour) is a signal minute for `interval` seconds.
bool IsMinuteOnInterval(unsigned minute, std::uint32_t interval);

// How many times the hour-count mode plays at hour:minute. `twentyFourHour` selects the
// 24-hour clock (0 o'clock counts 24); otherwise 0 and 12 o'clock count 12. Half past plays once.
int HourCountAt(unsigned hour, unsigned minute, bool twentyFourHour);
