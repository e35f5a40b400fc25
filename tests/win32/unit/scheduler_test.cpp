// The minute timer and the due check, driven through the fake seam: the timer's delay and
// re-arming, which minutes sound over whole simulated days, the wait for a minute that has
// not yet turned, and late firings.
#include "unit/scheduler_fixture.h"

#include <algorithm>
#include <vector>

namespace {

struct Delay {
    WORD second, milliseconds;
    UINT expectedMs;
};

}  // namespace

// ---- Arming and stopping ----------------------------------------------------------------

// The delay comes from the reading's second and milliseconds and ends just past the
// boundary (the native table has the edge rows).
TEST_F(SchedulerTest, ArmSetsTimer5000OnTheParentWindowForTheRestOfTheMinute) {
    const Delay cases[] = {
        {0, 0, 60020}, {0, 999, 59021}, {1, 0, 59020},
        {30, 500, 29520}, {59, 0, 1020}, {59, 999, 21},
    };
    for (const Delay& c : cases) {
        fake::Reset();
        fake::SetClock(10, 0, c.second, c.milliseconds);
        EXPECT_EQ(Module->ArmSignalTimer(), 1);
        fake::TimerCall timer{};
        ASSERT_TRUE(Armed(&timer)) << "second " << c.second;
        EXPECT_EQ(timer.Delay, c.expectedMs) << "second " << c.second << "." << c.milliseconds;
        EXPECT_EQ(timer.Callback, &SignalTimerProc);
    }
}

TEST_F(SchedulerTest, ArmWithTheModuleSwitchedOffSetsNothing) {
    Module->Enable = 0;
    EXPECT_EQ(Module->ArmSignalTimer(), 0);
    EXPECT_TRUE(fake::TimerCalls().empty());
    EXPECT_EQ(fake::ReadingCount(), 0);
}

// A refused timer is not reported: the chain simply ends.
TEST_F(SchedulerTest, ArmReportsOneEvenWhenTheSystemRefusesTheTimer) {
    fake::RefuseTimers(true);
    EXPECT_EQ(Module->ArmSignalTimer(), 1);
    EXPECT_FALSE(Armed());
    EXPECT_FALSE(Fire());
}

// Without a window the system would pick the timer's id: the callback would ignore every
// firing, StopModule could not remove it, and it would keep firing into the module's code
// after the module is unloaded.
TEST_F(SchedulerTest, ArmWithoutAParentWindowSetsNoTimerThatNothingCouldRemove) {
    Module->ParentWindow = nullptr;
    EXPECT_EQ(Module->ArmSignalTimer(), 1);
    EXPECT_TRUE(fake::TimerCalls().empty());
}

TEST_F(SchedulerTest, StopReportsWhetherATimerWasPending) {
    Module->ArmSignalTimer();
    EXPECT_NE(Module->StopSignalTimer(), 0);
    EXPECT_FALSE(Armed());
    EXPECT_EQ(Module->StopSignalTimer(), 0);
}

// The host hands over another window while the timer is armed: whatever comes next must
// reach the timer on the old window (else it would fire into the unloaded module), and a
// new timer goes to the new window.
TEST_F(SchedulerTest, AReplacedWindowNeverStrandsTheTimer) {
    enum class Next { Stop, Firing, Start, Unload };
    const struct {
        Next next;
        bool armedOnNewWindow;
    } cases[] = {{Next::Stop, false}, {Next::Firing, true}, {Next::Start, true}, {Next::Unload, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.next));
        fake::Reset();
        MessageWindow replacement;
        Module->ArmSignalTimer();
        Module->ParentWindow = replacement.Get();
        switch (c.next) {
        case Next::Stop: EXPECT_NE(Module->StopSignalTimer(), 0); break;
        case Next::Firing: EXPECT_TRUE(Fire()); break;
        case Next::Start: Module->ArmSignalTimer(); break;
        case Next::Unload: Module.reset(); break;
        }
        EXPECT_FALSE(Armed()) << "timer stranded on the old window";
        EXPECT_EQ(fake::IsArmed(replacement.Get(), SIGNAL_TIMER_ID), c.armedOnNewWindow);
        if (!Module) {
            Module = std::make_unique<SignalModule>(GetModuleHandleA(nullptr));
            TheSignalModule = Module.get();
            Configure(60, 0, "chime.wav");
        }
        Module->ParentWindow = Window.Get();
        Module->StopSignalTimer();
    }
}

