// The hour-count plays: the count for each clock, the worker on its own thread while the
// host's thread goes on, one job replacing another, and the hand-over record under load.
#include "unit/scheduler_fixture.h"

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "win32/scoped_win.h"
#include "scheduler/hour_count.h"

namespace {

using HourCountTest = SchedulerTest;

// Unique names (97 is prime to 259), each one letter repeated: a torn read mixes letters.
std::string NameOf(int job) {
    return std::string(1 + (job * 97) % 259, static_cast<char>('A' + job % 26));
}

}  // namespace

// ---- The count --------------------------------------------------------------------------

// The count for each clock hour by hour is native.logic's; here it reaches the worker.
TEST_F(HourCountTest, PlaysAsOftenAsTheClockShowsHoursOnBothClocks) {
    const struct {
        WORD hour, minute;
        bool twentyFourHour;
        int plays;
    } cases[] = {
        {0, 0, false, 12}, {0, 0, true, 24}, {12, 0, false, 12}, {13, 0, false, 1},
        {13, 0, true, 13}, {15, 30, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hour << ":" << c.minute << (c.twentyFourHour ? " 24h" : " 12h"));
        Reset();
        PlayHourCount("chime.wav", c.twentyFourHour, c.hour, c.minute);
        ASSERT_TRUE(recorded::WaitForWorkers());
        EXPECT_EQ(Snapshot().WorkerStarts, 1);
        const std::vector<recorded::SoundCall> sounds = Snapshot().Sounds;
        ASSERT_EQ(sounds.size(), static_cast<size_t>(c.plays));
        for (const recorded::SoundCall& sound : sounds) {
            EXPECT_EQ(sound.Name, "chime.wav");
            EXPECT_EQ(sound.Flags, static_cast<DWORD>(SND_SYNC)) << "plays would cut each other off";
            EXPECT_NE(sound.ThreadId, GetCurrentThreadId()) << "played on the host's thread";
            EXPECT_EQ(sound.ThreadId, sounds[0].ThreadId) << "one worker plays them all";
        }
    }
}

// ---- The worker and the host's thread ---------------------------------------------------

// The road of one chime from the timer, on either clock: the firing hands the plays to a
// worker and has the timer armed again before the first play ends (the host's thread
// would hang in it otherwise).
TEST_F(HourCountTest, FiringHandsThePlaysToAWorkerAndRearmsAtOnce) {
    const struct {
        DWORD interval;
        int timeType;
        WORD hour, minute;  // a minute before the signal
        std::size_t plays;
    } cases[] = {{3600, 0, 14, 59, 3}, {1800, 1, 23, 59, 24}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plays);
        Reset();
        NewModule(c.interval);  // of its own: the last firing's minute would make the due check wait
        Configure(c.interval, 1, "chime.wav", c.timeType);
        recorded::Answer([](recorded::Answers& a) { a.HoldSyncPlays = true; });
        SetClock(ClockAt(c.hour, c.minute, 0));
        Module->ArmSignalTimer();
        ASSERT_TRUE(Fire());
        recorded::TimerCall timer{};
        EXPECT_TRUE(Armed(&timer));
        EXPECT_EQ(timer.Delay, 60000u);
        ASSERT_TRUE(PumpMessagesUntil([] { return Snapshot().PlayCalls >= 1; }, 5000));
        EXPECT_EQ(Snapshot().Sounds.size(), 1u) << "the second play began before the first ended";
        recorded::ReleasePlays();
        ASSERT_TRUE(recorded::WaitForWorkers());
        EXPECT_EQ(Snapshot().Sounds.size(), c.plays);
        EXPECT_EQ(recorded::OnThread(Snapshot().Sounds, GetCurrentThreadId()).size(), 0u);
    }
}

// The count comes from the due check's own reading: one taken a moment later (10:31) would
// play ten times for half past ten.
TEST_F(HourCountTest, TheCountComesFromTheDueChecksReading) {
    Configure(1800, 1, "chime.wav");
    recorded::Answer([](recorded::Answers& a) {
        a.Readings = {ClockAt(10, 30, 59, 999), ClockAt(10, 31, 0), ClockAt(10, 31, 0)};
    });
    Module->OnSignalTimer();
    ASSERT_TRUE(recorded::WaitForWorkers());
    EXPECT_EQ(Snapshot().Sounds.size(), 1u);
}

// A start the system refuses plays nothing and is not reported; the record is still filled,
// with at most 259 bytes of the name, always terminated.
TEST_F(HourCountTest, RefusedWorkerPlaysNothingAndTheRecordKeeps259Bytes) {
    recorded::Answer([](recorded::Answers& a) { a.RefuseWorkers = true; });
    const struct {
        int row;
        std::size_t length, kept;
    } cases[] = {{1, 0, 0}, {2, 9, 9}, {3, 259, 259}, {4, 260, 259}, {5, 1000, 259}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        const std::string name(c.length, static_cast<char>('a' + c.row));
        PlayHourCount(name.c_str(), true, 15, 0);
        const HourCountJob job = CurrentHourCountJob();
        EXPECT_EQ(job.Count, 15);
        EXPECT_EQ(std::string(job.Name, strnlen(job.Name, sizeof job.Name)), name.substr(0, c.kept));
    }
    EXPECT_EQ(Snapshot().WorkerStarts, 0);
    EXPECT_TRUE(Snapshot().Sounds.empty());
}

