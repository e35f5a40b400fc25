#include "support/recorded_system.h"

#include <mmsystem.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <utility>

#include "support/import_hook.h"
#include "win32/scoped_win.h"

namespace recorded {

namespace {

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

SYSTEMTIME Advanced(const SYSTEMTIME& time, LONGLONG milliseconds) {
    FILETIME file;
    SystemTimeToFileTime(&time, &file);
    ULARGE_INTEGER ticks;
    ticks.LowPart = file.dwLowDateTime;
    ticks.HighPart = file.dwHighDateTime;
    ticks.QuadPart += milliseconds * 10000;  // FILETIME counts 100 ns
    file = {ticks.LowPart, ticks.HighPart};
    SYSTEMTIME later;
    FileTimeToSystemTime(&file, &later);
    return later;
}

// Called under the lock.
SYSTEMTIME ClockAnswer(const Answers& answer) {
    if (!answer.RealClock) return answer.Clock;
    SYSTEMTIME now;
    ::GetLocalTime(&now);  // this executable's import
    return now;
}

std::vector<TimerCall> TimerCallsOf(const std::vector<TimerCall>& calls, bool sets) {
    std::vector<TimerCall> found;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(found),
                 [sets](const TimerCall& call) { return call.IsSet == sets; });
    return found;
}

BOOL WINAPI RecordedWritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file) {
    {
        scoped::ExclusiveLock lock(S().Lock);
        S().Seen.ProfileWrites.push_back({file ? file : "(null)", GetCurrentThreadId()});
    }
    const DWORD attributes = file ? GetFileAttributesA(file) : INVALID_FILE_ATTRIBUTES;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return ::WritePrivateProfileStringA(section, key, value, file);
}

std::optional<std::string> Path(std::optional<std::string> Answers::*which) {
    scoped::ExclusiveLock lock(S().Lock);
    return S().Answer.*which;
}

HRESULT WINAPI RecordedSHGetFolderPathA(HWND window, int folder, HANDLE token, DWORD flags, LPSTR path) {
    {
        scoped::ExclusiveLock lock(S().Lock);
        ++S().Seen.FoundCalls;
    }
    const std::optional<std::string> appData = Path(&Answers::AppData);
    if (!appData) return SHGetFolderPathA(window, folder, token, flags, path);
    if (appData->empty() || appData->size() >= MAX_PATH) return E_FAIL;
    lstrcpyA(path, appData->c_str());
    return S_OK;
}

FARPROC WINAPI RecordedGetProcAddress(HMODULE library, LPCSTR function) {
    {
        scoped::ExclusiveLock lock(S().Lock);
        ++S().Seen.Lookups;
    }
    if (!IS_INTRESOURCE(function) && lstrcmpA(function, "SHGetFolderPathA") == 0 &&
        library == GetModuleHandleA("shfolder.dll")) {
        return reinterpret_cast<FARPROC>(const_cast<void*>(HookAddress(&RecordedSHGetFolderPathA)));
    }
    decltype(Answers::Lookup) lookup;
    {
        scoped::SharedLock lock(S().Lock);
        lookup = S().Answer.Lookup;
    }
    return lookup ? lookup(library, function) : GetProcAddress(library, function);
}

DWORD WINAPI RecordedGetModuleFileNameA(HMODULE module, LPSTR path, DWORD size) {
    const std::optional<std::string> exe = module ? std::nullopt : Path(&Answers::HostExe);
    if (!exe) return GetModuleFileNameA(module, path, size);
    if (exe->size() >= size) {
        lstrcpynA(path, exe->c_str(), static_cast<int>(size));
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    lstrcpyA(path, exe->c_str());
    return static_cast<DWORD>(exe->size());
}

struct Import {
    const char* Dll;  // as the module's import table names it
    const char* Function;
    const void* Recorder;
};
const Import kImports[] = {
    {"KERNEL32.dll", "GetLocalTime", HookAddress(&RecordedGetLocalTime)},
    {"KERNEL32.dll", "Sleep", HookAddress(&RecordedSleep)},
    {"KERNEL32.dll", "WritePrivateProfileStringA", HookAddress(&RecordedWritePrivateProfileStringA)},
    {"KERNEL32.dll", "GetModuleFileNameA", HookAddress(&RecordedGetModuleFileNameA)},
    {"USER32.dll", "SetTimer", HookAddress(&RecordedSetTimer)},
    {"USER32.dll", "KillTimer", HookAddress(&RecordedKillTimer)},
    {"WINMM.dll", "PlaySoundA", HookAddress(&RecordedPlaySoundA)},
    {"KERNEL32.dll", "GetProcAddress", HookAddress(&RecordedGetProcAddress)},
};

}  // namespace