// ---- Whole days -------------------------------------------------------------------------

namespace {

struct DayCase {
    DWORD interval;
    int expectedPlays;  // in 1440 firings, one at every minute of the day
};

// Every interval the dialog offers, plus stored values it does not: a step is whole minutes
// (90 s is every minute, not every minute and a half), and under a minute never sounds
// (and must not divide by zero).
const DayCase kDayCases[] = {
    {60, 1440}, {300, 288}, {600, 144}, {900, 96}, {1800, 48}, {3600, 24},
    {kIntervalNone, 0}, {30, 0}, {0, 0}, {59, 0}, {90, 1440}, {120, 720}, {7200, 24},
};

}  // namespace

TEST_F(SchedulerTest, ADayOfFiringsSoundsAtEverySignalMinuteAndRearmsEachMinute) {
    for (const DayCase& c : kDayCases) {
        SCOPED_TRACE(testing::Message() << "Interval " << c.interval);
        fake::Reset();
        Module = std::make_unique<SignalModule>(GetModuleHandleA(nullptr));
        Module->ParentWindow = Window.Get();
        TheSignalModule = Module.get();
        Configure(c.interval, 0, "chime.wav");

        fake::SetClock(23, 59, 30);
        Module->ArmSignalTimer();
        for (int minute = 0; minute < 24 * 60; ++minute) {
            ASSERT_TRUE(Fire()) << "chain ended before minute " << minute;
            const SYSTEMTIME now = fake::Clock();
            ASSERT_EQ(now.wHour * 60 + now.wMinute, minute);
            fake::TimerCall timer{};
            ASSERT_TRUE(Armed(&timer));
            ASSERT_EQ(timer.Delay, 60000u);
        }
        EXPECT_EQ(CountSounds(SND_ASYNC), c.expectedPlays);
        EXPECT_EQ(fake::Sounds().size(), static_cast<size_t>(c.expectedPlays));
        EXPECT_TRUE(fake::Sleeps().empty()) << "a firing on time waited for the minute";
        if (c.expectedPlays == 0) {
            // "None" and a zero step never read the clock for the check nor record it.
            EXPECT_EQ(Module->LastCheck.wMinute, 0xFFFF);
            EXPECT_EQ(fake::ReadingCount(), 1 + 24 * 60);  // the armings only
        }

        // Switched off meanwhile (say, by an InitialLoad): the firing still checks and may
        // sound, but sets no further timer.
        Module->Enable = 0;
        const size_t before = fake::Sounds().size();
        ASSERT_TRUE(Fire());
        EXPECT_FALSE(Armed()) << "chain went on with the module switched off";
        EXPECT_EQ(fake::Sounds().size(), before + (c.expectedPlays > 0 ? 1 : 0));
    }
}

// ---- Firing, callback and playback ------------------------------------------------------

TEST_F(SchedulerTest, FiringRemovesTheTimerBeforeItChecksAndArmsItAgainAfter) {
    fake::SetClock(9, 59, 59);
    Module->ArmSignalTimer();
    ASSERT_TRUE(Fire());
    const std::vector<fake::TimerCall> calls = fake::TimerCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_TRUE(calls[0].IsSet);
    EXPECT_FALSE(calls[1].IsSet);
    EXPECT_EQ(calls[1].Id, SIGNAL_TIMER_ID);
    EXPECT_EQ(calls[1].Window, Window.Get());
    EXPECT_TRUE(calls[2].IsSet);
    ASSERT_EQ(fake::Sounds().size(), 1u);
    EXPECT_EQ(fake::Sounds()[0].Name, "chime.wav");
    EXPECT_EQ(fake::Sounds()[0].Flags, static_cast<DWORD>(SND_ASYNC));
    EXPECT_EQ(fake::Sounds()[0].ThreadId, GetCurrentThreadId());
}

TEST_F(SchedulerTest, CallbackIgnoresOtherTimerIds) {
    for (UINT_PTR id : {UINT_PTR{0}, UINT_PTR{1}, UINT_PTR{4999}, UINT_PTR{5001}, UINT_PTR{0x7F00}}) {
        SignalTimerProc(Window.Get(), WM_TIMER, id, 0);
    }
    EXPECT_EQ(fake::ReadingCount(), 0);
    EXPECT_TRUE(fake::TimerCalls().empty());
    EXPECT_TRUE(fake::Sounds().empty());
}