// ---- One job after another --------------------------------------------------------------

// A new signal while a worker still plays: the older worker stops after the play under way
// (it must neither go on with the new count nor switch to the new name mid-job), and the
// newer one plays its whole count.
TEST_F(HourCountTest, NewerJobReplacesTheOlderAfterItsCurrentPlay) {
    recorded::Answer([](recorded::Answers& a) { a.HoldSyncPlays = true; });
    PlayHourCount("first.wav", false, 15, 0);  // 3 plays
    ASSERT_TRUE(PumpMessagesUntil([] { return Snapshot().PlayCalls >= 1; }, 5000));
    const DWORD older = Snapshot().Sounds[0].ThreadId;

    PlayHourCount("second.wav", true, 16, 0);  // 16 plays
    ASSERT_TRUE(PumpMessagesUntil([] { return Snapshot().PlayCalls >= 2; }, 5000));
    const DWORD newer = Snapshot().Sounds[1].ThreadId;
    ASSERT_NE(older, newer);

    recorded::ReleasePlays();
    ASSERT_TRUE(recorded::WaitForWorkers());
    const std::vector<recorded::SoundCall> olderSounds = recorded::OnThread(Snapshot().Sounds, older);
    const std::vector<recorded::SoundCall> newerSounds = recorded::OnThread(Snapshot().Sounds, newer);
    ASSERT_EQ(olderSounds.size(), 1u);
    EXPECT_EQ(olderSounds[0].Name, "first.wav");
    EXPECT_EQ(newerSounds.size(), 16u);
    for (const recorded::SoundCall& sound : newerSounds) EXPECT_EQ(sound.Name, "second.wav");
}

// Many jobs in quick succession, names of every length: each play must name exactly one of
// the jobs, never the front of a new name over the tail of an old one.
TEST_F(HourCountTest, WorkersNeverSeeAHalfWrittenName) {
    constexpr int kJobs = 300;
    std::set<std::string> names;
    for (int job = 0; job < kJobs; ++job) {
        names.insert(NameOf(job));
        PlayHourCount(NameOf(job).c_str(), false, 0, 0);
    }
    ASSERT_EQ(names.size(), static_cast<size_t>(kJobs));
    ASSERT_TRUE(recorded::WaitForWorkers(30000)) << "a worker still played 30 s after the last job";
    const std::vector<recorded::SoundCall> sounds = Snapshot().Sounds;
    ASSERT_FALSE(sounds.empty()) << "no job played; expected at least the last one's 12 plays "
                                    "(0 o'clock on the 12-hour clock)";
    int torn = 0;
    for (const recorded::SoundCall& sound : sounds) {
        if (names.count(sound.Name) == 0) ++torn;
        EXPECT_NE(sound.ThreadId, GetCurrentThreadId());
    }
    EXPECT_EQ(torn, 0) << "plays that named none of the jobs (a half-written name), of " << sounds.size();
    // The last job was never replaced: it plays in full.
    int lastPlays = 0;
    for (const recorded::SoundCall& sound : sounds) lastPlays += sound.Name == NameOf(kJobs - 1);
    EXPECT_EQ(lastPlays, 12) << "plays of the last job, which nothing replaced: 0 o'clock on the 12-hour "
                                "clock counts 12";
}

// The same without thread starts in between, so that writes come back to back while another
// thread copies the record: every copy holds one job's name with that job's count.
TEST_F(HourCountTest, TheRecordIsNeverSeenHalfWritten) {
    struct Job {
        std::string name;
        bool twentyFourHour;  // at midnight: 24 plays, else 12
    };
    std::vector<Job> jobs;
    for (int job = 0; job < 64; ++job) jobs.push_back({NameOf(job), job % 2 == 0});
    struct Reader {
        const std::vector<Job>* jobs;
        volatile LONG stop = 0, copies = 0;
        LONG torn = 0;
        static DWORD WINAPI Run(void* self) {
            Reader& r = *static_cast<Reader*>(self);
            while (!r.stop) {
                const HourCountJob copy = CurrentHourCountJob();
                if (copy.Count == 0) continue;  // nothing handed over yet
                bool whole = false;
                for (const Job& job : *r.jobs) {
                    if (job.name == copy.Name && copy.Count == (job.twentyFourHour ? 24 : 12)) whole = true;
                }
                ++r.copies;
                r.torn += !whole;
            }
            return 0;
        }
    } reader;
    reader.jobs = &jobs;

    recorded::Answer([](recorded::Answers& a) { a.RefuseWorkers = true; });
    const scoped::Handle thread(CreateThread(nullptr, 0, &Reader::Run, &reader, 0, nullptr));
    ASSERT_TRUE(thread.Valid());
    // Until the reader has made plenty of copies while the writes went on (bounded, in case
    // the reader never gets a turn).
    for (int round = 0; round < 2000000 && reader.copies < 50000; ++round) {
        const Job& job = jobs[round % jobs.size()];
        PlayHourCount(job.name.c_str(), job.twentyFourHour, 0, 0);
    }
    InterlockedExchange(&reader.stop, 1);
    WaitForSingleObject(thread.Get(), INFINITE);
    EXPECT_GE(reader.copies, 10000) << "the reader hardly ran: the check proves little";
    EXPECT_EQ(reader.torn, 0) << "of " << reader.copies << " copies";
}