void WINAPI RecordedGetLocalTime(SYSTEMTIME* now) {
    scoped::ExclusiveLock lock(S().Lock);
    ++S().Seen.ClockReadings;
    std::deque<SYSTEMTIME>& script = S().Answer.Readings;
    *now = script.empty() ? ClockAnswer(S().Answer) : script.front();
    if (!script.empty()) script.pop_front();
    S().Seen.LastReading = *now;
}

void WINAPI RecordedSleep(DWORD milliseconds) {
    bool real;
    void (*during)();
    {
        scoped::ExclusiveLock lock(S().Lock);
        ++S().Seen.SleepCalls;
        if (!S().Answer.Lean) S().Seen.Sleeps.push_back(milliseconds);
        S().Answer.Clock = Advanced(S().Answer.Clock, milliseconds);
        real = S().Answer.RealSleeps;
        during = S().Answer.DuringSleep;
    }
    if (during) during();
    if (real) ::Sleep(milliseconds);
}

UINT_PTR WINAPI RecordedSetTimer(HWND window, UINT_PTR id, UINT delay, TIMERPROC callback) {
    UINT forwarded = delay;
    bool refused;
    {
        scoped::ExclusiveLock lock(S().Lock);
        refused = S().Answer.RefuseTimers;
        if (S().Answer.ShortTimers > 0) {
            --S().Answer.ShortTimers;
            forwarded = S().Answer.ShortDelayMs;
        } else if (S().Answer.DelayFor) {
            forwarded = S().Answer.DelayFor(delay, S().Seen.LastReading);
        }
    }
    // This executable's import.
    const UINT_PTR result = refused ? 0 : ::SetTimer(window, id, forwarded, callback);
    const TimerCall call{true, window, id, delay, forwarded, callback, GetCurrentThreadId(), result};
    scoped::ExclusiveLock lock(S().Lock);
    ++S().Seen.SetCalls;
    S().Timers[{window, id}] = call;
    if (!S().Answer.Lean) S().Seen.Timers.push_back(call);
    return result;
}

BOOL WINAPI RecordedKillTimer(HWND window, UINT_PTR id) {
    const BOOL result = ::KillTimer(window, id);
    scoped::ExclusiveLock lock(S().Lock);
    ++S().Seen.KillCalls;
    const auto armed = S().Timers.find({window, id});
    if (armed != S().Timers.end()) armed->second.Result = 0;
    if (!S().Answer.Lean) {
        S().Seen.Timers.push_back(
            {false, window, id, 0, 0, nullptr, GetCurrentThreadId(), static_cast<UINT_PTR>(result)});
    }
    return result;
}

BOOL WINAPI RecordedPlaySoundA(LPCSTR name, HMODULE module, DWORD flags) {
    State& s = S();
    const bool sync = (flags & SND_ASYNC) == 0;
    bool hold, real;
    std::size_t index;
    unsigned generation;
    {
        scoped::ExclusiveLock lock(s.Lock);
        generation = s.Generation;
        ++s.Seen.PlayCalls;
        index = s.Answer.Lean ? SIZE_MAX : s.Seen.Sounds.size();
        if (!s.Answer.Lean) {
            s.Seen.Sounds.push_back(
                {name ? name : "", flags, GetCurrentThreadId(), TRUE, ClockAnswer(s.Answer)});
        }
        hold = sync && s.Answer.HoldSyncPlays;
        real = s.Answer.RealPlays;
        // Opened while the thread surely runs, so that the handle cannot name a later one.
        if (sync && !s.Player) s.Player.Reset(OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId()));
    }
    // Never held for ever: a forgotten release fails the next Reset instead of hanging.
    if (hold && WaitForSingleObject(s.Release.Get(), 20000) != WAIT_OBJECT_0) {
        scoped::ExclusiveLock lock(s.Lock);
        s.Unreleased = true;
    }
    if (!real) return TRUE;
    const BOOL result = ::PlaySoundA(name, module, flags);
    scoped::ExclusiveLock lock(s.Lock);
    if (s.Generation == generation && index < s.Seen.Sounds.size()) s.Seen.Sounds[index].Result = result;
    return result;
}

