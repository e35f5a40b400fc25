// When to chime, as plain arithmetic: the timer's delay, which minutes are signal minutes
// for each interval (checked over whole days), and the hour count on both clocks.
#include <gtest/gtest.h>

#include <cstdint>

#include "scheduler/signal_due.h"

// The timer aims 20 ms past the next boundary. A reading a hair before the boundary must
// still give more than a tick (an early firing would land in the old minute) and never 0
// (a timer that fires at once, over and over); fields out of range must neither skip the
// boundary nor wrap to a delay of weeks.
TEST(SignalTimerDelayMs, CountsMillisecondsToJustPastTheNextBoundary) {
    const struct {
        unsigned second, milliseconds, expected;
    } cases[] = {
        /* 1 */ {0, 0, 60020},   /* 2 */ {0, 999, 59021}, /* 3 */ {1, 0, 59020},
        /* 4 */ {30, 500, 29520}, /* 5 */ {58, 999, 1021}, /* 6 */ {59, 0, 1020},
        /* 7 */ {59, 990, 30},   /* 8 */ {59, 999, 21},   /* 9 */ {59, 1000, 21},
        /* 10 */ {59, 65535, 21}, /* 11 */ {0, 1000, 59021}, /* 12 */ {60, 0, 21},
        /* 13 */ {60, 999, 21},  /* 14 */ {65535, 65535, 21},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SignalTimerDelayMs(c.second, c.milliseconds), c.expected)
            << c.second << "." << c.milliseconds;
    }
}

// Minutes count from the full hour; the step is the interval in whole minutes.
TEST(IsSignalMinute, MinutesOfTheHourForEachInterval) {
    const struct {
        std::uint32_t interval;
        unsigned minute;
        bool due;
    } cases[] = {
        {60, 0, true},     {60, 59, true},   {300, 0, true},    {300, 5, true},   {300, 7, false},
        {300, 55, true},   {600, 50, true},  {600, 55, false},  {900, 45, true},  {900, 50, false},
        {1800, 30, true},  {1800, 15, false}, {3600, 0, true},  {3600, 30, false}, {3600, 59, false},
        {90, 7, true},     {120, 3, false},  {120, 58, true},   {7200, 0, true},  {7200, 2, false},
        {kIntervalNone, 0, false}, {30, 0, false}, {0, 0, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsSignalMinute(c.minute, c.interval), c.due) << c.interval << " at minute " << c.minute;
    }
}

TEST(IsSignalMinute, SignalsPerDayForEveryInterval) {
    const struct {
        std::uint32_t interval;
        int perDay;
    } cases[] = {
        {60, 1440}, {300, 288}, {600, 144}, {900, 96}, {1800, 48}, {3600, 24},
        {kIntervalNone, 0}, {0, 0}, {30, 0}, {59, 0}, {90, 1440}, {120, 720}, {0xFFFFFFFEu, 24},
    };
    for (const auto& c : cases) {
        int due = 0;
        for (unsigned minuteOfDay = 0; minuteOfDay < 24 * 60; ++minuteOfDay) {
            due += IsSignalMinute(minuteOfDay % 60, c.interval);
        }
        EXPECT_EQ(due, c.perDay) << "Interval " << c.interval;
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
