// Unloading the real module while it still has work under way: a worker playing an hour
// count, or the timer armed on the host's window. The module's calls to the clock, sleep,
// timers, sound and profile writes are redirected through its import table to the
// functions below; they and their records live in this executable, so they outlive the
// module. Code run where the module had been mapped fails the test: on a worker it crashes
// the process; in a timer callback, where the system swallows the fault, a vectored
// handler counts it.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "support/import_hook.h"
#include "support/module_under_test.h"
#include "support/settings_files.h"

namespace {

constexpr UINT_PTR kSignalTimerId = 5000;
constexpr UINT kShortDelayMs = 20;

struct TimerCall {
    HWND Window;
    UINT_PTR Id;
    UINT Delay;  // as the module asked
    DWORD ThreadId;
    UINT_PTR Result;
};

struct SoundCall {
    std::string Name;
    DWORD Flags;
    DWORD ThreadId;
};

// What the hooks saw, and how they answer.
struct Monitor {
    std::mutex Lock;
    SYSTEMTIME Now{};                // every GetLocalTime reading
    int ShortDelaysLeft = 0;         // SetTimer calls forwarded with kShortDelayMs
    int Readings = 0;
    std::vector<TimerCall> Sets, Kills;
    std::vector<DWORD> Sleeps;       // answered at once
    std::vector<SoundCall> Sounds;
    std::vector<DWORD> ProfileWriteThreads;
    HANDLE SoundEntered = nullptr;   // set when a synchronous play begins
    HANDLE SoundRelease = nullptr;   // synchronous plays block until this is set
    HANDLE Worker = nullptr;         // the thread of the first synchronous play
    // Where the module was mapped, and how often code faulted there. Counted by a vectored
    // handler, which sees a fault first even where the system swallows it afterwards (as
    // both Windows and Wine do for a timer callback).
    ULONG_PTR ImageStart = 0, ImageEnd = 0;
    volatile LONG FaultsInModule = 0;
};

Monitor g;

LONG CALLBACK CountFaultsInModule(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    const auto address = reinterpret_cast<ULONG_PTR>(record->ExceptionAddress);
    if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && address >= g.ImageStart &&
        address < g.ImageEnd) {
        InterlockedIncrement(&g.FaultsInModule);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

void WINAPI HookedGetLocalTime(SYSTEMTIME* now) {
    std::lock_guard<std::mutex> lock(g.Lock);
    ++g.Readings;
    *now = g.Now;
}

void WINAPI HookedSleep(DWORD milliseconds) {
    std::lock_guard<std::mutex> lock(g.Lock);
    g.Sleeps.push_back(milliseconds);
}

UINT_PTR WINAPI HookedSetTimer(HWND window, UINT_PTR id, UINT delay, TIMERPROC callback) {
    UINT forwarded = delay;
    {
        std::lock_guard<std::mutex> lock(g.Lock);
        if (g.ShortDelaysLeft > 0) {
            --g.ShortDelaysLeft;
            forwarded = kShortDelayMs;
        }
    }
    const UINT_PTR result = ::SetTimer(window, id, forwarded, callback);  // this executable's import
    std::lock_guard<std::mutex> lock(g.Lock);
    g.Sets.push_back({window, id, delay, GetCurrentThreadId(), result});
    return result;
}

BOOL WINAPI HookedKillTimer(HWND window, UINT_PTR id) {
    const BOOL result = ::KillTimer(window, id);
    std::lock_guard<std::mutex> lock(g.Lock);
    g.Kills.push_back({window, id, 0, GetCurrentThreadId(), static_cast<UINT_PTR>(result)});
    return result;
}

BOOL WINAPI HookedPlaySoundA(LPCSTR name, HMODULE, DWORD flags) {
    const bool sync = (flags & SND_ASYNC) == 0;
    {
        std::lock_guard<std::mutex> lock(g.Lock);
        g.Sounds.push_back({name ? name : "", flags, GetCurrentThreadId()});
        if (sync && !g.Worker) g.Worker = OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId());
    }
    if (sync) {
        SetEvent(g.SoundEntered);
        WaitForSingleObject(g.SoundRelease, 20000);
    }
    return TRUE;
}

BOOL WINAPI HookedWritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) {
    {
        std::lock_guard<std::mutex> lock(g.Lock);
        g.ProfileWriteThreads.push_back(GetCurrentThreadId());
    }
    return ::WritePrivateProfileStringA(section, key, value, file);
}

