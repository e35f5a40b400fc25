// The minute timer and the due check, driven through the recorded system: the timer's delay and
// re-arming, which minutes sound over whole simulated days, the wait for a minute that has
// not yet turned, and late firings.
#include "unit/scheduler_fixture.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <vector>

namespace {

// A message-only window of a thread of its own, kept until the holder goes: a window the
// module's thread does not own.
class ThreadWindow {
public:
    ThreadWindow() : thread_(CreateThread(nullptr, 0, &Run, this, 0, nullptr)) {
        WaitForSingleObject(ready_.Get(), INFINITE);
    }
    ~ThreadWindow() {
        SetEvent(done_.Get());
        WaitForSingleObject(thread_.Get(), INFINITE);
    }
    HWND Get() const { return window_; }

private:
    static DWORD WINAPI Run(void* self) {
        auto* holder = static_cast<ThreadWindow*>(self);
        const MessageWindow window;
        holder->window_ = window.Get();
        SetEvent(holder->ready_.Get());
        WaitForSingleObject(holder->done_.Get(), INFINITE);
        return 0;
    }

    scoped::Handle ready_{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    scoped::Handle done_{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    HWND window_ = nullptr;
    scoped::Handle thread_;
};

// A handle value that `use` hands to the module while it names a window of this thread,
// which is then destroyed; `other` then holds the window of another thread that the value
// names. A handle whose high word is 0 names whatever window has its low word (Windows and
// Wine alike), and a destroyed window's slot goes to a window created next. Null when no new
// window took the slot.
template <typename Use>
HWND ReusedByAnotherThread(std::optional<ThreadWindow>* other, Use use) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        auto mine = std::make_unique<MessageWindow>();
        const HWND value = reinterpret_cast<HWND>(static_cast<UINT_PTR>(LOWORD(mine->Get())));
        use(value);
        mine.reset();
        other->emplace();
        if (LOWORD((*other)->Get()) == LOWORD(value)) return value;
    }
    return nullptr;
}

}  // namespace

// ---- Arming and stopping ----------------------------------------------------------------

// Arming reads the clock and sets the timer on the parent window for the next boundary (the
// native table has the delay's edge rows). Switched off, it answers 0 and does nothing. A
// refused timer is not reported: the chain simply ends. Another thread's window refuses it
// before any SetTimer, as Windows documents and Wine does not enforce: its thread would run
// the firings against the module's unlocked state. So does a handle value the host handed
// over once its window is gone and another thread's window has the value, also where the
// module falls back to the window that last held the timer. Without a window the system
// would pick the timer's id: the callback would ignore every firing, StopModule could not
// remove it, and it would keep firing into the module's code after the module is unloaded.
// A stop then reports whether a timer was pending; with no window it calls nothing, for
// KillTimer(null, id) would remove a window-less timer of the host's.
TEST_F(SchedulerTest, ArmingSetsTheTimerOnlyWhereItCanBeRemoved) {
    enum Condition { kOn, kOff, kRefused, kNoWindow, kOtherThread, kReused, kRefusedHolderReused };
    const struct {
        Condition condition;
        WORD second, milliseconds;
        int result;
        std::size_t readings, calls;  // clock readings, timer calls
        UINT delay;                   // of the armed timer; 0: none armed
    } cases[] = {
        /* 1 */ {kOn, 0, 0, 1, 1, 1, 60000},   /* 2 */ {kOn, 30, 500, 1, 1, 1, 29500},
        /* 3 */ {kOn, 59, 999, 1, 1, 1, 1},    /* 4 */ {kOff, 30, 0, 0, 0, 0, 0},
        /* 5 */ {kRefused, 30, 0, 1, 1, 1, 0}, /* 6 */ {kNoWindow, 30, 0, 1, 0, 0, 0},
        /* 7 */ {kOtherThread, 30, 0, 1, 1, 1, 30000}, /* 8 */ {kReused, 30, 0, 1, 1, 0, 0},
        /* 9 */ {kRefusedHolderReused, 30, 0, 1, 1, 1, 0},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(testing::Message() << "row " << i + 1);
        Reset();
        std::optional<ThreadWindow> other;
        HWND parent = c.condition == kNoWindow ? nullptr : Window.Get();
        if (c.condition == kOtherThread) parent = other.emplace().Get();
        if (c.condition == kReused || c.condition == kRefusedHolderReused) {
            Module->Enable = 1;
            const HWND reused = ReusedByAnotherThread(&other, [&](HWND value) {
                Module->ParentWindow = value;  // the timer's last holder while the window is ours
                Module->ArmSignalTimer();
                EXPECT_NE(Module->StopSignalTimer(), 0) << "a short handle value of our window refused";
            });
            ASSERT_NE(reused, nullptr) << "no window took the destroyed one's handle value";
            if (c.condition == kReused) parent = reused;
            ASSERT_TRUE(recorded::ClearRecord());
        }
        recorded::Answer([&](recorded::Answers& a) {
            a.RefuseTimers = c.condition == kRefused;
            a.RefusingWindow = c.condition == kRefusedHolderReused ? parent : nullptr;
        });
        SetClock(ClockAt(10, 0, c.second, c.milliseconds));
        Module->Enable = c.condition != kOff;
        Module->ParentWindow = parent;
        EXPECT_EQ(Module->ArmSignalTimer(), c.result);
        EXPECT_EQ(Snapshot().Timers.size(), c.calls);
        EXPECT_EQ(static_cast<std::size_t>(Snapshot().ClockReadings), c.readings);
        recorded::TimerCall timer{};
        EXPECT_EQ(Armed(&timer), c.delay != 0);
        EXPECT_EQ(timer.Delay, c.delay);
        EXPECT_EQ(timer.Callback, c.delay ? &SignalTimerProc : nullptr);
        EXPECT_EQ(Module->StopSignalTimer() != 0, c.delay != 0);
        EXPECT_EQ(Snapshot().Timers.size(), c.calls + (c.delay != 0)) << "a stop with nothing pending called KillTimer";
        EXPECT_FALSE(Armed());
    }
}

