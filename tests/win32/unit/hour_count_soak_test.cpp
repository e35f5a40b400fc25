// A month of minute firings on each clock in the hour-count mode, every due minute handing
// its plays to a real worker thread: every day plays its full count, and the process holds
// no more handles, threads or private memory at the end than after the warm-up.
#include "unit/scheduler_fixture.h"


#include "support/process_resources.h"

namespace {

using HourCountSoak = SchedulerTest;

constexpr int kDays = 30;  // per clock
constexpr int kMinutesPerDay = 24 * 60;

// Interval 1800: the count at every full hour, one play at every half past.
struct Clock {
    int timeType;
    int playsPerDay;
};
const Clock kClocks[] = {
    {0, 2 * 78 + 24},   // 12 + 1 + 2 + ... + 11, twice, and 24 half-pasts
    {1, 300 + 24},      // 24 + 1 + 2 + ... + 23, and 24 half-pasts
};

}  // namespace

TEST_F(HourCountSoak, AMonthOfFiringsOnBothClocksPlaysEveryCountAndLeaksNothing) {
    // One simulated day from 00:00 to 23:59 on the armed timer. Each due firing's worker is
    // waited for before the next minute, so no job replaces another and every count is whole.
    auto runDay = [&](int& plays, int& workers) {
        for (int minute = 0; minute < kMinutesPerDay; ++minute) {
            if (!Fire() || !recorded::WaitForWorkers()) return false;
        }
        plays = CountSounds(SND_SYNC);
        workers = Snapshot().WorkerStarts;
        return recorded::ClearRecord();  // else the record grows
    };

    int plays = 0, workers = 0;
    // Warm-up: a day on each clock, so first-use allocations are made before the count (the
    // trace, too: GoogleTest starts a thread for the first thread-local it keeps).
    for (const Clock& clock : kClocks) {
        SCOPED_TRACE(testing::Message() << "warm-up, TimeType " << clock.timeType);
        Configure(1800, 1, "chime.wav", clock.timeType);
        SetClock(ClockAt(23, 59, 30));
        Module->ArmSignalTimer();
        ASSERT_TRUE(runDay(plays, workers));
    }
    const ProcessResources start = SampleProcessResources();

    for (const Clock& clock : kClocks) {
        Configure(1800, 1, "chime.wav", clock.timeType);
        for (int day = 0; day < kDays; ++day) {
            SCOPED_TRACE(testing::Message() << "TimeType " << clock.timeType << ", day " << day);
            ASSERT_TRUE(runDay(plays, workers)) << "the chain broke or a worker never ended";
            ASSERT_EQ(plays, clock.playsPerDay);
            ASSERT_EQ(workers, 48) << "one worker per due minute";
        }
    }

    // Private bytes: the heap may keep a little more after thousands of thread starts
    // (fragmentation); a leak of 200 bytes per worker over the 2,880 workers would exceed it.
    ExpectNoGrowth("unit hour-count soak", start, SampleProcessResources(), {0, 512 * 1024});
}