const struct {
    const char* dll;
    const char* function;
    const void* hook;
    const char* systemDll;  // where the system's own function is exported
} kHooks[] = {
    {"KERNEL32.dll", "GetLocalTime", HookAddress(&HookedGetLocalTime), "kernel32.dll"},
    {"KERNEL32.dll", "Sleep", HookAddress(&HookedSleep), "kernel32.dll"},
    {"KERNEL32.dll", "WritePrivateProfileStringA", HookAddress(&HookedWritePrivateProfileStringA), "kernel32.dll"},
    {"USER32.dll", "SetTimer", HookAddress(&HookedSetTimer), "user32.dll"},
    {"USER32.dll", "KillTimer", HookAddress(&HookedKillTimer), "user32.dll"},
    {"WINMM.dll", "PlaySoundA", HookAddress(&HookedPlaySoundA), "winmm.dll"},
};

SYSTEMTIME ClockAt(WORD hour, WORD minute, WORD second) {
    SYSTEMTIME time{};
    time.wYear = 2025;
    time.wMonth = 1;
    time.wDay = 6;
    time.wDayOfWeek = 1;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    return time;
}

void PumpFor(DWORD milliseconds) {
    PumpMessagesUntil([] { return false; }, milliseconds);
}

bool Signaled(HANDLE handle) {
    return handle && WaitForSingleObject(handle, 0) == WAIT_OBJECT_0;
}

template <typename T>
T Locked(const std::function<T()>& read) {
    std::lock_guard<std::mutex> lock(g.Lock);
    return read();
}

class Unload : public ::testing::Test {
protected:
    void SetUp() override {
        g.Now = ClockAt(15, 0, 5);
        g.ShortDelaysLeft = 0;
        g.Readings = 0;
        g.Sets.clear();
        g.Kills.clear();
        g.Sleeps.clear();
        g.Sounds.clear();
        g.ProfileWriteThreads.clear();
        g.SoundEntered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        g.SoundRelease = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        g.Worker = nullptr;
        g.ImageStart = g.ImageEnd = 0;
        g.FaultsInModule = 0;
        FaultCounter = AddVectoredExceptionHandler(1, CountFaultsInModule);
        Window = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_NE(Window, nullptr);
        ASSERT_FALSE(ModuleMapped()) << "left loaded by an earlier test";
    }

    void TearDown() override {
        SetEvent(g.SoundRelease);
        Hooks.clear();
        Module.reset();
        EXPECT_TRUE(PumpMessagesUntil([] { return !ModuleMapped(); }, 10000)) << "the module never went away";
        EXPECT_EQ(g.FaultsInModule, 0) << "code ran where the module had been mapped";
        RemoveVectoredExceptionHandler(FaultCounter);
        KillTimer(Window, kSignalTimerId);
        DestroyWindow(Window);
        if (g.Worker) CloseHandle(g.Worker);
        CloseHandle(g.SoundEntered);
        CloseHandle(g.SoundRelease);
    }

    // The settings file beside this executable (which stands in for the host). TimeType is
    // left out on purpose: it appears once the module has saved at detach.
    void WriteSettings(int signalType) {
        ASSERT_TRUE(WriteFileBytes(PortableIniPath(),
                                   "[Orlune]\r\nEnable=1\r\nSignalType=" + std::to_string(signalType) +
                                       "\r\nInterval=60\r\nWaveName=chime.wav\r\n"));
    }

    bool SavedAtDetach() const {
        return IniText::FromFile(PortableIniPath()).Value("Orlune", "TimeType").has_value();
    }

