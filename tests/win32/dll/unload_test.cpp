// Unloading the real module while it still has work under way: a worker playing an hour
// count, or the timer armed on the host's window. The module's calls to the system go to
// the recorders of support/recorded_system.h, which outlive the module. Code run where the
// module had been mapped fails the test: on a worker it crashes the process; in a timer
// callback, where the system swallows the fault, a vectored handler counts it.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/child_process.h"
#include "support/host_session.h"
#include "support/import_hook.h"
#include "support/message_window.h"
#include "support/module_under_test.h"
#include "support/recorded_system.h"
#include "support/setting_dialog_driver.h"
#include "support/setting_values.h"
#include "support/settings_files.h"
#include "win32/scoped_win.h"

namespace {

using recorded::ClockAt;
using recorded::Snapshot;
using recorded::TimerCall;

constexpr UINT_PTR kSignalTimerId = 5000;
constexpr UINT kShortDelayMs = 20;

// Where the module was mapped, and how often code faulted there. Counted by a vectored
// handler, which sees a fault first even where the system swallows it afterwards (as both
// Windows and Wine do for a timer callback).
ULONG_PTR g_imageStart = 0, g_imageEnd = 0;
volatile LONG g_faultsInModule = 0;

LONG CALLBACK CountFaultsInModule(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    const auto address = reinterpret_cast<ULONG_PTR>(record->ExceptionAddress);
    const bool inModule = address >= g_imageStart && address < g_imageEnd;
    if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && inModule) InterlockedIncrement(&g_faultsInModule);
    return EXCEPTION_CONTINUE_SEARCH;
}

void PumpFor(DWORD milliseconds) { PumpMessagesUntil([] { return false; }, milliseconds); }

// What happens "while the dialog is up", for a dialog that cannot open too.
std::function<void()> g_inDialog;

INT_PTR WINAPI DialogThatUnloadsAndFails(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM) {
    g_inDialog();
    return -1;
}

class Unload : public ::testing::Test {
protected:
    void SetUp() override {
        recorded::Answers answers;
        answers.ShortDelayMs = kShortDelayMs;
        answers.HoldSyncPlays = true;
        recorded::Reset(answers);
        g_imageStart = g_imageEnd = 0;
        g_faultsInModule = 0;
        FaultCounter = AddVectoredExceptionHandler(1, CountFaultsInModule);
        ASSERT_NE(Window, nullptr);
        ASSERT_FALSE(ModuleMapped()) << "left loaded by an earlier test";
    }

    void TearDown() override {
        recorded::ReleasePlays();
        Host.Module.reset();
        EXPECT_TRUE(PumpMessagesUntil([] { return !ModuleMapped(); }, 10000)) << "the module never went away";
        EXPECT_FALSE(KillTimer(Window, kSignalTimerId)) << "a timer into the unloaded module was left armed";
        EXPECT_EQ(g_faultsInModule, 0) << "code ran where the module had been mapped";
        RemoveVectoredExceptionHandler(FaultCounter);
    }

    // The settings file beside this executable (which stands in for the host). TimeType is
    // left out on purpose: it appears once the module has saved at detach.
    void WriteSettings(int signalType, DWORD interval = 60) {
        ASSERT_TRUE(WriteFileBytes(PortableIniPath(),
                                   "[Orlune]\r\nEnable=1\r\nSignalType=" + std::to_string(signalType) +
                                       "\r\nInterval=" + std::to_string(interval) +
                                       "\r\nWaveName=chime.wav\r\n"));
    }

    bool SavedAtDetach() const {
        return IniText::FromFile(PortableIniPath()).Value("Orlune", "TimeType").has_value();
    }

    void LoadAndHook() {
        ASSERT_TRUE(Host.Load());
        g_imageStart = reinterpret_cast<ULONG_PTR>(Host.Module->Handle);
        g_imageEnd = g_imageStart + ImageHeaders(Host.Module->Handle)->OptionalHeader.SizeOfImage;
    }