// A firing that outlives the module object (detach ran meanwhile) must not touch it.
TEST_F(SchedulerTest, CallbackDoesNothingWithoutAModuleObject) {
    TheSignalModule = nullptr;
    SignalTimerProc(Window.Get(), WM_TIMER, SIGNAL_TIMER_ID, 0);
    EXPECT_EQ(fake::ReadingCount(), 0);
    EXPECT_TRUE(fake::TimerCalls().empty());
    EXPECT_TRUE(fake::Sounds().empty());
}

TEST_F(SchedulerTest, EmptyWaveNamePassesInSilenceAndTheChainGoesOn) {
    for (int signalType : {0, 1}) {
        fake::Reset();
        Configure(60, signalType, "");
        fake::SetClock(12, 0, 0);
        Module->OnSignalTimer();
        EXPECT_TRUE(fake::Sounds().empty()) << "SignalType " << signalType;
        EXPECT_EQ(fake::WorkerStarts(), 0) << "SignalType " << signalType;
        EXPECT_TRUE(Armed()) << "SignalType " << signalType;
    }
}

TEST_F(SchedulerTest, TheLongestWaveNamePlaysWhole) {
    const std::string name(259, 'w');
    Configure(60, 0, name.c_str());
    Module->OnSignalTimer();
    ASSERT_EQ(fake::Sounds().size(), 1u);
    EXPECT_EQ(fake::Sounds()[0].Name, name);
}

// ---- Waiting for the minute to turn -----------------------------------------------------

// A firing that comes while the clock still shows the minute of the last check (timers can
// fire early) waits, 100 ms at a time and at most 30 times (3 s of the host's thread), for the
// clock to show another minute; the first reading that does is the one evaluated, recorded
// and re-armed from. After 30 readings of the same minute, the last one is evaluated.
TEST_F(SchedulerTest, FiringWaitsForTheMinuteOfTheLastCheckToEnd) {
    const struct {
        const char* name;
        SYSTEMTIME checked;               // the previous firing's check
        SYSTEMTIME now;                   // the clock at this firing; each sleep advances it
        std::vector<SYSTEMTIME> script;   // or these readings, the re-arming's last
        int sleeps;
        SYSTEMTIME recorded;              // LastCheck afterwards
        std::size_t sounds;               // at this firing
        UINT nextDelay;
    } cases[] = {
        {"just before the boundary", fake::At(10, 59, 0), fake::At(10, 59, 59, 900), {}, 1,
         fake::At(11, 0, 0), 1, 60020},
        {"just after the boundary", fake::At(10, 59, 0), fake::At(11, 0, 0, 200), {}, 0,
         fake::At(11, 0, 0), 1, 59820},
        {"the first reading of a new minute ends it", fake::At(10, 59, 0), {},
         {fake::At(10, 59, 58, 100), fake::At(10, 59, 58, 600), fake::At(10, 59, 59, 400),
          fake::At(11, 0, 1, 250), fake::At(11, 0, 1, 300)},
         3, fake::At(11, 0, 1), 1, 58720},
        {"a second firing in the same minute", fake::At(11, 0, 0), fake::At(11, 0, 20), {}, 30,
         fake::At(11, 0, 22), 1, 37020},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Reset();
        Configure(3600, 0, "chime.wav");
        Module->LastCheck.wMinute = 0xFFFF;  // as constructed: the first check never waits
        fake::SetClock(c.checked.wHour, c.checked.wMinute, c.checked.wSecond);
        Module->OnSignalTimer();
        fake::ClearRecords();
        const int readingsBefore = fake::ReadingCount();
        if (c.script.empty()) {
            fake::SetClock(c.now.wHour, c.now.wMinute, c.now.wSecond, c.now.wMilliseconds);
        } else {
            fake::ScriptReadings(c.script);
        }
        SignalTimerProc(Window.Get(), WM_TIMER, SIGNAL_TIMER_ID, 0);
        EXPECT_EQ(fake::Sleeps(), std::vector<DWORD>(c.sleeps, 100));
        // Each sleep follows a reading; after the 30th no reading follows. Then the re-arming's.
        const int waitReadings = c.sleeps < 30 ? c.sleeps + 1 : 30;
        EXPECT_EQ(fake::ReadingCount() - readingsBefore, waitReadings + 1);
        EXPECT_EQ(Module->LastCheck.wHour, c.recorded.wHour);
        EXPECT_EQ(Module->LastCheck.wMinute, c.recorded.wMinute);
        EXPECT_EQ(Module->LastCheck.wSecond, c.recorded.wSecond);
        EXPECT_EQ(fake::Sounds().size(), c.sounds);
        fake::TimerCall timer{};
        ASSERT_TRUE(Armed(&timer));
        EXPECT_EQ(timer.Delay, c.nextDelay);
    }
}

