#include "support/recorded_system.h"

#include <mmsystem.h>
#include <shlobj.h>

#include <cstdint>

#include "win32/scoped_win.h"
#include "support/import_hook.h"

namespace recorded {

namespace {

struct State {
    // A slim lock: it never makes a handle, which the soak tests would count as a leak.
    SRWLOCK Lock = SRWLOCK_INIT;
    Record Seen;
    Answers Answer;
    unsigned Generation = 0;  // counts Resets, so that a play ending late updates its own run
    scoped::Handle Began{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    scoped::Handle Release{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    scoped::Handle Player;
};

State& S() {
    static State state;
    return state;
}

// Called under the lock.
SYSTEMTIME ClockAnswer(const Answers& answer) {
    if (!answer.RealClock) return answer.Clock;
    SYSTEMTIME now;
    ::GetLocalTime(&now);  // this executable's import
    return now;
}

void WINAPI RecordedGetLocalTime(SYSTEMTIME* now) {
    scoped::ExclusiveLock lock(S().Lock);
    ++S().Seen.ClockReadings;
    *now = S().Seen.LastReading = ClockAnswer(S().Answer);
}

void WINAPI RecordedSleep(DWORD milliseconds) {
    bool real;
    void (*during)();
    {
        scoped::ExclusiveLock lock(S().Lock);
        ++S().Seen.SleepCalls;
        if (!S().Answer.Lean) S().Seen.Sleeps.push_back(milliseconds);
        real = S().Answer.RealSleeps;
        during = S().Answer.DuringSleep;
    }
    if (during) during();
    if (real) ::Sleep(milliseconds);
}

UINT_PTR WINAPI RecordedSetTimer(HWND window, UINT_PTR id, UINT delay, TIMERPROC callback) {
    UINT forwarded = delay;
    {
        scoped::ExclusiveLock lock(S().Lock);
        if (S().Answer.ShortTimers > 0) {
            --S().Answer.ShortTimers;
            forwarded = S().Answer.ShortDelayMs;
        } else if (S().Answer.DelayFor) {
            forwarded = S().Answer.DelayFor(delay, S().Seen.LastReading);
        }
    }
    const UINT_PTR result = ::SetTimer(window, id, forwarded, callback);  // this executable's import
    scoped::ExclusiveLock lock(S().Lock);
    ++S().Seen.SetCalls;
    if (!S().Answer.Lean) {
        S().Seen.Sets.push_back({window, id, delay, forwarded, callback, GetCurrentThreadId(), result});
    }
    return result;
}

BOOL WINAPI RecordedKillTimer(HWND window, UINT_PTR id) {
    const BOOL result = ::KillTimer(window, id);
    scoped::ExclusiveLock lock(S().Lock);
    ++S().Seen.KillCalls;
    if (!S().Answer.Lean) {
        S().Seen.Kills.push_back(
            {window, id, 0, 0, nullptr, GetCurrentThreadId(), static_cast<UINT_PTR>(result)});
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
    if (sync) SetEvent(s.Began.Get());
    if (hold) WaitForSingleObject(s.Release.Get(), 20000);
    if (!real) return TRUE;
    const BOOL result = ::PlaySoundA(name, module, flags);
    scoped::ExclusiveLock lock(s.Lock);
    if (s.Generation == generation && index < s.Seen.Sounds.size()) s.Seen.Sounds[index].Result = result;
    return result;
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

}  // namespace

const std::array<Import, 8> kImports = {{
    {"KERNEL32.dll", "GetLocalTime", HookAddress(&RecordedGetLocalTime), "kernel32.dll"},
    {"KERNEL32.dll", "Sleep", HookAddress(&RecordedSleep), "kernel32.dll"},
    {"KERNEL32.dll", "WritePrivateProfileStringA", HookAddress(&RecordedWritePrivateProfileStringA), "kernel32.dll"},
    {"KERNEL32.dll", "GetModuleFileNameA", HookAddress(&RecordedGetModuleFileNameA), "kernel32.dll"},
    {"USER32.dll", "SetTimer", HookAddress(&RecordedSetTimer), "user32.dll"},
    {"USER32.dll", "KillTimer", HookAddress(&RecordedKillTimer), "user32.dll"},
    {"WINMM.dll", "PlaySoundA", HookAddress(&RecordedPlaySoundA), "winmm.dll"},
    {"KERNEL32.dll", "GetProcAddress", HookAddress(&RecordedGetProcAddress), "kernel32.dll"},
}};

std::size_t Record::SyncPlays() const {
    std::size_t plays = 0;
    for (const SoundCall& sound : Sounds) plays += (sound.Flags & SND_ASYNC) == 0;
    return plays;
}

SYSTEMTIME ClockAt(WORD hour, WORD minute, WORD second) {
    return SYSTEMTIME{2025, 1, 1, 6, hour, minute, second, 0};
}

void Reset(const Answers& answers) {
    State& s = S();
    scoped::ExclusiveLock lock(s.Lock);
    s.Seen = Record();
    s.Answer = answers;
    ++s.Generation;
    s.Player.Reset();
    ResetEvent(s.Began.Get());
    ResetEvent(s.Release.Get());
}

void Answer(const std::function<void(Answers&)>& change) {
    scoped::ExclusiveLock lock(S().Lock);
    change(S().Answer);
}

Record Snapshot() {
    scoped::SharedLock lock(S().Lock);
    return S().Seen;
}

HANDLE PlayBegan() {
    return S().Began.Get();
}

void ReleasePlays() {
    SetEvent(S().Release.Get());
}

HANDLE FirstPlayer() {
    scoped::SharedLock lock(S().Lock);
    return S().Player.Get();
}

Installer::Installer(HMODULE module) {
    for (const Import& import : kImports) {
        hooks_.push_back(std::make_unique<ImportHook>(module, import.Dll, import.Function, import.Recorder));
        if (!hooks_.back()->Installed() && !missing_) missing_ = import.Function;
    }
}

Installer::~Installer() = default;

}  // namespace recorded