    // Host's start: the module loaded and hooked, window, portable settings, timer; the next
    // `shortTimers` timers fire after kShortDelayMs.
    void Start(int signalType, int shortTimers, bool withWindow = true, DWORD interval = 60) {
        WriteSettings(signalType, interval);
        LoadAndHook();
        if (HasFatalFailure()) return;
        recorded::Answer([shortTimers](recorded::Answers& a) { a.ShortTimers = shortTimers; });
        withWindow ? Host.Open(1) : Host.Module->Api.InitialLoad(1);
        ASSERT_EQ(Host.Module->Api.StartModule(), 1);
    }

    SettingsFilesSandbox Files;
    PVOID FaultCounter = nullptr;
    HostSession Host;  // its window owns the timer and the settings dialog
    const HWND Window = Host.Window();
};

}  // namespace

// Every call the module makes to the clock, sleep, timers, sound, the saves' renames and the
// functions that find its settings goes through its import table (so monitors and shims see
// them all; LoadAndHook fails on any import missing from the table).
TEST_F(Unload, ModuleCallsTheSystemThroughItsImportTable) {
    recorded::Answer([](recorded::Answers& a) { a.Clock = ClockAt(11, 0, 15); });
    ASSERT_NO_FATAL_FAILURE(Start(0, 2));  // two firings; the second waits 3 s in the first's minute
    ASSERT_TRUE(PumpMessagesUntil([] { return Snapshot().Sounds.size() >= 2; }, 5000));
    EXPECT_NE(Host.Module->Api.StopModule(), 0);

    const recorded::Record seen = Snapshot();
    std::vector<UINT> delays;
    for (const TimerCall& call : seen.Timers) {
        EXPECT_EQ(call.Window, Window);
        EXPECT_EQ(call.Id, kSignalTimerId);
        if (call.IsSet) delays.push_back(call.Delay);
    }
    // The second firing's 30 sleeps move the clock 3 s on.
    EXPECT_EQ(delays, (std::vector<UINT>{45000, 45000, 42000})) << "not from the hooked clock";
    EXPECT_GE(seen.ClockReadings, 2 + 30);
    EXPECT_EQ(seen.HostSleeps, std::vector<DWORD>(30, 100));
    ASSERT_EQ(seen.Sounds.size(), 2u);
    for (const recorded::SoundCall& sound : seen.Sounds) {
        EXPECT_EQ(sound.Name, "chime.wav");
        EXPECT_EQ(sound.Flags, static_cast<DWORD>(SND_ASYNC));
    }
    EXPECT_EQ(seen.Kills().size(), 3u) << "two firings and the stop";
    // A move to a new window keeps what the timer had left, counted on the hooked tick count.
    ASSERT_EQ(Host.Module->Api.StartModule(), 1);
    recorded::LetTimePass(1500);
    const HostWindow moved;
    Host.Module->Api.SetParentWindow(moved.Handle());
    const std::vector<TimerCall> sets = Snapshot().Sets();
    EXPECT_EQ(sets.back().Delay + 1500, sets.at(sets.size() - 2).Delay) << "not from the hooked tick count";
}

