#pragma once
// The system as the real module meets it in the module tests (and the benchmark): its calls
// to the clock, Sleep, the window timers, PlaySoundA, profile writes and the two functions
// that find its settings go through its import table to the recorders here, which note each
// call and answer as told. Recorders and record live in this executable, so they outlive the
// module: read the record after the unload. One process-wide record, reset between runs.
// No test framework here, so that the benchmark can use it too.
#include <windows.h>

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ImportHook;

namespace recorded {

struct TimerCall {
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
    SYSTEMTIME Clock;  // the module's clock, as answered, when it called
};

struct ProfileWrite {
    std::string File;  // "(null)" for none
    DWORD ThreadId;
};

// What the module's calls were, in order, since the last Reset.
struct Record {
    int ClockReadings = 0;
    SYSTEMTIME LastReading{};  // what the last GetLocalTime answered
    // Calls of each kind, counted also when Answers::Lean leaves their lists empty.
    int SleepCalls = 0, SetCalls = 0, KillCalls = 0, PlayCalls = 0;
    // The module's GetProcAddress look-ups, and its calls of what one found (SHGetFolderPathA).
    int Lookups = 0, FoundCalls = 0;
    std::vector<DWORD> Sleeps;
    std::vector<TimerCall> Sets, Kills;
    std::vector<SoundCall> Sounds;
    std::vector<ProfileWrite> ProfileWrites;

    std::size_t SyncPlays() const;
};

// A reading of the fixed clock: the given time on Monday, 6 January 2025.
SYSTEMTIME ClockAt(WORD hour, WORD minute, WORD second);

// How the recorders answer.
struct Answers {
    SYSTEMTIME Clock = ClockAt(15, 0, 5);  // every GetLocalTime: a signal minute for every interval
    bool RealClock = false;                // true: the system's clock instead
    bool RealSleeps = false;               // false: Sleep returns at once
    // SetTimer goes to the system, but the next ShortTimers calls with ShortDelayMs instead of
    // the delay asked for (so that a firing comes soon); the record keeps both.
    int ShortTimers = 0;
    UINT ShortDelayMs = 1;
    // Otherwise, when set, SetTimer is handed DelayFor(the asked delay, the last clock reading).
    UINT (*DelayFor)(UINT delay, const SYSTEMTIME& reading) = nullptr;
    // A synchronous play signals PlayBegan(), then, when held, waits for ReleasePlays() (20 s
    // at most). Plays answer TRUE at once unless RealPlays sends them on to the system.
    bool HoldSyncPlays = false;
    bool RealPlays = false;
    std::optional<std::string> AppData;  // SHGetFolderPathA's answer; "" fails; null: the system's
    // The module's other GetProcAddress look-ups go here (a test's own recorders), else to the
    // system. SHGetFolderPathA, which the module looks up in shfolder.dll, is always recorded.
    FARPROC(WINAPI* Lookup)(HMODULE library, LPCSTR function) = nullptr;
    std::optional<std::string> HostExe;  // GetModuleFileNameA(nullptr)'s; null: the system's
    // Called at each of the module's sleeps, outside the record's lock, before it returns.
    void (*DuringSleep)() = nullptr;
    // Sleeps, timer calls and plays are only counted, not listed: for timing a firing, whose
    // few microseconds a growing list and a copied sound name would visibly add to.
    bool Lean = false;
};
// Profile writes always go to the system, except that a read-only file is refused as Windows
// refuses it (Wine running as root writes it).

// Forgets the record and the first player, clears both events, and answers as `answers` says.
void Reset(const Answers& answers = Answers());
// Changes how the recorders answer from now on; the record stays.
void Answer(const std::function<void(Answers&)>& change);
// A copy of the record, taken under its lock.
Record Snapshot();

// Manual-reset event, set when a synchronous play begins.
HANDLE PlayBegan();
// Ends the held plays, and lets later ones pass, until the next Reset.
void ReleasePlays();
// The thread of the first synchronous play since Reset (SYNCHRONIZE access), or null.
HANDLE FirstPlayer();

struct Import {
    const char* Dll;  // as the module's import table names it
    const char* Function;
    const void* Recorder;
    const char* SystemDll;  // where the system's own function is exported
};
extern const std::array<Import, 8> kImports;

// Hooks every import of kImports in `module` while it lives; puts the table back when
// destroyed (unless the module has been unmapped meanwhile).
class Installer {
public:
    explicit Installer(HMODULE module);
    ~Installer();
    Installer(const Installer&) = delete;
    Installer& operator=(const Installer&) = delete;

    bool Installed() const { return missing_ == nullptr; }
    // The first function that the module does not import, or null.
    const char* Missing() const { return missing_; }

private:
    std::vector<std::unique_ptr<ImportHook>> hooks_;
    const char* missing_ = nullptr;
};

}  // namespace recorded
