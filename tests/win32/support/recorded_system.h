#pragma once
// The system as the module meets it in every test: its calls to the clock, the tick count,
// Sleep, the window timers, PlaySoundA and worker starts go to the recorders here, which note
// each call with its thread and answer as told. The real module reaches them through its
// import table (RecordedModule, with the settings files it puts in place, library loads and the two functions
// that find its settings); the unit tests' seam calls them directly
// (unit/recorded_platform.cpp). Recorders and record live in the test executable, so they
// outlive the module: read the record after the unload. One process-wide record, reset
// between runs. The answers are for the host's thread: a worker's sleep is recorded, but
// neither moves the clock nor runs the sleep hook. No test framework here, so that the
// benchmark can use it too.
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <deque>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/module_under_test.h"

class ImportHook;

namespace recorded {

struct TimerCall {
    bool IsSet;      // SetTimer, else KillTimer
    HWND Window;
    UINT_PTR Id;
    UINT Delay;      // as the module asked; 0 for a kill
    UINT Forwarded;  // as handed to the system; 0 for a kill
    TIMERPROC Callback;
    DWORD ThreadId;
    UINT_PTR Result;
};

struct SoundCall {
    std::string Name;
    DWORD Flags;
    DWORD ThreadId;
    BOOL Result;
    SYSTEMTIME Clock;  // the clock when the play began
};

// The calls among `calls` that `keep` keeps, and those that `thread` made.
template <typename Call, typename Keep>
std::vector<Call> Where(const std::vector<Call>& calls, Keep keep) {
    std::vector<Call> kept;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(kept), keep);
    return kept;
}
template <typename Call>
std::vector<Call> OnThread(const std::vector<Call>& calls, DWORD thread) {
    return Where(calls, [thread](const Call& call) { return call.ThreadId == thread; });
}

struct SleepCall { DWORD Milliseconds, ThreadId; };

// A settings file a save put in place (MoveFileExW of its new file; a move's MoveFileExW is no
// save), named as the module named it, an ANSI path.
struct SettingsWrite {
    std::string File;
    DWORD ThreadId;
};

// What the module's calls were, in order, since the last Reset or ClearRecord.
struct Record {
    int ClockReadings = 0;
    SYSTEMTIME LastReading{};  // what the last GetLocalTime answered
    // Calls of each kind, counted also when Answers::Lean leaves their lists empty.
    int SleepCalls = 0, SetCalls = 0, KillCalls = 0, PlayCalls = 0, WorkerStarts = 0;
    // The module's GetProcAddress look-ups, and its calls of what one found (SHGetFolderPathA).
    int Lookups = 0, FoundCalls = 0;
    std::vector<SleepCall> Sleeps;  // every thread's
    std::vector<DWORD> HostSleeps;  // the host thread's (Answers::HostThread)
    std::vector<TimerCall> Timers;  // sets and kills
    std::vector<SoundCall> Sounds;
    std::vector<SettingsWrite> SettingsWrites;
    // The module's LoadLibraryExA calls ("load <name> <flags>", and "refused" after one the
    // answers refused), and what the test noted among them (NoteLibraryUse).
    std::vector<std::string> Libraries;

    std::size_t SyncPlays() const;
    std::vector<TimerCall> Sets() const { return Where(Timers, [](const TimerCall& t) { return t.IsSet; }); }
    std::vector<TimerCall> Kills() const { return Where(Timers, [](const TimerCall& t) { return !t.IsSet; }); }
};

// The given time on Monday, 6 January 2025.
SYSTEMTIME ClockAt(WORD hour, WORD minute, WORD second, WORD milliseconds = 0);

