// The host loading, driving and unloading the real module a thousand times in one process,
// a quarter of the times while an hour-count worker still plays: afterwards the module is
// gone and the process holds no more handles, threads or private memory than after the
// warm-up. The clock, the first timer's delay and the sound are redirected through the
// module's import table (support/recorded_system.h); the settings file is real.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <chrono>
#include <cstddef>
#include <memory>

#include "support/message_window.h"
#include "support/module_under_test.h"
#include "support/process_resources.h"
#include "support/recorded_system.h"
#include "support/settings_files.h"

namespace {

constexpr int kWarmUpCycles = 20;
constexpr int kCycles = 1000;

// The kinds of cycle, in turn: the count at 15:00 (three plays) with the host unloading
// during the first; the single half-past play, ending whenever it ends; and twice a firing
// in a minute that is not due.
struct Kind {
    WORD minute;
    bool hold;
    int plays;
};
const Kind kKinds[] = {{0, true, 3}, {7, false, 0}, {30, false, 1}, {7, false, 0}};

// One load-drive-unload cycle; returns with the module unmapped and its worker ended.
void RunCycle(HWND window, const Kind& kind) {
    recorded::Answers answers;
    answers.Clock = recorded::ClockAt(15, kind.minute, 0);
    answers.ShortTimers = 1;  // the first arming fires at once; the re-armed timer never fires
    answers.HoldSyncPlays = kind.hold;  // a held play lasts until the host has let go
    recorded::Reset(answers);

    RecordedModule module;
    ASSERT_TRUE(module.Ready()) << module.Missing;

    module.Api.SetParentWindow(window);
    ASSERT_NE(module.Api.InitialLoad(1), 0);
    ASSERT_EQ(module.Api.StartModule(), 1);
    // The firing is over once it has re-armed; a due one has its worker inside a play.
    ASSERT_TRUE(PumpMessagesUntil([] { return recorded::Snapshot().SetCalls >= 2; }, 5000))
        << "the timer never fired";
    ASSERT_TRUE(kind.plays == 0 || PumpMessagesUntil([] { return recorded::Snapshot().PlayCalls > 0; }, 5000));

    module.Api.StopModule();
    module.Unload();
    EXPECT_TRUE(!kind.hold || ModuleMapped()) << "unmapped under a playing worker";
    EXPECT_TRUE(kind.hold || kind.plays > 0 || !ModuleMapped()) << "FreeLibrary left the module mapped";
    recorded::ReleasePlays();
    const HANDLE worker = recorded::FirstPlayer();
    ASSERT_TRUE(!worker || WaitForSingleObject(worker, 5000) == WAIT_OBJECT_0) << "the worker never ended";
    ASSERT_TRUE(PumpMessagesUntil([] { return !ModuleMapped(); }, 5000)) << "the module stayed mapped";
    EXPECT_EQ(recorded::Snapshot().SyncPlays(), static_cast<std::size_t>(kind.plays));
    recorded::Reset();  // closes the worker's handle
}

}  // namespace

TEST(LoadCycleSoak, AThousandLoadDriveUnloadCyclesLeaveNothingBehind) {
    SettingsFilesSandbox files;
    ASSERT_TRUE(WriteFileBytes(PortableIniPath(),
                               "[Orlune]\r\nEnable=1\r\nSignalType=1\r\nInterval=1800\r\nTimeType=0\r\n"
                               "WaveName=chime.wav\r\n"));
    const MessageWindow window;
    ASSERT_NE(window.Get(), nullptr);
    ASSERT_FALSE(ModuleMapped()) << "left loaded by an earlier test";
    std::unique_ptr<PinnedImports> imports;
    {
        ModuleUnderTest probe;
        ASSERT_TRUE(probe.Loaded());
        imports = std::make_unique<PinnedImports>(probe.Handle);
    }
    ASSERT_GE(imports->Count(), 5u) << "the module's imports were not found";

    for (int i = 0; i < kWarmUpCycles; ++i) {
        SCOPED_TRACE(testing::Message() << "warm-up cycle " << i);  // GoogleTest's first trace starts a thread
        RunCycle(window.Get(), kKinds[i % 4]);
        if (HasFatalFailure()) break;
    }
    const ProcessResources start = SampleProcessResources();
    const auto began = std::chrono::steady_clock::now();
    for (int i = 0; i < kCycles && !HasFatalFailure(); ++i) {
        SCOPED_TRACE(testing::Message() << "cycle " << i);
        RunCycle(window.Get(), kKinds[i % 4]);
    }
    const ProcessResources end = SampleProcessResources();
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::printf("%d load cycles in %.1f s\n", kCycles, seconds);

    EXPECT_FALSE(ModuleMapped());
    EXPECT_EQ(IniText::FromFile(PortableIniPath()).Value("Orlune", "SignalType"), "1") << "the saves went wrong";
    // Private bytes: each load maps the image and the loader's records anew, and Wine's heap
    // keeps some of that; a leak of 256 bytes per cycle would exceed this.
    ExpectNoGrowth("dll load-cycle soak", start, end, {0, 256 * 1024});
}
