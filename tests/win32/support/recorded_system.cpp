#include "support/recorded_system.h"

#include <mmsystem.h>
#include <shlobj.h>

#include <cstdint>
#include <map>
#include <tuple>
#include <utility>

#include "support/import_hook.h"
#include "support/settings_files.h"
#include "win32/scoped_win.h"

namespace recorded {

namespace {

constexpr UINT_PTR kSignalTimerId = 5000;  // the one the answers shorten

struct State {
    // A slim lock: it never makes a handle, which the soak tests would count as a leak.
    SRWLOCK Lock = SRWLOCK_INIT;
    Record Seen;
    Answers Answer;
    unsigned Generation = 0;  // counts clearings, so that a play ending late updates its own run
    // The last SetTimer of each window and id; a kill sets its Result to 0.
    std::map<std::pair<HWND, UINT_PTR>, TimerCall> Timers;
    std::vector<HANDLE> Workers;  // started and not yet waited for
    bool Unreleased = false;      // a held play outlasted its wait
    scoped::Handle Release{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    scoped::Handle Player;
};

State& S() {
    static State state;
    return state;
}

// `change(state)` under the lock, and what it returns.
template <typename F>
auto Locked(F change) {
    scoped::ExclusiveLock lock(S().Lock);
    return change(S());
}

SYSTEMTIME Advanced(const SYSTEMTIME& time, LONGLONG milliseconds) {
    FILETIME file;
    SystemTimeToFileTime(&time, &file);
    ULARGE_INTEGER ticks{{file.dwLowDateTime, file.dwHighDateTime}};
    ticks.QuadPart += milliseconds * 10000;  // FILETIME counts 100 ns
    file = {ticks.LowPart, ticks.HighPart};
    SYSTEMTIME later;
    FileTimeToSystemTime(&file, &later);
    return later;
}

// Called under the lock.
SYSTEMTIME ClockAnswer(const Answers& answer) {
    SYSTEMTIME now = answer.Clock;
    if (answer.RealClock) ::GetLocalTime(&now);  // this executable's import
    return now;
}

// A save writes its new file beside the target as "<target>.~<id>.tmp" and then puts it in
// place; a move's MoveFileExW from the other settings file is no save.
void NoteSettingsWrite(LPCWSTR from, LPCWSTR file) {
    const std::size_t length = lstrlenW(from);
    if (length < 4 || lstrcmpiW(from + length - 4, L".tmp") != 0) return;
    char ansi[MAX_PATH + 8] = "";
    WideCharToMultiByte(CP_ACP, 0, file, -1, ansi, sizeof ansi, nullptr, nullptr);
    Locked([&](State& s) { s.Seen.SettingsWrites.push_back({ansi, GetCurrentThreadId()}); });
}

// Wine running as root ignores a read-only attribute: the recorded move refuses a read-only
// target as Windows does.
bool RefusedAsReadOnly(LPCWSTR file) {
    const DWORD attributes = GetFileAttributesW(file);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return false;
    SetLastError(ERROR_ACCESS_DENIED);
    return true;
}

BOOL WINAPI RecordedMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
    NoteSettingsWrite(from, to);
    if (RefusedAsReadOnly(to)) return FALSE;
    return ::MoveFileExW(from, to, flags);
}

HRESULT WINAPI RecordedSHGetFolderPathA(HWND window, int folder, HANDLE token, DWORD flags, LPSTR path) {
    const std::optional<std::string> appData = Locked([](State& s) {
        ++s.Seen.FoundCalls;
        return s.Answer.AppData;
    });
    if (!appData) return SHGetFolderPathA(window, folder, token, flags, path);
    if (appData->empty() || appData->size() >= MAX_PATH) return E_FAIL;
    lstrcpyA(path, appData->c_str());
    return S_OK;
}

FARPROC WINAPI RecordedGetProcAddress(HMODULE library, LPCSTR function) {
    const auto lookup = Locked([](State& s) {
        ++s.Seen.Lookups;
        return s.Answer.Lookup;
    });
    if (!IS_INTRESOURCE(function) && lstrcmpA(function, "SHGetFolderPathA") == 0 &&
        library == GetModuleHandleA("shfolder.dll")) {
        return reinterpret_cast<FARPROC>(const_cast<void*>(HookAddress(&RecordedSHGetFolderPathA)));
    }
    return lookup ? lookup(library, function) : GetProcAddress(library, function);
}

DWORD WINAPI RecordedGetModuleFileNameA(HMODULE module, LPSTR path, DWORD size) {
    const std::optional<std::string> exe =
        module ? std::nullopt : Locked([](State& s) { return s.Answer.HostExe; });
    if (!exe) return GetModuleFileNameA(module, path, size);
    // In the code page of the file functions, as the system's answers (OEM once switched).
    char converted[32768];
    WideCharToMultiByte(AreFileApisANSI() ? CP_ACP : CP_OEMCP, 0, Widen(*exe).c_str(), -1, converted,
                        sizeof converted, nullptr, nullptr);
    const std::string answer = converted;
    if (answer.size() >= size) {
        lstrcpynA(path, answer.c_str(), static_cast<int>(size));
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    lstrcpyA(path, answer.c_str());
    return static_cast<DWORD>(answer.size());
}

DWORD WINAPI RecordedGetModuleFileNameW(HMODULE module, LPWSTR path, DWORD size) {
    const std::optional<std::string> exe =
        module ? std::nullopt : Locked([](State& s) { return s.Answer.HostExe; });
    if (!exe) return GetModuleFileNameW(module, path, size);
    const std::wstring wide = Widen(*exe);
    lstrcpynW(path, wide.c_str(), static_cast<int>(size));
    SetLastError(wide.size() >= size ? ERROR_INSUFFICIENT_BUFFER : ERROR_SUCCESS);
    return wide.size() >= size ? size : static_cast<DWORD>(wide.size());
}

HMODULE WINAPI RecordedLoadLibraryExA(LPCSTR name, HANDLE file, DWORD flags) {
    NoteLibraryUse("load " + std::string(name) + " " + std::to_string(flags));
    const bool refuse = Locked([](State& s) { return s.Answer.RefuseSystemFolderFlag; });
    if (refuse && (flags & LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        NoteLibraryUse("refused");
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return LoadLibraryExA(name, file, flags);
}

UINT WINAPI RecordedGetSystemDirectoryA(LPSTR folder, UINT size) {
    const std::optional<UINT> length = Locked([](State& s) { return s.Answer.SystemFolderLength; });
    return length ? *length : GetSystemDirectoryA(folder, size);
}

struct Import {
    const char* Dll;  // as the module's import table names it
    const char* Function;
    const void* Recorder;
};
const Import kImports[] = {
    {"KERNEL32.dll", "GetLocalTime", HookAddress(&RecordedGetLocalTime)},
    {"KERNEL32.dll", "GetTickCount", HookAddress(&RecordedGetTickCount)},
    {"KERNEL32.dll", "Sleep", HookAddress(&RecordedSleep)},
    {"KERNEL32.dll", "MoveFileExW", HookAddress(&RecordedMoveFileExW)},
    {"KERNEL32.dll", "GetModuleFileNameA", HookAddress(&RecordedGetModuleFileNameA)},
    {"KERNEL32.dll", "GetModuleFileNameW", HookAddress(&RecordedGetModuleFileNameW)},
    {"USER32.dll", "SetTimer", HookAddress(&RecordedSetTimer)},
    {"USER32.dll", "KillTimer", HookAddress(&RecordedKillTimer)},
    {"WINMM.dll", "PlaySoundA", HookAddress(&RecordedPlaySoundA)},
    {"KERNEL32.dll", "GetProcAddress", HookAddress(&RecordedGetProcAddress)},
    {"KERNEL32.dll", "LoadLibraryExA", HookAddress(&RecordedLoadLibraryExA)},
    {"KERNEL32.dll", "GetSystemDirectoryA", HookAddress(&RecordedGetSystemDirectoryA)},
};

// Notes a SetTimer or KillTimer call that the system (or the answers) answered.
void NoteTimerCall(const TimerCall& call) {
    Locked([&](State& s) {
        ++(call.IsSet ? s.Seen.SetCalls : s.Seen.KillCalls);
        TimerCall& last = s.Timers[{call.Window, call.Id}];
        if (call.IsSet) last = call;
        last.Result = call.IsSet ? call.Result : 0;
        if (!s.Answer.Lean) s.Seen.Timers.push_back(call);
    });
}

}  // namespace

void WINAPI RecordedGetLocalTime(SYSTEMTIME* now) {
    Locked([&](State& s) {
        ++s.Seen.ClockReadings;
        *now = s.Answer.Readings.empty() ? ClockAnswer(s.Answer) : s.Answer.Readings.front();
        if (!s.Answer.Readings.empty()) s.Answer.Readings.pop_front();
        s.Seen.LastReading = *now;
    });
}

DWORD WINAPI RecordedGetTickCount() {
    return Locked([](State& s) { return s.Answer.RealClock ? ::GetTickCount() : s.Answer.Tick; });
}

void WINAPI RecordedSleep(DWORD milliseconds) {
    const DWORD thread = GetCurrentThreadId();
    const auto [host, during, real] = Locked([&](State& s) {
        const bool host = thread == s.Answer.HostThread;
        ++s.Seen.SleepCalls;
        if (!s.Answer.Lean) s.Seen.Sleeps.push_back({milliseconds, thread});
        if (!s.Answer.Lean && host) s.Seen.HostSleeps.push_back(milliseconds);
        return std::make_tuple(host, s.Answer.DuringSleep, s.Answer.RealSleeps);
    });
    if (host) LetTimePass(milliseconds);
    if (host && during) during();
    if (real) ::Sleep(milliseconds);
}

UINT_PTR WINAPI RecordedSetTimer(HWND window, UINT_PTR id, UINT delay, TIMERPROC callback) {
    UINT forwarded = delay;
    const bool refused = Locked([&](State& s) {
        if (id != kSignalTimerId) {
            // The module's other timers (those that give Setting's reference back) as asked.
        } else if (s.Answer.ShortTimers > 0) {
            --s.Answer.ShortTimers;
            forwarded = s.Answer.ShortDelayMs;
        } else if (s.Answer.DelayFor) {
            forwarded = s.Answer.DelayFor(delay, s.Seen.LastReading);
        }
        return s.Answer.RefuseTimers || (window && window == s.Answer.RefusingWindow);
    });
    // This executable's import.
    const UINT_PTR result = refused ? 0 : ::SetTimer(window, id, forwarded, callback);
    NoteTimerCall({true, window, id, delay, forwarded, callback, GetCurrentThreadId(), result});
    return result;
}

BOOL WINAPI RecordedKillTimer(HWND window, UINT_PTR id) {
    const BOOL result = ::KillTimer(window, id);
    NoteTimerCall({false, window, id, 0, 0, nullptr, GetCurrentThreadId(), static_cast<UINT_PTR>(result)});
    return result;
}

BOOL WINAPI RecordedPlaySoundA(LPCSTR name, HMODULE module, DWORD flags) {
    const bool sync = (flags & SND_ASYNC) == 0;
    unsigned generation = 0;
    std::size_t index = SIZE_MAX;
    const auto [hold, real] = Locked([&](State& s) {
        generation = s.Generation;
        ++s.Seen.PlayCalls;
        if (!s.Answer.Lean) {
            index = s.Seen.Sounds.size();
            const SYSTEMTIME clock = ClockAnswer(s.Answer);
            s.Seen.Sounds.push_back({name ? name : "", flags, GetCurrentThreadId(), TRUE, clock});
        }
        // Opened while the thread surely runs, so that the handle cannot name a later one.
        if (sync && !s.Player) s.Player.Reset(OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId()));
        return std::make_pair(sync && s.Answer.HoldSyncPlays, s.Answer.RealPlays);
    });
    // Never held for ever: a forgotten release fails the next Reset instead of hanging.
    if (hold && WaitForSingleObject(S().Release.Get(), 20000) != WAIT_OBJECT_0) {
        Locked([](State& s) { s.Unreleased = true; });
    }
    if (!real) return TRUE;
    const BOOL result = ::PlaySoundA(name, module, flags);
    Locked([&](State& s) {
        if (s.Generation == generation && index < s.Seen.Sounds.size()) s.Seen.Sounds[index].Result = result;
    });
    return result;
}

bool StartWorker(LPTHREAD_START_ROUTINE routine, void* parameter) {
    return Locked([&](State& s) {
        if (s.Answer.RefuseWorkers) return false;
        HANDLE thread = CreateThread(nullptr, 4096, routine, parameter, 0, nullptr);
        if (thread) s.Workers.push_back(thread);
        s.Seen.WorkerStarts += thread != nullptr;
        return thread != nullptr;
    });
}

std::size_t Record::SyncPlays() const {
    return std::count_if(Sounds.begin(), Sounds.end(),
                         [](const SoundCall& sound) { return (sound.Flags & SND_ASYNC) == 0; });
}

SYSTEMTIME ClockAt(WORD hour, WORD minute, WORD second, WORD milliseconds) {
    return SYSTEMTIME{2025, 1, 1, 6, hour, minute, second, milliseconds};
}

bool Reset(const Answers& answers) {
    ReleasePlays();
    const bool ended = ClearRecord();
    return Locked([&](State& s) {
        const bool clean = ended && !s.Unreleased;
        s.Seen = Record();
        s.Answer = answers;
        if (!s.Answer.HostThread) s.Answer.HostThread = GetCurrentThreadId();
        ++s.Generation;
        s.Timers.clear();
        s.Unreleased = false;
        s.Player.Reset();
        ResetEvent(s.Release.Get());
        return clean;
    });
}

bool ClearRecord(DWORD timeoutMs) {
    if (!WaitForWorkers(timeoutMs)) return false;
    Locked([](State& s) {
        s.Seen = Record();
        ++s.Generation;
    });
    return true;
}

void Answer(const std::function<void(Answers&)>& change) {
    Locked([&](State& s) { change(s.Answer); });
}

Record Snapshot() {
    scoped::SharedLock lock(S().Lock);
    return S().Seen;
}

void NoteLibraryUse(const std::string& use) {
    Locked([&](State& s) { s.Seen.Libraries.push_back(use); });
}

void ReleasePlays() {
    SetEvent(S().Release.Get());
}

HANDLE FirstPlayer() {
    scoped::SharedLock lock(S().Lock);
    return S().Player.Get();
}

bool IsArmed(HWND window, UINT_PTR id, TimerCall* armed) {
    scoped::SharedLock lock(S().Lock);
    const auto found = S().Timers.find({window, id});
    if (found == S().Timers.end() || found->second.Result == 0) return false;
    if (armed) *armed = found->second;
    return true;
}

void LetTimePass(LONGLONG milliseconds) {
    Answer([&](Answers& a) {
        a.Clock = Advanced(a.Clock, milliseconds);
        a.Tick += static_cast<DWORD>(milliseconds);
    });
}

bool FireTimer(HWND window, UINT_PTR id, int lateMs) {
    TimerCall armed;
    if (!IsArmed(window, id, &armed)) return false;
    LetTimePass(static_cast<LONGLONG>(armed.Delay) + lateMs);
    armed.Callback(window, WM_TIMER, id, GetTickCount());
    return true;
}

bool WaitForWorkers(DWORD timeoutMs) {
    std::vector<HANDLE> workers = Locked([](State& s) { return std::exchange(s.Workers, {}); }), running;
    const DWORD start = GetTickCount();
    for (HANDLE worker : workers) {
        const DWORD spent = GetTickCount() - start;
        if (WaitForSingleObject(worker, spent < timeoutMs ? timeoutMs - spent : 0) == WAIT_OBJECT_0) {
            CloseHandle(worker);
        } else {
            running.push_back(worker);
        }
    }
    Locked([&](State& s) { s.Workers.insert(s.Workers.end(), running.begin(), running.end()); });
    return running.empty();
}

}  // namespace recorded

RecordedModule::RecordedModule(const char* path) : ModuleUnderTest(path) {
    for (const recorded::Import& import : recorded::kImports) {
        hooks_.push_back(std::make_unique<ImportHook>(Handle, import.Dll, import.Function, import.Recorder));
        if (!hooks_.back()->Installed() && !Missing) Missing = import.Function;
    }
}

RecordedModule::~RecordedModule() = default;