    void LoadAndHook() {
        Module = std::make_unique<ModuleUnderTest>();
        ASSERT_TRUE(Module->Loaded());
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(Module->Handle);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
            reinterpret_cast<const BYTE*>(Module->Handle) + dos->e_lfanew);
        g.ImageStart = reinterpret_cast<ULONG_PTR>(Module->Handle);
        g.ImageEnd = g.ImageStart + nt->OptionalHeader.SizeOfImage;
        for (const auto& h : kHooks) {
            Hooks.push_back(std::make_unique<ImportHook>(Module->Handle, h.dll, h.function, h.hook));
            ASSERT_TRUE(Hooks.back()->Installed()) << h.dll << "!" << h.function << " is not in the import table";
        }
    }

    // Host's start: window, portable settings, timer.
    void Start(bool withWindow = true) {
        if (withWindow) Module->Api.SetParentWindow(Window);
        Module->Api.InitialLoad(1);
        ASSERT_EQ(Module->Api.StartModule(), 1);
    }

    std::vector<TimerCall> KillsOnThread(DWORD threadId) {
        std::vector<TimerCall> kills;
        std::lock_guard<std::mutex> lock(g.Lock);
        for (const TimerCall& kill : g.Kills) {
            if (kill.ThreadId == threadId && kill.Window == Window && kill.Id == kSignalTimerId) {
                kills.push_back(kill);
            }
        }
        return kills;
    }

    SettingsFilesSandbox Files;
    PVOID FaultCounter = nullptr;
    HWND Window = nullptr;
    std::unique_ptr<ModuleUnderTest> Module;
    std::vector<std::unique_ptr<ImportHook>> Hooks;
};

}  // namespace

// Every call the module makes to the clock, sleep, timers and sound goes through its import
// table (so monitors and shims see them all), and the table held the system's functions.
TEST_F(Unload, ModuleCallsTheSystemThroughItsImportTable) {
    WriteSettings(0);
    {
        ModuleUnderTest probe;
        ASSERT_TRUE(probe.Loaded());
        for (const auto& h : kHooks) {
            void** slot = FindImportSlot(probe.Handle, h.dll, h.function);
            ASSERT_NE(slot, nullptr) << h.function;
            EXPECT_EQ(*slot, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(h.systemDll), h.function)))
                << h.function;
        }
    }
    ASSERT_FALSE(ModuleMapped());

    LoadAndHook();
    g.Now = ClockAt(11, 0, 15);
    g.ShortDelaysLeft = 2;  // two firings: the second in the same minute waits
    Start();
    ASSERT_TRUE(PumpMessagesUntil([] { return Locked<size_t>([] { return g.Sounds.size(); }) >= 2; }, 5000));
    EXPECT_NE(Module->Api.StopModule(), 0);

    std::lock_guard<std::mutex> lock(g.Lock);
    ASSERT_GE(g.Sets.size(), 3u);
    for (const TimerCall& set : g.Sets) {
        EXPECT_EQ(set.Window, Window);
        EXPECT_EQ(set.Id, kSignalTimerId);
        EXPECT_EQ(set.Delay, 45020u) << "the delay did not come from the hooked clock";
    }
    EXPECT_GE(g.Readings, 1 + 2 + 30);
    EXPECT_EQ(g.Sleeps, std::vector<DWORD>(30, 100));
    ASSERT_EQ(g.Sounds.size(), 2u);
    for (const SoundCall& sound : g.Sounds) {
        EXPECT_EQ(sound.Name, "chime.wav");
        EXPECT_EQ(sound.Flags, static_cast<DWORD>(SND_ASYNC));
    }
    ASSERT_FALSE(g.Kills.empty());
    EXPECT_EQ(g.Kills.back().Window, Window);
    EXPECT_EQ(g.Kills.back().Id, kSignalTimerId);
}

