// When to chime, as plain arithmetic: the timer's delay, which minutes are signal minutes
// for each interval (checked over whole days), and the hour count on both clocks.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <vector>

#include "scheduler/signal_due.h"
#include "tests/cases/interval_rows.h"

// The timer aims at the next boundary. A reading a hair before it must never give 0 (a
// timer that fires at once, over and over); a leap second waits out its own rest; other
// fields out of range must neither skip the boundary nor wrap to a delay of weeks.
TEST(MillisecondsToNextMinute, CountsToTheNextBoundary) {
    const struct {
        unsigned second, milliseconds, expected;
    } cases[] = {
        /* 1 */ {0, 0, 60000},   /* 2 */ {0, 999, 59001}, /* 3 */ {1, 0, 59000},
        /* 4 */ {30, 500, 29500}, /* 5 */ {58, 999, 1001}, /* 6 */ {59, 0, 1000},
        /* 7 */ {59, 990, 10},   /* 8 */ {59, 999, 1},    /* 9 */ {59, 1000, 1},
        /* 10 */ {59, 65535, 1}, /* 11 */ {0, 1000, 59001}, /* 12 */ {60, 0, 1000},
        /* 13 */ {60, 999, 1},   /* 14 */ {61, 0, 1},     /* 15 */ {65535, 65535, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MillisecondsToNextMinute(c.second, c.milliseconds), c.expected)
            << c.second << "." << c.milliseconds;
    }
}

// A firing before the boundary its timer was armed for (armed in 10:59) waits for it to the
// millisecond when the budget reaches it. A firing in the minute of the last check (the same
// day, hour and minute) waits in steps of 100 ms. Anything else, a boundary out of reach and
// the same minute of a later hour or day (a resume from sleep) included, is evaluated at once.
TEST(DueWaitMs, WaitsForTheArmedBoundaryOrTheMinuteOfTheLastCheckToEnd) {
    const ClockMinute armed{10, 59}, none{};
    const CheckedMinute at58{6, 10, 58}, at59{6, 10, 59}, at11{6, 11, 0}, first{};
    const struct {
        ClockReading now;
        ClockMinute armedIn;
        CheckedMinute lastCheck;
        unsigned budgetLeft, expected;
    } cases[] = {
        /* 1 */ {{6, 10, 59, 59, 985}, armed, at58, 3000, 15},     // early by a tick
        /* 2 */ {{6, 10, 59, 59, 985}, armed, at59, 3000, 15},     // also the last check's minute
        /* 3 */ {{6, 10, 59, 58, 0}, armed, first, 3000, 2000},    // the first after a start
        /* 4 */ {{6, 10, 59, 60, 400}, armed, first, 3000, 600},   // a leap second
        /* 5 */ {{6, 10, 59, 57, 0}, armed, at58, 3000, 3000},     // just within the budget
        /* 6 */ {{6, 10, 59, 56, 999}, armed, at58, 3000, 0},      // beyond it: at once
        /* 7 */ {{6, 10, 59, 59, 900}, armed, at58, 50, 0},        // past the budget's rest: at once
        /* 8 */ {{6, 10, 59, 59, 900}, armed, at58, 0, 0},         // spent: evaluate
        /* 9 */ {{6, 11, 0, 0, 3}, armed, at59, 3000, 0},          // on time
        /* 10 */ {{6, 11, 7, 40, 0}, armed, at59, 3000, 0},        // late
        /* 11 */ {{6, 9, 59, 59, 900}, armed, at11, 3000, 0},      // the hour stepped back
        /* 12 */ {{6, 11, 0, 20, 0}, none, at11, 3000, 100},       // twice in the last check's minute
        /* 13 */ {{6, 11, 0, 20, 0}, none, at11, 40, 40},
        /* 14 */ {{6, 11, 0, 20, 0}, none, first, 3000, 0},        // no check and no timer: at once
        /* 15 */ {{6, 10, 59, 56, 999}, armed, at59, 3000, 100},   // out of reach, the last check's minute
        /* 16 */ {{6, 10, 59, 20, 0}, armed, first, 3000, 0},      // the first, 40 s early: at once
        /* 17 */ {{6, 12, 0, 0, 200}, {11, 0}, at11, 3000, 0},     // a resume an hour later, minute :00
        /* 18 */ {{7, 11, 0, 0, 200}, {11, 0}, at11, 3000, 0},     // a day later, the same hour and minute
        /* 19 */ {{7, 11, 0, 20, 0}, none, {7, 11, 0}, 3000, 100},  // the same minute of that day
    };
    for (std::size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const auto& c = cases[i];
        EXPECT_EQ(DueWaitMs(c.now, c.armedIn, c.lastCheck, c.budgetLeft), c.expected)
            << "row " << i + 1;
    }
}

// Minutes count from the full hour; the step is the interval in whole minutes.
TEST(IsMinuteOnInterval, MinutesOfTheHourForEachInterval) {
    const struct {
        std::uint32_t interval;
        unsigned minute;
        bool due;
    } cases[] = {
        {60, 0, true},     {60, 59, true},   {300, 0, true},    {300, 5, true},   {300, 7, false},
        {300, 55, true},   {600, 50, true},  {600, 55, false},  {900, 45, true},  {900, 50, false},
        {1800, 30, true},  {1800, 15, false}, {3600, 0, true},  {3600, 30, false}, {3600, 59, false},
        {90, 7, true},     {120, 3, false},  {120, 58, true},   {7200, 0, true},  {7200, 2, false},
        {kIntervalNone, 0, false}, {30, 0, false}, {0, 0, false}, {3540, 59, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsMinuteOnInterval(c.minute, c.interval), c.due) << c.interval << " at minute " << c.minute;
    }
}

// The dialog's intervals (tests/cases/interval_rows.h), then values only a hand-edited file holds.
TEST(IsMinuteOnInterval, SignalsPerDayForEveryInterval) {
    std::vector<IntervalRow> cases(std::begin(kOncePerIntervalRows), std::end(kOncePerIntervalRows));
    cases.insert(cases.end(), std::begin(kHourCountRows), std::end(kHourCountRows));
    cases.insert(cases.end(), {{"0", 0, 0}, {"30 s", 30, 0}, {"59 s", 59, 0}, {"90 s", 90, 1440},
                               {"2", 120, 720}, {"under None", 0xFFFFFFFEu, 24}});
    for (const IntervalRow& c : cases) {
        int due = 0;
        for (unsigned minuteOfDay = 0; minuteOfDay < 24 * 60; ++minuteOfDay) {
            due += IsMinuteOnInterval(minuteOfDay % 60, c.Seconds);
        }
        EXPECT_EQ(due, c.SignalsPerDay) << "Interval " << c.Label << " (" << c.Seconds << ")";
    }
}

// Every half past plays once; another due minute (a hand-edited interval) counts as the full hour.
TEST(HourCountAt, CountsOnTheTwelveAndTwentyFourHourClocks) {
    const struct {
        unsigned hour, minute;
        int twelve, twentyFour;
    } cases[] = {
        {0, 0, 12, 24}, {1, 0, 1, 1},   {11, 0, 11, 11}, {12, 0, 12, 12},
        {13, 0, 1, 13}, {15, 0, 3, 15}, {23, 0, 11, 23}, {15, 15, 3, 15},
        {0, 30, 1, 1},  {12, 30, 1, 1}, {23, 30, 1, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HourCountAt(c.hour, c.minute, false), c.twelve) << c.hour << ":" << c.minute;
        EXPECT_EQ(HourCountAt(c.hour, c.minute, true), c.twentyFour) << c.hour << ":" << c.minute;
    }
}