// The host hands over another window while the timer is armed (a new main window; the old
// one is then destroyed, and a timer left there dies with it): the pending timer moves to it
// at once with the time it had left on the tick count, so a clock set back across the minute
// it was armed in changes nothing, and whatever comes next reaches it there. A window that
// refuses the timer (another process's; another thread's, which the module refuses itself),
// or a handle that is no window (null, or one destroyed), leaves the timer where it is: a
// stop, a start, the unload and the next firing still reach it there.
TEST_F(SchedulerTest, AReplacedWindowTakesThePendingTimerAlong) {
    enum Handed { kWindow, kAfterClockSetBack, kRefusing, kNull, kDestroyed, kOtherThread };
    enum Next { kNothing, kStop, kFiring, kStart, kUnload };
    const struct {
        Handed handed;
        Next next;
        bool onOld, onNew;
    } cases[] = {
        /* 1 */ {kWindow, kNothing, false, true}, /* 2 */ {kWindow, kStop, false, false},
        /* 3 */ {kWindow, kFiring, false, true},  /* 4 */ {kWindow, kStart, false, true},
        /* 5 */ {kWindow, kUnload, false, false}, /* 6 */ {kNull, kNothing, true, false},
        /* 7 */ {kDestroyed, kNothing, true, false}, /* 8 */ {kNull, kStop, false, false},
        /* 9 */ {kAfterClockSetBack, kFiring, false, true}, /* 10 */ {kRefusing, kNothing, true, false},
        /* 11 */ {kRefusing, kStop, false, false}, /* 12 */ {kRefusing, kFiring, true, false},
        /* 13 */ {kRefusing, kStart, true, false}, /* 14 */ {kRefusing, kUnload, false, false},
        /* 15 */ {kOtherThread, kNothing, true, false}, /* 16 */ {kOtherThread, kFiring, true, false},
        /* 17 */ {kOtherThread, kStart, true, false}, /* 18 */ {kOtherThread, kStop, false, false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(testing::Message() << "row " << i + 1);
        NewModule(60);
        Reset();
        MessageWindow replacement;
        std::optional<ThreadWindow> other;
        const HWND newWindow = c.handed == kOtherThread ? other.emplace().Get() : replacement.Get();
        HWND handed = c.handed == kNull ? nullptr : newWindow;
        if (c.handed == kDestroyed) handed = MessageWindow().Get();
        recorded::Answer([&](recorded::Answers& a) { a.RefusingWindow = c.handed == kRefusing ? handed : nullptr; });
        SetClock(ClockAt(10, 0, 30));
        Module->ArmSignalTimer();
        ASSERT_TRUE(Fire());  // 10:01:00 chimes; re-armed for 10:02:00, and the tick count wraps
        recorded::LetTimePass(1000);
        if (c.handed == kAfterClockSetBack) SetClock(ClockAt(10, 0, 59));
        Module->SetParentWindow(handed);
        recorded::TimerCall moved{};
        if (recorded::IsArmed(newWindow, SIGNAL_TIMER_ID, &moved)) {
            EXPECT_EQ(moved.Delay, 59000u) << "not the time the timer had left";
        }
        switch (c.next) {
        case kNothing: break;
        case kStop: EXPECT_NE(Module->StopSignalTimer(), 0); break;
        case kFiring: EXPECT_TRUE(recorded::FireTimer(c.onNew ? handed : Window.Get(), SIGNAL_TIMER_ID)); break;
        case kStart: Module->ArmSignalTimer(); break;
        case kUnload: Module.reset(); break;
        }
        EXPECT_EQ(Armed(), c.onOld);
        EXPECT_EQ(recorded::IsArmed(newWindow, SIGNAL_TIMER_ID), c.onNew);
        const std::vector<recorded::SoundCall> sounds = Snapshot().Sounds;
        ASSERT_EQ(sounds.size(), c.next == kFiring ? 2u : 1u);
        EXPECT_EQ(sounds.back().Clock.wMinute, sounds.size()) << "a minute chimed twice, or out of turn";
    }
}

// ---- Whole days -------------------------------------------------------------------------

namespace {

struct DayCase {
    DWORD interval;
    int expectedPlays;  // in 1440 firings, one at every minute of the day
};

// A few intervals (the native tests count every one over a day): every minute, a step, "None",
// a zero step (which must not divide by zero) and a step just under a minute.
const DayCase kDayCases[] = {{60, 1440}, {900, 96}, {kIntervalNone, 0}, {0, 0}, {59, 0}};

}  // namespace

TEST_F(SchedulerTest, ADayOfFiringsSoundsAtEverySignalMinuteAndRearmsEachMinute) {
    for (const DayCase& c : kDayCases) {
        SCOPED_TRACE(testing::Message() << "Interval " << c.interval);
        Reset();
        NewModule(c.interval);

        SetClock(ClockAt(23, 59, 30));
        Module->ArmSignalTimer();
        for (int minute = 0; minute < 24 * 60; ++minute) {
            ASSERT_TRUE(Fire()) << "chain ended before minute " << minute;
            const SYSTEMTIME now = Snapshot().LastReading;
            ASSERT_EQ(now.wHour * 60 + now.wMinute, minute);
            recorded::TimerCall timer{};
            ASSERT_TRUE(Armed(&timer));
            ASSERT_EQ(timer.Delay, 60000u);
        }
        EXPECT_EQ(CountSounds(SND_ASYNC), c.expectedPlays);
        EXPECT_EQ(Snapshot().Sounds.size(), static_cast<size_t>(c.expectedPlays));
        EXPECT_TRUE(Snapshot().HostSleeps.empty()) << "a firing on time waited for the minute";
        if (c.expectedPlays == 0) {
            // "None" and a zero step never read the clock for the check nor record it.
            EXPECT_EQ(Module->Timer.LastCheck.wMinute, 0xFFFF);
            EXPECT_EQ(Snapshot().ClockReadings, 1 + 24 * 60);  // the armings only
        }

        // Switched off meanwhile (say, by an InitialLoad): the firing still checks and may
        // sound, but sets no further timer.
        Module->Enable = 0;
        const size_t before = Snapshot().Sounds.size();
        ASSERT_TRUE(Fire());
        EXPECT_FALSE(Armed()) << "chain went on with the module switched off";
        EXPECT_EQ(Snapshot().Sounds.size(), before + (c.expectedPlays > 0 ? 1 : 0));
    }
}

// ---- Firing, callback and playback ------------------------------------------------------

// A firing removes the timer from its window, checks, starts the play (asynchronous, on the
// host's thread) and sets the timer again. An empty name passes in silence on either signal
// type; the longest plays whole. The chain goes on.
TEST_F(SchedulerTest, FiringRemovesTheTimerPlaysAndArmsItAgain) {
    const std::string longest(259, 'w');
    const struct {
        const char* name;
        int signalType;
    } cases[] = {{"chime.wav", 0}, {"", 0}, {"", 1}, {longest.c_str(), 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "SignalType " << c.signalType << ", " << std::strlen(c.name));
        Reset();
        Configure(60, c.signalType, c.name);
        SetClock(ClockAt(11, 59, 59));
        Module->ArmSignalTimer();
        ASSERT_TRUE(Fire());
        EXPECT_EQ(Snapshot().WorkerStarts, 0);
        const std::vector<recorded::TimerCall> calls = Snapshot().Timers;
        ASSERT_EQ(calls.size(), 3u);
        EXPECT_TRUE(calls[0].IsSet && !calls[1].IsSet && calls[2].IsSet) << "set, removed, set again";
        EXPECT_EQ(calls[1].Window, Window.Get());
        EXPECT_EQ(calls[1].Id, SIGNAL_TIMER_ID);
        EXPECT_TRUE(Armed());
        const std::vector<recorded::SoundCall> sounds = Snapshot().Sounds;
        ASSERT_EQ(sounds.size(), c.name[0] ? 1u : 0u);
        for (const recorded::SoundCall& sound : sounds) {
            EXPECT_EQ(sound.Name, c.name);
            EXPECT_EQ(sound.Flags, static_cast<DWORD>(SND_ASYNC));
            EXPECT_EQ(sound.ThreadId, GetCurrentThreadId());
        }
    }
}

// A firing of another timer, or one that outlives the module object (detach ran meanwhile),
// touches nothing.
TEST_F(SchedulerTest, CallbackActsOnlyOnItsOwnTimerWhileTheModuleLives) {
    for (UINT_PTR id : {UINT_PTR{0}, UINT_PTR{1}, UINT_PTR{4999}, UINT_PTR{5001}, UINT_PTR{0x7F00}}) {
        SignalTimerProc(Window.Get(), WM_TIMER, id, 0);
    }
    TheSignalModule = nullptr;
    SignalTimerProc(Window.Get(), WM_TIMER, SIGNAL_TIMER_ID, 0);
    EXPECT_EQ(Snapshot().ClockReadings, 0);
    EXPECT_TRUE(Snapshot().Timers.empty());
    EXPECT_TRUE(Snapshot().Sounds.empty());
}

// ---- Waiting for the minute to turn -----------------------------------------------------

namespace {

SYSTEMTIME DayLater(SYSTEMTIME time) {
    ++time.wDay;
    time.wDayOfWeek = static_cast<WORD>((time.wDayOfWeek + 1) % 7);
    return time;
}

}  // namespace

// A firing that comes at most 3 s before the boundary its timer was armed for (timers fire
// early; the first firing after a start included) waits for it to the millisecond. One that
// comes while the clock still shows the minute of the last check waits 100 ms at a time, at
// most 30 times (3 s of the host's thread); the first after a start, further from its
// boundary (the clock was set back), waits for nothing. The first reading of a new
// minute is the one evaluated, recorded and handed to the count; after 30 readings of the
// same minute, the last one is. A later firing evaluates the clock as it is then, however
// late it comes (the machine slept, the clock was changed): nothing is computed from an
// earlier reading, and the minute of the last check in another hour or day is a new one.
TEST_F(SchedulerTest, FiringEvaluatesTheFirstReadingOfANewMinute) {
    const struct {
        const char* name;
        DWORD interval;
        bool started;                     // the timer was armed by a start, not by a firing
        SYSTEMTIME checked;               // the previous firing's check, or the start
        SYSTEMTIME now;                   // the clock at this firing; each sleep advances it
        std::vector<SYSTEMTIME> script;   // or these readings, the re-arming's last
        std::vector<DWORD> sleeps;
        SYSTEMTIME recorded;              // LastCheck afterwards
        std::size_t sounds;               // at this firing
        UINT nextDelay;
    } cases[] = {
        {"just before the boundary", 3600, false, ClockAt(10, 59, 0), ClockAt(10, 59, 59, 900), {}, {100},
         ClockAt(11, 0, 0), 1, 60000},
        {"just after the boundary", 3600, false, ClockAt(10, 59, 0), ClockAt(11, 0, 0, 200), {}, {},
         ClockAt(11, 0, 0), 1, 59800},
        {"the first reading of a new minute ends it", 3600, false, ClockAt(10, 59, 0), {},
         {ClockAt(10, 59, 58, 100), ClockAt(10, 59, 58, 600), ClockAt(10, 59, 59, 400),
          ClockAt(11, 0, 1, 250), ClockAt(11, 0, 1, 300)},
         {1900, 100, 600}, ClockAt(11, 0, 1), 1, 58700},
        {"the first after a start, 2 s before its boundary", 3600, true, ClockAt(10, 59, 30),
         ClockAt(10, 59, 58), {}, {2000}, ClockAt(11, 0, 0), 1, 60000},
        {"the first after a start, 40 s before its boundary", 3600, true, ClockAt(11, 0, 0, 100),
         ClockAt(11, 0, 20), {}, {}, ClockAt(11, 0, 20), 1, 40000},
        {"a second firing in the same minute", 3600, false, ClockAt(11, 0, 0), ClockAt(11, 0, 20), {},
         std::vector<DWORD>(30, 100), ClockAt(11, 0, 22), 1, 37000},
        {"late, not due", 300, false, ClockAt(11, 0, 0), ClockAt(11, 7, 40), {}, {}, ClockAt(11, 7, 40), 0,
         20000},
        {"late, due", 60, false, ClockAt(11, 0, 0), ClockAt(11, 7, 40), {}, {}, ClockAt(11, 7, 40), 1, 20000},
        {"late by a quarter", 900, false, ClockAt(11, 0, 0), ClockAt(12, 15, 5), {}, {}, ClockAt(12, 15, 5), 1,
         55000},
        {"clock set back", 1800, false, ClockAt(11, 0, 0), ClockAt(10, 30, 10), {}, {}, ClockAt(10, 30, 10), 1,
         50000},
        {"late, at the end of a minute", 900, false, ClockAt(11, 0, 0), ClockAt(11, 45, 59, 999), {}, {},
         ClockAt(11, 45, 59), 1, 1},
        {"a resume an hour later in the minute of the last check", 3600, false, ClockAt(10, 0, 0),
         ClockAt(11, 0, 0, 200), {}, {}, ClockAt(11, 0, 0), 1, 59800},
        {"a resume a day later at the hour and minute of the last check", 3600, false, ClockAt(10, 0, 0),
         DayLater(ClockAt(10, 0, 0, 200)), {}, {}, DayLater(ClockAt(10, 0, 0)), 1, 59800},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reset();
        Configure(c.interval, 0, "chime.wav");
        Module->Timer.LastCheck.wMinute = 0xFFFF;  // as constructed
        SetClock(c.checked);
        if (c.started) Module->ArmSignalTimer();
        if (!c.started) Module->OnSignalTimer();
        recorded::ClearRecord();
        SetClock(c.now);
        recorded::Answer([&](recorded::Answers& a) { a.Readings.assign(c.script.begin(), c.script.end()); });
        SignalTimerProc(Window.Get(), WM_TIMER, SIGNAL_TIMER_ID, 0);
        EXPECT_EQ(Snapshot().HostSleeps, c.sleeps);
        // Each sleep follows a reading; after the 30th no reading follows. Then the re-arming's.
        EXPECT_EQ(Snapshot().ClockReadings, static_cast<int>(std::min<std::size_t>(c.sleeps.size() + 1, 30)) + 1);
        EXPECT_EQ(Module->Timer.LastCheck.wDay, c.recorded.wDay);
        EXPECT_EQ(Module->Timer.LastCheck.wHour, c.recorded.wHour);
        EXPECT_EQ(Module->Timer.LastCheck.wMinute, c.recorded.wMinute);
        EXPECT_EQ(Module->Timer.LastCheck.wSecond, c.recorded.wSecond);
        EXPECT_EQ(Snapshot().Sounds.size(), c.sounds);
        recorded::TimerCall timer{};
        ASSERT_TRUE(Armed(&timer));
        EXPECT_EQ(timer.Delay, c.nextDelay);
    }
}

// Started at the row's reading, then five boundaries, each firing off its delay by
// `firstLateMs` (the first) or `lateMs` (the others). A firing before its boundary (timers
// fire early; a clock slewed by time sync), the first after the start included, waits for it
// to the millisecond and re-arms from the new minute. Every minute sounds once, on its
// boundary or as late as its firing came, and none is skipped.
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
        Reset();
        NewModule(60);
        SetClock(ClockAt(10, 0, c.second, c.milliseconds));
        Module->ArmSignalTimer();
        for (WORD minute = 1; minute <= 5; ++minute) {
            const int late = minute == 1 ? c.firstLateMs : c.lateMs;
            ASSERT_TRUE(Fire(late));
            const std::vector<recorded::SoundCall> sounds = Snapshot().Sounds;
            ASSERT_EQ(sounds.size(), static_cast<size_t>(minute)) << "by 10:0" << minute;
            const SYSTEMTIME& at = sounds.back().Clock;
            EXPECT_EQ(at.wMinute, minute);
            EXPECT_EQ(at.wSecond, 0);
            EXPECT_EQ(at.wMilliseconds, std::max(0, late)) << "10:0" << minute;
        }
    }
}