// The host lets go while a worker is inside a play. The worker's reference keeps the module
// mapped; when its plays are done it releases it, and the detach (timer removal and the last
// save) runs on the worker's thread, after which nothing of the module runs again.
TEST_F(Unload, WhileAWorkerPlaysTheModuleStaysUntilTheWorkerEnds) {
    WriteSettings(1);
    LoadAndHook();
    g.ShortDelaysLeft = 1;  // the first firing soon; the re-armed timer for 15:01:00
    Start();
    ASSERT_TRUE(PumpMessagesUntil([] { return Signaled(g.SoundEntered); }, 5000)) << "no hour count began";
    const DWORD worker = Locked<DWORD>([] { return g.Sounds.at(0).ThreadId; });
    ASSERT_NE(worker, GetCurrentThreadId());

    Module->Unload();
    EXPECT_TRUE(ModuleMapped()) << "unmapped under a playing worker";
    PumpFor(100);
    EXPECT_TRUE(ModuleMapped());
    EXPECT_FALSE(SavedAtDetach()) << "detached while the worker still held the module";

    SetEvent(g.SoundRelease);
    ASSERT_TRUE(PumpMessagesUntil([] { return !ModuleMapped(); }, 10000)) << "the module stayed mapped";
    EXPECT_EQ(WaitForSingleObject(g.Worker, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    PumpFor(200);

    EXPECT_EQ(Locked<size_t>([] { return g.Sounds.size(); }), 3u) << "15:00 on the 12-hour clock";
    EXPECT_TRUE(SavedAtDetach());
    EXPECT_FALSE(KillsOnThread(worker).empty()) << "detach did not stop the timer";
    const std::vector<DWORD> writers = Locked<std::vector<DWORD>>([] { return g.ProfileWriteThreads; });
    ASSERT_FALSE(writers.empty());
    EXPECT_EQ(writers.back(), worker) << "the last save did not come from the detach on the worker";
    EXPECT_FALSE(KillTimer(Window, kSignalTimerId)) << "a timer into the unloaded module was left armed";
}

// The other order: the worker ends while the host still holds the module, which then goes
// as soon as the host lets go, its detach running on the host's thread.
TEST_F(Unload, AfterTheWorkerEndedTheModuleGoesAtOnce) {
    WriteSettings(1);
    LoadAndHook();
    g.ShortDelaysLeft = 1;
    Start();
    ASSERT_TRUE(PumpMessagesUntil([] { return Signaled(g.SoundEntered); }, 5000)) << "no hour count began";
    SetEvent(g.SoundRelease);
    ASSERT_EQ(WaitForSingleObject(g.Worker, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(Locked<size_t>([] { return g.Sounds.size(); }), 3u);
    EXPECT_TRUE(ModuleMapped());
    EXPECT_FALSE(SavedAtDetach()) << "the worker's release detached a module the host still holds";

    Module->Unload();
    EXPECT_FALSE(ModuleMapped()) << "the worker's reference was never given back";
    EXPECT_TRUE(SavedAtDetach());
    const std::vector<TimerCall> kills = KillsOnThread(GetCurrentThreadId());
    ASSERT_FALSE(kills.empty());
    EXPECT_NE(kills.back().Result, 0u) << "the pending timer for 15:01 was not removed";
    PumpFor(200);
}

// The host lets go while the timer is armed (a short one here, so that it would fire soon):
// the detach removes it, and no firing reaches the unmapped module.
TEST_F(Unload, WhileTheTimerIsArmedTheTimerIsRemoved) {
    WriteSettings(0);
    LoadAndHook();
    g.ShortDelaysLeft = 100;
    Start();
    ASSERT_EQ(Locked<size_t>([] { return g.Sets.size(); }), 1u);
    Module->Unload();
    EXPECT_FALSE(ModuleMapped());
    const std::vector<TimerCall> kills = KillsOnThread(GetCurrentThreadId());
    EXPECT_EQ(kills.size(), 1u) << "detach did not stop the timer";
    for (const TimerCall& kill : kills) EXPECT_NE(kill.Result, 0u) << "no timer was pending";
    PumpFor(20 * kShortDelayMs);  // a firing left behind would run into the unmapped module
    EXPECT_TRUE(Locked<bool>([] { return g.Sounds.empty() && g.Sets.size() == 1; }))
        << "the module ran after its detach";
    EXPECT_FALSE(KillTimer(Window, kSignalTimerId)) << "a timer into the unloaded module was left armed";
}

// A host that starts the module before handing over a window: a windowless timer could be
// removed by nobody and would fire into the unloaded module.
TEST_F(Unload, AfterAStartWithoutAWindowNoTimerIsLeft) {
    WriteSettings(0);
    LoadAndHook();
    g.ShortDelaysLeft = 100;
    Start(false);
    Module->Unload();
    EXPECT_FALSE(ModuleMapped());
    PumpFor(20 * kShortDelayMs);
    EXPECT_TRUE(Locked<bool>([] { return g.Sets.empty(); })) << "a timer without a window was set";
}