// Started at the row's reading, then five boundaries, each firing off its delay by
// `firstLateMs` (the first) or `lateMs` (the others). A first firing early within the margin
// has no check in the ending minute to wait for; later ones before the boundary (a clock
// slewed by time sync) wait for it and re-arm from the new minute. Either way every minute
// sounds once, in that minute, and none is skipped.
TEST_F(SchedulerTest, EarlyAndLateFiringsSoundEachMinuteOnceAndNeverBeforeIt) {
    const struct {
        WORD second, milliseconds;
        int firstLateMs, lateMs;
    } cases[] = {
        /* 1 */ {59, 999, -15, -15}, /* 2 */ {59, 990, -19, -40}, /* 3 */ {30, 0, 0, -40},
        /* 4 */ {0, 0, 0, 0},        /* 5 */ {59, 999, 0, 0},     /* 6 */ {45, 500, -15, -120},
        /* 7 */ {59, 999, 900, 900},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "armed at 10:00:" << c.second << "." << c.milliseconds
                                        << ", late " << c.firstLateMs << "/" << c.lateMs << " ms");
        fake::Reset();
        Module = std::make_unique<SignalModule>(GetModuleHandleA(nullptr));
        Module->ParentWindow = Window.Get();
        TheSignalModule = Module.get();
        Configure(60, 0, "chime.wav");
        fake::SetClock(10, 0, c.second, c.milliseconds);
        Module->ArmSignalTimer();
        for (WORD minute = 1; minute <= 5; ++minute) {
            const int late = minute == 1 ? c.firstLateMs : c.lateMs;
            ASSERT_TRUE(Fire(late));
            const std::vector<fake::SoundCall> sounds = fake::Sounds();
            ASSERT_EQ(sounds.size(), static_cast<size_t>(minute)) << "by 10:0" << minute;
            const SYSTEMTIME& at = sounds.back().At;
            EXPECT_EQ(at.wMinute, minute);
            EXPECT_EQ(at.wSecond, 0);
            EXPECT_LE(at.wMilliseconds, std::max(100, late + 21)) << "10:0" << minute;
        }
    }
}

// The minute is whatever the clock shows when the firing is handled, however late it comes
// (the machine slept, the clock was changed): nothing is computed from an earlier reading.
TEST_F(SchedulerTest, LateFiringEvaluatesTheClockAsItIsThen) {
    struct Late {
        SYSTEMTIME firing;
        DWORD interval;
        bool sounds;
        UINT nextDelay;
    } cases[] = {
        {fake::At(11, 7, 40), 300, false, 20020},
        {fake::At(11, 7, 40), 60, true, 20020},
        {fake::At(12, 15, 5), 900, true, 55020},
        {fake::At(10, 30, 10), 1800, true, 50020},  // clock set back half an hour
        {fake::At(11, 45, 59, 999), 900, true, 21},
    };
    for (const Late& c : cases) {
        SCOPED_TRACE(testing::Message() << c.firing.wHour << ":" << c.firing.wMinute << ":"
                                        << c.firing.wSecond << " Interval " << c.interval);
        fake::Reset();
        Configure(c.interval, 0, "chime.wav");
        fake::SetClock(11, 0, 0);
        Module->OnSignalTimer();  // last check at 11:00:00, next boundary 11:01:00
        const size_t before = fake::Sounds().size();

        fake::SetClock(c.firing.wHour, c.firing.wMinute, c.firing.wSecond, c.firing.wMilliseconds);
        SignalTimerProc(Window.Get(), WM_TIMER, SIGNAL_TIMER_ID, 0);
        EXPECT_EQ(fake::Sounds().size() - before, c.sounds ? 1u : 0u);
        EXPECT_EQ(Module->LastCheck.wHour, c.firing.wHour);
        EXPECT_EQ(Module->LastCheck.wMinute, c.firing.wMinute);
        EXPECT_EQ(Module->LastCheck.wSecond, c.firing.wSecond);
        fake::TimerCall timer{};
        ASSERT_TRUE(Armed(&timer));
        EXPECT_EQ(timer.Delay, c.nextDelay);
    }
}