// How the recorders answer.
struct Answers {
    // The thread the answers are for, the host's: 0 names the one that calls Reset.
    DWORD HostThread = 0;
    // GetLocalTime's answer: a signal minute for every interval. Each of the host thread's
    // sleeps and each fired timer's delay advance it; another thread's sleep does not.
    SYSTEMTIME Clock = ClockAt(15, 0, 5);
    // GetTickCount's answer, advanced as Clock is, but not when a test sets Clock. It wraps
    // 30.5 s on, so that elapsed times are counted across the wrap.
    DWORD Tick = 0u - 30500;
    std::deque<SYSTEMTIME> Readings;  // answered first, in order, leaving Clock as it is
    bool RealClock = false;           // true: the system's clock instead
    bool RealSleeps = false;          // false: Sleep returns at once
    bool RefuseTimers = false;        // SetTimer answers 0 and sets nothing
    HWND RefusingWindow = nullptr;    // so does SetTimer on this window alone (null: none)
    // SetTimer goes to the system, but the next ShortTimers calls for the signal timer (id
    // 5000) with ShortDelayMs instead of the delay asked for (so that a firing comes soon);
    // the record keeps both.
    int ShortTimers = 0;
    UINT ShortDelayMs = 1;
    // Otherwise, when set, the signal timer's SetTimer is handed DelayFor(the asked delay, the
    // last clock reading).
    UINT (*DelayFor)(UINT delay, const SYSTEMTIME& reading) = nullptr;
    // A synchronous play, when held, waits for ReleasePlays() (20 s at most). Plays answer
    // TRUE at once unless RealPlays sends them on to the system.
    bool HoldSyncPlays = false;
    bool RealPlays = false;
    bool RefuseWorkers = false;  // StartWorker answers false and starts nothing
    // LoadLibraryExA refuses LOAD_LIBRARY_SEARCH_SYSTEM32, as a Windows that predates it.
    bool RefuseSystemFolderFlag = false;
    // GetSystemDirectoryA answers this, writing nothing (0: it failed; MAX_PATH or more: the
    // folder needs a larger buffer); null: the system's.
    std::optional<UINT> SystemFolderLength;
    std::optional<std::string> AppData;  // SHGetFolderPathA's answer; "" fails; null: the system's
    // The module's other GetProcAddress look-ups go here (a test's own recorders), else to the
    // system. SHGetFolderPathA, which the module looks up in shfolder.dll, is always recorded.
    FARPROC(WINAPI* Lookup)(HMODULE library, LPCSTR function) = nullptr;
    std::optional<std::string> HostExe;  // GetModuleFileNameA/W(nullptr)'s (code page 932); null: the system's
    // Called at each of the host thread's sleeps, outside the record's lock, before it returns.
    void (*DuringSleep)() = nullptr;
    // Sleeps, timer calls and plays are only counted, not listed: for timing a firing, whose
    // few microseconds a growing list and a copied sound name would visibly add to.
    bool Lean = false;
};
// Profile writes always go to the system, except that a read-only file is refused as Windows
// refuses it (Wine running as root writes it).

// Lets held plays go, clears the record, the armed timers and the first player, and answers
// as `answers` says. False when the last run left a worker that never ended or a held play
// that was never released.
bool Reset(const Answers& answers = Answers());
// For long runs: waits for the workers, then clears the record, keeping the answers and the
// armed timers. False (and nothing cleared) when a worker never ended.
bool ClearRecord(DWORD timeoutMs = 10000);
// Changes how the recorders answer from now on; the record stays.
void Answer(const std::function<void(Answers&)>& change);
// A copy of the record, taken under its lock.
Record Snapshot();

// Adds `use` to Record::Libraries, in order with the module's library loads.
void NoteLibraryUse(const std::string& use);

// Ends the held plays, and lets later ones pass, until the next Reset.
void ReleasePlays();
// The thread of the first synchronous play since Reset (SYNCHRONIZE access), or null.
HANDLE FirstPlayer();

// Whether SetTimer armed `id` on `window` and no KillTimer removed it since, with that call.
bool IsArmed(HWND window, UINT_PTR id, TimerCall* armed = nullptr);
// Advances the clock and the tick count by `milliseconds`, as time passing would.
void LetTimePass(LONGLONG milliseconds);
// Lets the armed timer's delay pass, `lateMs` more (less when negative: timers
// fire early), and calls its callback as the window's message loop would. False when no such
// timer is armed.
bool FireTimer(HWND window, UINT_PTR id, int lateMs = 0);

// Waits until every worker started so far has ended, and closes their handles; false on timeout.
bool WaitForWorkers(DWORD timeoutMs = 10000);

// The recorders.
void WINAPI RecordedGetLocalTime(SYSTEMTIME* now);
DWORD WINAPI RecordedGetTickCount();
void WINAPI RecordedSleep(DWORD milliseconds);
UINT_PTR WINAPI RecordedSetTimer(HWND window, UINT_PTR id, UINT delay, TIMERPROC callback);
BOOL WINAPI RecordedKillTimer(HWND window, UINT_PTR id);
BOOL WINAPI RecordedPlaySoundA(LPCSTR name, HMODULE module, DWORD flags);
// A real thread with a 4096-byte initial stack, so that "runs on its own thread" shows.
bool StartWorker(LPTHREAD_START_ROUTINE routine, void* parameter);

}  // namespace recorded

// The real module loaded as the host loads it, its imports going to the recorders while it
// lives. The hooks go before the module does: Unload() first to record the unload itself.
class RecordedModule : public ModuleUnderTest {
public:
    explicit RecordedModule(const char* path = ModulePath());
    ~RecordedModule();
    bool Ready() const { return Loaded() && !Missing; }

    const char* Missing = nullptr;  // the first recorded function the module does not import

private:
    std::vector<std::unique_ptr<ImportHook>> hooks_;
};