// The host lets go while a worker is inside a play. The worker's reference keeps the module
// mapped; when its plays are done it releases it, and the detach (timer removal and the last
// save) runs on the worker's thread, after which nothing of the module runs again.
TEST_F(Unload, WhileAWorkerPlaysTheModuleStaysUntilTheWorkerEnds) {
    ASSERT_NO_FATAL_FAILURE(Start(1, 1));  // the first firing soon; the re-armed timer for 15:01:00
    ASSERT_TRUE(PumpMessagesUntil([] { return Snapshot().PlayCalls > 0; }, 5000)) << "no hour count began";
    const DWORD worker = Snapshot().Sounds.at(0).ThreadId;
    ASSERT_NE(worker, GetCurrentThreadId());

    Host.Module->Unload();
    EXPECT_TRUE(ModuleMapped()) << "unmapped under a playing worker";
    PumpFor(100);
    EXPECT_TRUE(ModuleMapped());
    EXPECT_FALSE(SavedAtDetach()) << "detached while the worker still held the module";

    recorded::ReleasePlays();
    ASSERT_TRUE(PumpMessagesUntil([] { return !ModuleMapped(); }, 10000)) << "the module stayed mapped";
    EXPECT_EQ(WaitForSingleObject(recorded::FirstPlayer(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    PumpFor(200);

    EXPECT_EQ(Snapshot().Sounds.size(), 3u) << "15:00 on the 12-hour clock";
    EXPECT_TRUE(SavedAtDetach());
    EXPECT_FALSE(recorded::OnThread(Snapshot().Kills(), worker).empty()) << "detach did not stop the timer";
    const std::vector<recorded::SettingsWrite> writes = Snapshot().SettingsWrites;
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back().ThreadId, worker) << "the last save did not come from the detach on the worker";
}

// The other order: the worker ends while the host still holds the module, which then goes
// as soon as the host lets go, its detach running on the host's thread.
TEST_F(Unload, AfterTheWorkerEndedTheModuleGoesAtOnce) {
    ASSERT_NO_FATAL_FAILURE(Start(1, 1));
    ASSERT_TRUE(PumpMessagesUntil([] { return Snapshot().PlayCalls > 0; }, 5000)) << "no hour count began";
    recorded::ReleasePlays();
    ASSERT_EQ(WaitForSingleObject(recorded::FirstPlayer(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(Snapshot().Sounds.size(), 3u);
    EXPECT_TRUE(ModuleMapped());
    EXPECT_FALSE(SavedAtDetach()) << "the worker's release detached a module the host still holds";

    Host.Module->Unload();
    EXPECT_FALSE(ModuleMapped()) << "the worker's reference was never given back";
    EXPECT_TRUE(SavedAtDetach());
    const std::vector<TimerCall> kills = recorded::OnThread(Snapshot().Kills(), GetCurrentThreadId());
    ASSERT_FALSE(kills.empty());
    EXPECT_NE(kills.back().Result, 0u) << "the pending timer for 15:01 was not removed";
    PumpFor(200);
}

// The host lets go while a worker plays; the next firing is in its minute wait when the
// worker ends and gives its reference back. The firing holds a reference of its own: the
// module goes only when the firing has returned, its detach on the host's thread, and the
// firing never reads a freed module object.
TEST_F(Unload, AWorkerEndingDuringAFiringLeavesTheUnloadToTheFiring) {
    ASSERT_NO_FATAL_FAILURE(Start(1, 1, true, 3600));  // 15:00:05: three plays
    ASSERT_TRUE(PumpMessagesUntil([] { return Snapshot().PlayCalls > 0; }, 5000)) << "no hour count began";
    const TIMERPROC firing = Snapshot().Sets().back().Callback;
    Host.Module->Unload();
    ASSERT_TRUE(ModuleMapped());
    // The firing waits in 15:00, the minute of its check; meanwhile the worker ends and the
    // clock turns to 15:01, which is no signal minute.
    recorded::Answer([](recorded::Answers& a) {
        a.DuringSleep = [] {
            recorded::ReleasePlays();
            WaitForSingleObject(recorded::FirstPlayer(), 5000);
            recorded::Answer([](recorded::Answers& b) { b.Clock = ClockAt(15, 1, 0); });
        };
    });
    firing(Window, WM_TIMER, kSignalTimerId, GetTickCount());  // as the host's loop dispatches it
    EXPECT_FALSE(ModuleMapped()) << "the firing did not give its reference back";
    EXPECT_EQ(Snapshot().Sounds.size(), 3u);
    EXPECT_TRUE(SavedAtDetach());
    const std::vector<recorded::SettingsWrite> writes = Snapshot().SettingsWrites;
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(writes.back().ThreadId, GetCurrentThreadId()) << "detached on the worker, under the firing";
}

// Setting hands back its result and the thread's last error as the host left it: after OK,
// Cancel, the close box, or a dialog that cannot open. Its own module reference goes back when
// the host's loop next dispatches, never inside its return: a host that unloads from its own
// window procedure while the dialog is up (its tray menu's "exit") finds the module mapped
// until then, and unloaded, its timer stopped and its settings saved, at that dispatch; also
// when it destroyed its window meanwhile, when its loop reads only its window's messages, or
// when it called Setting again at once (each reference then goes back inside the next
// dialog, once). A host that loads the module again before that dispatch gets the instance it
// had, answering as in the session. A Setting called from inside the dialog answers 0 and
// changes nothing.
TEST_F(Unload, SettingReturnsItsResultAndTheHostsLastErrorThenTheUnloadCompletes) {
    constexpr DWORD kHostsLastError = 0x20004B58;  // the customer bit: no system error
    constexpr int kCloseBox = -2;
    enum InDialog { kNothing, kFree, kFreeThenLoad, kNestedSetting };
    enum After { kReturns, kWindowDestroyed, kSettingAgain, kLoopOfTheWindow, kLoadedAgain };
    const struct {
        const char* name;
        int button, result;  // button 0: the dialog cannot open
        InDialog inDialog;
        After after;
    } cases[] = {
        {"1 OK", IDOK, 1, kNothing, kReturns},
        {"2 Cancel", IDCANCEL, 0, kNothing, kReturns},
        {"3 cannot open", 0, -1, kNothing, kReturns},
        {"4 OK, the chime on, freed inside", IDOK, 1, kFree, kReturns},
        {"5 Cancel, freed inside", IDCANCEL, 0, kFree, kReturns},
        {"6 close box, freed inside", kCloseBox, 0, kFree, kReturns},
        {"7 cannot open, freed inside", 0, -1, kFree, kReturns},
        {"8 freed inside, the window destroyed at once", IDOK, 1, kFree, kWindowDestroyed},
        {"9 freed and loaded again inside", IDOK, 1, kFreeThenLoad, kReturns},
        {"10 five times, freed inside the last", IDCANCEL, 0, kFree, kSettingAgain},
        {"11 Setting again from inside the dialog", IDCANCEL, 0, kNestedSetting, kReturns},
        {"12 OK, the loop reads only the window's messages", IDOK, 1, kNothing, kLoopOfTheWindow},
        {"13 OK, freed inside, the loop the window's", IDOK, 1, kFree, kLoopOfTheWindow},
        {"14 Cancel, freed inside, the loop the window's", IDCANCEL, 0, kFree, kLoopOfTheWindow},
        {"15 freed inside, loaded again before the dispatch", IDOK, 1, kFree, kLoadedAgain},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        recorded::Reset(recorded::Answers{});
        ASSERT_NO_FATAL_FAILURE(WriteSettings(0));
        ASSERT_NO_FATAL_FAILURE(LoadAndHook());
        std::optional<HostWindow> host(std::in_place);
        const HWND window = host->Handle();
        const auto setting = Host.Module->Api.Setting;
        HMODULE again = nullptr;
        int runs = c.after == kSettingAgain ? 5 : 1;
        g_inDialog = [&] {
            if (--runs > 0) return;  // only in the last dialog
            if (c.inDialog == kFree || c.inDialog == kFreeThenLoad) Host.Module->Unload();
            if (c.inDialog == kFreeThenLoad) again = LoadLibraryA(ModulePath());
            if (c.inDialog == kNestedSetting) {
                const recorded::Record before = Snapshot();
                EXPECT_EQ(setting(), 0) << "a second dialog opened";
                EXPECT_EQ(Snapshot().KillCalls + Snapshot().SetCalls, before.KillCalls + before.SetCalls);
            }
            EXPECT_TRUE(ModuleMapped()) << "unmapped under its own dialog";
            // The chime on and due soon: the unload must stop it.
            recorded::Answer([](recorded::Answers& a) { a.ShortTimers = 1, a.ShortDelayMs = 60; });
        };
        std::optional<ImportHook> refusal;
        if (c.button == 0) refusal.emplace(Host.Module->Handle, "USER32.dll", "DialogBoxParamA", HookAddress(&DialogThatUnloadsAndFails));
        Host.Module->Api.SetParentWindow(window);
        Host.Module->Api.InitialLoad(1);
        for (int run = c.after == kSettingAgain ? 5 : 1; run > 0; --run) {
            DWORD lastError = 0;
            const SettingRun ran = RunDialogScript(
                [&] {
                    SetLastError(kHostsLastError);
                    const int result = setting();
                    lastError = GetLastError();
                    return result;
                },
                [] { return FindThreadDialog(nullptr); },
                [&](HWND dialog) { g_inDialog(), c.button == kCloseBox ? CloseBox(dialog) : Click(dialog, c.button); });
            EXPECT_EQ(ran.ScriptRan, c.button != 0);
            EXPECT_EQ(ran.Result, c.result);
            EXPECT_EQ(lastError, kHostsLastError);
            EXPECT_TRUE(ModuleMapped()) << "unloaded inside Setting's return";
        }
        if (c.after == kWindowDestroyed) host.reset();
        if (c.after == kLoadedAgain) {
            // The instance still mapped comes back, with the session's Enable (a fresh load
            // would answer 0 until InitialLoad).
            again = LoadLibraryA(ModulePath());
            ModuleExports reloaded{};
            ASSERT_TRUE(ResolveExports(again, reloaded).empty());
            EXPECT_EQ(reloaded.IsModuleEnable(), 1);
            // Until InitialLoad reads the file again.
            ASSERT_TRUE(WriteFileBytes(PortableIniPath(), "[Orlune]\r\nEnable=0\r\n"));
            reloaded.InitialLoad(1);
            EXPECT_EQ(reloaded.IsModuleEnable(), 0);
        }
        if (c.after == kLoopOfTheWindow) {
            // Never a message without a window: the thread timer is not dispatched.
            const auto released = [] {
                return !ModuleMapped() || !recorded::Where(Snapshot().Kills(), [](const TimerCall& kill) {
                    return kill.Id != kSignalTimerId;
                }).empty();
            };
            for (const DWORD begun = GetTickCount(); !released() && GetTickCount() - begun < 1000;) {
                MSG message;
                while (PeekMessageA(&message, window, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
            }
        } else {
            RunHostLoopUntilSettingLetGo(reinterpret_cast<const void*>(setting));
        }
        EXPECT_EQ(ModuleMapped(), c.inDialog != kFree || again) << "not unloaded at the dispatch";
        if (again) FreeLibrary(again);
        if (c.inDialog == kNothing || c.inDialog == kNestedSetting) {
            EXPECT_EQ(recorded::IsArmed(window, kSignalTimerId), c.result != 0) << "the timer after the dialog";
            Host.Module.reset();
            EXPECT_FALSE(ModuleMapped()) << "Setting's reference never went back";
        }
        EXPECT_TRUE(SavedAtDetach());
        const std::size_t chimes = Snapshot().Sounds.size();
        PumpFor(150);  // past the re-armed timer's 60 ms
        EXPECT_EQ(Snapshot().Sounds.size(), chimes) << "chimed after the unload";
        EXPECT_FALSE(KillTimer(window, kSignalTimerId)) << "a timer into the unloaded module was left armed";
        Host.Module.reset();
        RemoveFile(PortableIniPath());
    }
}

// OK a few milliseconds before a minute boundary, a firing that was queued before Setting
// stopped the timer, and StartModule at once (as some hosts call it after every dialog). The
// boundary's timer is set only by the timer that gives Setting's reference back, just before
// it does: a host that let go as Setting returned hears nothing (the detach kills a timer
// that never fired), one that kept the module hears that boundary once, a tick late, and a
// module switched off at OK stays silent.
TEST_F(Unload, OkJustBeforeABoundaryChimesItOnlyForAHostThatKeptTheModule) {
    enum Ending { kFreed, kKept, kSwitchedOff };
    for (const Ending host : {kFreed, kKept, kSwitchedOff}) {
        SCOPED_TRACE(host == kFreed ? "FreeLibrary as Setting returned" : host == kKept ? "kept" : "switched off at OK");
        recorded::Reset(recorded::Answers{});
        recorded::Answer([](recorded::Answers& a) { a.Clock = ClockAt(15, 0, 59, 995); });
        ASSERT_NO_FATAL_FAILURE(WriteSettings(0));
        ASSERT_NO_FATAL_FAILURE(LoadAndHook());
        Host.Open(1);
        ASSERT_EQ(Host.Module->Api.StartModule(), 1);
        const TIMERPROC firing = Snapshot().Sets().back().Callback;
        const SettingRun run = RunDialogScript(Host.Module->Api.Setting, [] { return FindThreadDialog(nullptr); }, [host](HWND dialog) {
            if (host == kSwitchedOff) Click(dialog, IDC_DONT_USE_MODULE);
            Click(dialog, IDOK);
        });
        ASSERT_EQ(run.Result, 1);
        const std::size_t setsBefore = Snapshot().Sets().size();
        firing(Window, WM_TIMER, kSignalTimerId, GetTickCount());  // queued before Setting's stop
        EXPECT_TRUE(Snapshot().Sounds.empty()) << "a late firing chimed while Setting's reference was out";
        EXPECT_EQ(Host.Module->Api.StartModule(), host == kSwitchedOff ? 0 : 1);
        EXPECT_EQ(Snapshot().Sets().size(), setsBefore) << "a timer set before Setting's reference went back";
        if (host == kFreed) Host.Module->Unload();
        PumpMessagesUntil([host] { return host == kFreed ? !ModuleMapped() : !Snapshot().Sounds.empty(); }, 1000);
        PumpFor(100);
        EXPECT_EQ(ModuleMapped(), host != kFreed);
        EXPECT_EQ(Snapshot().Sounds.size(), host == kKept ? 1u : 0u);
        std::vector<TimerCall> sets = Snapshot().Sets();
        sets.erase(sets.begin(), sets.begin() + static_cast<std::ptrdiff_t>(setsBefore));
        ASSERT_EQ(sets.empty(), host == kSwitchedOff);
        EXPECT_TRUE(host == kSwitchedOff || sets.front().Delay <= 5u) << "not aimed at the boundary noted at OK";
        if (host == kFreed) {
            const std::vector<TimerCall> kills = Snapshot().Kills();
            ASSERT_FALSE(kills.empty());
            EXPECT_EQ(kills.back().Id, kSignalTimerId);
            EXPECT_NE(kills.back().Result, 0u) << "the boundary's timer was not pending at the detach";
        }
        Host.Module.reset();
    }
}

DWORD WINAPI RunOnItsThread(void* work) {
    (*static_cast<const std::function<void()>*>(work))();
    return 0;
}

// Setting on a second thread of the host's, with a window of its own, which ends without
// dispatching again: the reference that thread's timers held cannot come back there. Nothing
// of the module chimes meanwhile (the signal timer waits for that reference); the host's next
// call gives it back, and the module then chimes again and unloads at the host's FreeLibrary.
// A host that lets go with no call between leaves the module mapped and silent.
TEST_F(Unload, ASettingThreadThatEndsFirstLeavesTheModuleSilentUntilTheHostsNextCall) {
    for (const bool callsAgain : {true, false}) {
        SCOPED_TRACE(callsAgain ? "SetParentWindow and StartModule, then FreeLibrary" : "FreeLibrary at once");
        recorded::Reset(recorded::Answers{});
        ASSERT_NO_FATAL_FAILURE(Start(0, 100));  // every signal timer set from now on fires soon
        const ModuleExports api = Host.Module->Api;
        int result = 0;
        const std::function<void()> work = [&] {
            const HostWindow own;
            api.SetParentWindow(own.Handle());
            result = RunDialogScript(api.Setting, [] { return FindThreadDialog(nullptr); },
                                     [](HWND dialog) { Click(dialog, IDOK); }).Result;
        };
        const scoped::Handle thread(CreateThread(nullptr, 0, RunOnItsThread, const_cast<std::function<void()>*>(&work), 0, nullptr));
        ASSERT_TRUE(thread);
        ASSERT_EQ(WaitForSingleObject(thread.Get(), 30000), static_cast<DWORD>(WAIT_OBJECT_0));
        EXPECT_EQ(result, 1);
        PumpFor(100);
        EXPECT_TRUE(Snapshot().Sounds.empty()) << "chimed while the thread's reference was out";
        if (callsAgain) {
            api.SetParentWindow(Window);
            EXPECT_EQ(api.StartModule(), 1);
            EXPECT_TRUE(PumpMessagesUntil([] { return !Snapshot().Sounds.empty(); }, 2000)) << "no chime for the host";
            // A Setting of its own thread then takes and gives back one reference, no more, and
            // the timer OK re-arms runs.
            EXPECT_EQ(RunSettingDialogScript(api.Setting, [](HWND dialog) { Click(dialog, IDOK); }).Result, 1);
            EXPECT_TRUE(ModuleMapped()) << "gave back the host's reference too";
            EXPECT_TRUE(recorded::IsArmed(Window, kSignalTimerId)) << "still held after the reference went back";
            Host.Module->Unload();
            EXPECT_FALSE(ModuleMapped()) << "the thread's reference was never given back";
        } else {
            Host.Module->Unload();
            PumpFor(200);
            EXPECT_TRUE(Snapshot().Sounds.empty()) << "chimed after the host let go";
            ASSERT_TRUE(ModuleMapped());
            FreeLibrary(GetModuleHandleA("Karvex.dll"));  // the reference the thread took along
            EXPECT_FALSE(ModuleMapped());
        }
        EXPECT_TRUE(SavedAtDetach());
        Host.Module.reset();
        RemoveFile(PortableIniPath());
    }
}

// The host lets go while the timer is armed (a short one here, so that it would fire soon):
// the detach removes it, and no firing reaches the unmapped module. A host that started the
// module before handing over a window has no timer left either: a windowless timer could be
// removed by nobody and would fire into the unloaded module.
TEST_F(Unload, WhileTheTimerIsArmedTheTimerIsRemoved) {
    for (const bool withWindow : {true, false}) {
        SCOPED_TRACE(withWindow ? "a window" : "no window");
        recorded::Reset(recorded::Answers{});
        recorded::Answer([](recorded::Answers& a) { a.ShortDelayMs = kShortDelayMs; });
        ASSERT_NO_FATAL_FAILURE(Start(0, 100, withWindow));
        ASSERT_EQ(Snapshot().SetCalls, withWindow ? 1 : 0) << "a timer without a window was set";
        Host.Module->Unload();
        EXPECT_FALSE(ModuleMapped());
        const std::vector<TimerCall> kills = recorded::Where(recorded::OnThread(Snapshot().Kills(), GetCurrentThreadId()),
                                                             [this](const TimerCall& kill) { return kill.Window == Window; });
        EXPECT_EQ(kills.size(), withWindow ? 1u : 0u) << "detach did not stop the timer";
        for (const TimerCall& kill : kills) EXPECT_NE(kill.Result, 0u) << "no timer was pending";
        PumpFor(20 * kShortDelayMs);  // a firing left behind would run into the unmapped module
        const recorded::Record after = Snapshot();
        EXPECT_TRUE(after.Sounds.empty() && after.SetCalls == (withWindow ? 1 : 0)) << "the module ran after its detach";
        EXPECT_FALSE(KillTimer(Window, kSignalTimerId)) << "a timer into the unloaded module was left armed";
        Host.Module.reset();
    }
}

// A host that ends without FreeLibrary (its own crash included): with its timer armed, or
// right after a Setting inside which it let go, before the timer that gives Setting's
// reference back fired. At process exit the module writes only what the file would otherwise
// lack, and nothing more (the other threads are gone, the loader's lock is held, the timers
// and the memory go with the process). A child process of this test plays that host; a
// KillTimer by the module at the exit (as deleting its object would make) ends it with 4.
TEST(HostExit, WithoutFreeLibraryOnlyWhatTheFileLacksIsWritten) {
    const SettingValues saved{1, 0, 300, 0, kJapaneseWave};
    // Spaced as no save writes it: a save at the exit would show.
    const std::string asRead = "[Orlune]\r\nEnable = 1\r\nSignalType = 0\r\nInterval = 300\r\n"
                               "TimeType = 0\r\nWaveName = " + std::string(kJapaneseWave) + "\r\n";
    const struct {
        const char* name;
        bool fileAtLoad;  // the application-data file is there at InitialLoad(0)
        bool portable;    // SetPortableMode(1) after the load
        bool setting;     // a Setting inside which the host let go, cancelled
    } rows[] = {
        {"1 the session left the file as read: nothing written", true, false, false},
        {"2 no file at the load: its defaults written", false, false, false},
        {"3 SetPortableMode to the other place: written there", true, true, false},
        {"4 Setting's reference not yet given back: nothing written", true, false, true},
    };
    constexpr char kChild[] = "KARVEX_EXITING_HOST";
    char row[8] = "";
    if (GetEnvironmentVariableA(kChild, row, sizeof row) != 0) {
        const auto& r = rows[row[0] - '1'];
        const MessageWindow host;
        ModuleUnderTest module;
        const HMODULE handle = module.Handle;
        module.Api.SetParentWindow(host.Get());
        module.Api.InitialLoad(0);
        if (r.portable) module.Api.SetPortableMode(1);
        bool ready = module.Api.StartModule() == (r.fileAtLoad ? 1 : 0);
        if (r.setting) {
            const auto setting = module.Api.Setting;
            const SettingRun run = RunDialogScript(setting, [] { return FindThreadDialog(nullptr); },
                                                   [&](HWND dialog) { module.Unload(), Click(dialog, IDCANCEL); });
            ready = ready && run.Result == 0 && ModuleMapped();
        }
        const ImportHook kill(handle, "USER32.dll", "KillTimer",
                              HookAddress(+[] { TerminateProcess(GetCurrentProcess(), 4); }));
        ExitProcess(ready && kill.Installed() ? 0 : 3);
    }
    SettingsFilesSandbox files;
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].name);
        ASSERT_TRUE(files.Start(true));
        if (rows[i].fileAtLoad) {
            ASSERT_TRUE(WriteFileBytes(AppDataIniPath(), asRead));
        }
        const ChildProcess child("--gtest_filter=HostExit.*", kChild, std::to_string(i + 1));
        ASSERT_TRUE(child.Process);
        ASSERT_EQ(WaitForSingleObject(child.Process.Get(), 60000), static_cast<DWORD>(WAIT_OBJECT_0));
        DWORD exitCode = 1;
        GetExitCodeProcess(child.Process.Get(), &exitCode);
        EXPECT_EQ(exitCode, 0u);
        if (rows[i].portable) {
            EXPECT_EQ(ReadFileBytes(AppDataIniPath()), asRead);
            ExpectFileHolds(PortableIniPath(), saved);
        } else if (rows[i].fileAtLoad) {
            EXPECT_EQ(ReadFileBytes(AppDataIniPath()), asRead);
            EXPECT_FALSE(FileExists(PortableIniPath()));
        } else {
            ExpectFileHolds(AppDataIniPath(), kDefaults);
        }
    }
}