bool StartWorker(LPTHREAD_START_ROUTINE routine, void* parameter) {
    scoped::ExclusiveLock lock(S().Lock);
    if (S().Answer.RefuseWorkers) return false;
    HANDLE thread = CreateThread(nullptr, 4096, routine, parameter, 0, nullptr);
    if (!thread) return false;
    S().Workers.push_back(thread);
    ++S().Seen.WorkerStarts;
    return true;
}

std::size_t Record::SyncPlays() const {
    std::size_t plays = 0;
    for (const SoundCall& sound : Sounds) plays += (sound.Flags & SND_ASYNC) == 0;
    return plays;
}

std::vector<TimerCall> Record::Sets() const {
    return TimerCallsOf(Timers, true);
}

std::vector<TimerCall> Record::Kills() const {
    return TimerCallsOf(Timers, false);
}

SYSTEMTIME ClockAt(WORD hour, WORD minute, WORD second, WORD milliseconds) {
    return SYSTEMTIME{2025, 1, 1, 6, hour, minute, second, milliseconds};
}

bool Reset(const Answers& answers) {
    ReleasePlays();
    const bool ended = ClearRecord();
    State& s = S();
    scoped::ExclusiveLock lock(s.Lock);
    const bool clean = ended && !s.Unreleased;
    s.Seen = Record();
    s.Answer = answers;
    ++s.Generation;
    s.Timers.clear();
    s.Unreleased = false;
    s.Player.Reset();
    ResetEvent(s.Release.Get());
    return clean;
}

bool ClearRecord(DWORD timeoutMs) {
    if (!WaitForWorkers(timeoutMs)) return false;
    scoped::ExclusiveLock lock(S().Lock);
    S().Seen = Record();
    ++S().Generation;
    return true;
}

void Answer(const std::function<void(Answers&)>& change) {
    scoped::ExclusiveLock lock(S().Lock);
    change(S().Answer);
}

Record Snapshot() {
    scoped::SharedLock lock(S().Lock);
    return S().Seen;
}

void ReleasePlays() {
    SetEvent(S().Release.Get());
}

bool WaitForPlays(std::size_t count, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (static_cast<std::size_t>(Snapshot().PlayCalls) < count) {
        if (GetTickCount() - start >= timeoutMs) return false;
        ::Sleep(1);
    }
    return true;
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

bool FireTimer(HWND window, UINT_PTR id, int lateMs) {
    TimerCall armed;
    if (!IsArmed(window, id, &armed)) return false;
    Answer([&](Answers& a) { a.Clock = Advanced(a.Clock, static_cast<LONGLONG>(armed.Delay) + lateMs); });
    armed.Callback(window, WM_TIMER, id, GetTickCount());
    return true;
}

bool WaitForWorkers(DWORD timeoutMs) {
    std::vector<HANDLE> workers, running;
    {
        scoped::ExclusiveLock lock(S().Lock);
        workers.swap(S().Workers);
    }
    const DWORD start = GetTickCount();
    for (HANDLE worker : workers) {
        const DWORD spent = GetTickCount() - start;
        if (WaitForSingleObject(worker, spent < timeoutMs ? timeoutMs - spent : 0) == WAIT_OBJECT_0) {
            CloseHandle(worker);
        } else {
            running.push_back(worker);
        }
    }
    scoped::ExclusiveLock lock(S().Lock);
    S().Workers.insert(S().Workers.end(), running.begin(), running.end());
    return running.empty();
}

Installer::Installer(HMODULE module) {
    for (const Import& import : kImports) {
        hooks_.push_back(std::make_unique<ImportHook>(module, import.Dll, import.Function, import.Recorder));
        if (!hooks_.back()->Installed() && !missing_) missing_ = import.Function;
    }
}

Installer::~Installer() = default;

}  // namespace recorded
