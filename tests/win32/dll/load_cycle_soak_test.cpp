// The host loading, driving and unloading the real module a thousand times in one process,
// a quarter of the times while an hour-count worker still plays: afterwards the module is
// gone and the process holds no more handles, threads or private memory than after the
// warm-up. The clock, the first timer's delay and the sound are redirected through the
// module's import table (see unload_test.cpp); the settings file is real.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <vector>

#include "support/import_hook.h"
#include "support/module_under_test.h"
#include "support/process_resources.h"
#include "support/settings_files.h"
#include "module/scoped_win.h"

namespace {

constexpr int kWarmUpCycles = 20;
constexpr int kCycles = 1000;

// What the hooks answer and count; reset at every cycle.
struct Cycle {
    SYSTEMTIME Now{};
    std::atomic<int> Sets{0};
    std::atomic<int> SyncPlays{0};
    std::atomic<DWORD> Worker{0};  // the thread of the first synchronous play
    scoped::Handle Entered{CreateEventA(nullptr, TRUE, FALSE, nullptr)};  // a play began
    scoped::Handle Release{CreateEventA(nullptr, TRUE, FALSE, nullptr)};  // held plays may end
    bool Hold = false;  // plays wait for Release
};

Cycle* g = nullptr;

void WINAPI HookedGetLocalTime(SYSTEMTIME* now) {
    *now = g->Now;
}

// The first arming fires at once; the re-armed timer keeps its minute and never fires.
UINT_PTR WINAPI HookedSetTimer(HWND window, UINT_PTR id, UINT delay, TIMERPROC callback) {
    return ::SetTimer(window, id, g->Sets++ == 0 ? 1 : delay, callback);
}

// A quick stand-in for the sound; a held play lasts until the host has let go.
BOOL WINAPI HookedPlaySoundA(LPCSTR, HMODULE, DWORD flags) {
    if ((flags & SND_ASYNC) != 0) return TRUE;
    DWORD none = 0;
    g->Worker.compare_exchange_strong(none, GetCurrentThreadId());
    ++g->SyncPlays;
    SetEvent(g->Entered.Get());
    if (g->Hold) WaitForSingleObject(g->Release.Get(), 20000);
    return TRUE;
}

// The host has the system libraries the module imports loaded for good (a launcher with
// windows, dialogs and sound uses them all); each cycle then maps and unmaps the module
// alone. Without this every cycle would also load and unload the libraries behind them, and
// Wine's own (its audio codec manager and print spooler among them) leave about 15 handles
// behind at each unload.
class PinnedImports {
public:
    explicit PinnedImports(HMODULE module) {
        const auto* base = reinterpret_cast<const BYTE*>(module);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
            base + reinterpret_cast<const IMAGE_DOS_HEADER*>(module)->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
             imports.VirtualAddress && entry->Name; ++entry) {
            if (HMODULE pinned = LoadLibraryA(reinterpret_cast<const char*>(base + entry->Name))) {
                libraries_.push_back(pinned);
            }
        }
    }
    ~PinnedImports() {
        for (HMODULE library : libraries_) FreeLibrary(library);
    }
    PinnedImports(const PinnedImports&) = delete;
    PinnedImports& operator=(const PinnedImports&) = delete;
    std::size_t Count() const { return libraries_.size(); }

private:
    std::vector<HMODULE> libraries_;
};

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
    Cycle cycle;
    cycle.Now = SYSTEMTIME{2025, 1, 1, 6, 15, kind.minute, 0, 0};
    cycle.Hold = kind.hold;
    g = &cycle;

    auto module = std::make_unique<ModuleUnderTest>();
    ASSERT_TRUE(module->Loaded());
    std::vector<std::unique_ptr<ImportHook>> hooks;
    hooks.push_back(std::make_unique<ImportHook>(module->Handle, "KERNEL32.dll", "GetLocalTime",
                                                 HookAddress(&HookedGetLocalTime)));
    hooks.push_back(std::make_unique<ImportHook>(module->Handle, "USER32.dll", "SetTimer", HookAddress(&HookedSetTimer)));
    hooks.push_back(std::make_unique<ImportHook>(module->Handle, "WINMM.dll", "PlaySoundA",
                                                 HookAddress(&HookedPlaySoundA)));
    for (const auto& hook : hooks) ASSERT_TRUE(hook->Installed());

    module->Api.SetParentWindow(window);
    ASSERT_NE(module->Api.InitialLoad(1), 0);
    ASSERT_EQ(module->Api.StartModule(), 1);
    // The firing is over once it has re-armed; a due one has its worker inside a play.
    ASSERT_TRUE(PumpMessagesUntil([&] { return cycle.Sets >= 2; }, 5000)) << "the timer never fired";
    if (kind.plays > 0) {
        ASSERT_EQ(WaitForSingleObject(cycle.Entered.Get(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    }
    scoped::Handle worker(cycle.Worker ? OpenThread(SYNCHRONIZE, FALSE, cycle.Worker) : nullptr);

    module->Api.StopModule();
    module->Unload();
    if (kind.hold) {
        EXPECT_TRUE(ModuleMapped()) << "unmapped under a playing worker";
    } else if (kind.plays == 0) {
        EXPECT_FALSE(ModuleMapped()) << "FreeLibrary left the module mapped";
    }
    SetEvent(cycle.Release.Get());
    if (worker.Get()) {
        ASSERT_EQ(WaitForSingleObject(worker.Get(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    }
    ASSERT_TRUE(PumpMessagesUntil([] { return !ModuleMapped(); }, 5000)) << "the module stayed mapped";
    EXPECT_EQ(cycle.SyncPlays, kind.plays);
    hooks.clear();  // the table is gone with the module: nothing to put back
    g = nullptr;
}

}  // namespace

TEST(LoadCycleSoak, AThousandLoadDriveUnloadCyclesLeaveNothingBehind) {
    SettingsFilesSandbox files;
    ASSERT_TRUE(WriteFileBytes(PortableIniPath(),
                               "[Orlune]\r\nEnable=1\r\nSignalType=1\r\nInterval=1800\r\nTimeType=0\r\n"
                               "WaveName=chime.wav\r\n"));
    const HWND window = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
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
        RunCycle(window, kKinds[i % 4]);
        if (HasFatalFailure()) break;
    }
    const ProcessResources start = SampleProcessResources();
    const auto began = std::chrono::steady_clock::now();
    for (int i = 0; i < kCycles && !HasFatalFailure(); ++i) {
        SCOPED_TRACE(testing::Message() << "cycle " << i);
        RunCycle(window, kKinds[i % 4]);
    }
    const ProcessResources end = SampleProcessResources();
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::printf("%d load cycles in %.1f s\n", kCycles, seconds);
    DestroyWindow(window);

    EXPECT_FALSE(ModuleMapped());
    EXPECT_EQ(IniText::FromFile(PortableIniPath()).Value("Orlune", "SignalType"), "1") << "the saves went wrong";
    // Private bytes: each load maps the image and the loader's records anew, and Wine's heap
    // keeps some of that; a leak of 256 bytes per cycle would exceed this.
    ExpectNoGrowth("dll load-cycle soak", start, end, {0, 256 * 1024});
}
