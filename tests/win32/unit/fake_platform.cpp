// Scripted stand-in for the system seam; see fake_platform.h.
#include "unit/fake_platform.h"

#include <gtest/gtest.h>
#include <mmsystem.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <utility>

#include "win32/platform.h"

namespace fake {
namespace {

constexpr ULONGLONG kTicksPerMs = 10000;  // FILETIME counts 100 ns

ULONGLONG ToTicks(const SYSTEMTIME& time) {
    FILETIME file;
    SystemTimeToFileTime(&time, &file);
    return (static_cast<ULONGLONG>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

SYSTEMTIME FromTicks(ULONGLONG ticks) {
    FILETIME file{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME time;
    FileTimeToSystemTime(&file, &time);
    return time;
}

struct State {
    std::mutex Lock;
    std::condition_variable Changed;  // a sound started, or the gate opened

    ULONGLONG Clock = 0;
    std::deque<SYSTEMTIME> Script;
    int Readings = 0;
    std::vector<DWORD> Sleeps;

    std::vector<SoundCall> Sounds;
    bool HoldSync = false;

    std::vector<TimerCall> TimerCalls;
    std::map<std::pair<HWND, UINT_PTR>, TimerCall> Armed;
    bool RefuseTimers = false;

    bool RefuseWorkers = false;
    std::vector<HANDLE> Workers;
};

State& S() {
    static State state;
    return state;
}

ULONGLONG StartOfDay() {
    return ToTicks(At(0, 0, 0));
}

}  // namespace

SYSTEMTIME At(WORD hour, WORD minute, WORD second, WORD milliseconds) {
    SYSTEMTIME time{};
    time.wYear = 2025;
    time.wMonth = 1;
    time.wDay = 6;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    time.wMilliseconds = milliseconds;
    return FromTicks(ToTicks(time));  // fills the day of the week
}

void Reset() {
    ReleaseSyncSounds();
    EXPECT_TRUE(ClearRecords()) << "a worker of this test never ended";
    State& s = S();
    std::lock_guard<std::mutex> lock(s.Lock);
    s.Clock = StartOfDay();
    s.Script.clear();
    s.HoldSync = false;
    s.Armed.clear();
    s.RefuseTimers = false;
    s.RefuseWorkers = false;
}

void SetClock(WORD hour, WORD minute, WORD second, WORD milliseconds) {
    std::lock_guard<std::mutex> lock(S().Lock);
    S().Clock = ToTicks(At(hour, minute, second, milliseconds));
}

SYSTEMTIME Clock() {
    std::lock_guard<std::mutex> lock(S().Lock);
    return FromTicks(S().Clock);
}

void ScriptReadings(const std::vector<SYSTEMTIME>& readings) {
    std::lock_guard<std::mutex> lock(S().Lock);
    S().Script.assign(readings.begin(), readings.end());
}

int ReadingCount() {
    std::lock_guard<std::mutex> lock(S().Lock);
    return S().Readings;
}

std::vector<DWORD> Sleeps() {
    std::lock_guard<std::mutex> lock(S().Lock);
    return S().Sleeps;
}

std::vector<SoundCall> Sounds() {
    std::lock_guard<std::mutex> lock(S().Lock);
    return S().Sounds;
}

void HoldSyncSounds() {
    std::lock_guard<std::mutex> lock(S().Lock);
    S().HoldSync = true;
}

void ReleaseSyncSounds() {
    {
        std::lock_guard<std::mutex> lock(S().Lock);
        S().HoldSync = false;
    }
    S().Changed.notify_all();
}

bool WaitForSounds(std::size_t count, DWORD timeoutMs) {
    State& s = S();
    std::unique_lock<std::mutex> lock(s.Lock);
    return s.Changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return s.Sounds.size() >= count; });
}

std::vector<TimerCall> TimerCalls() {
    std::lock_guard<std::mutex> lock(S().Lock);
    return S().TimerCalls;
}

bool IsArmed(HWND window, UINT_PTR id, TimerCall* armed) {
    std::lock_guard<std::mutex> lock(S().Lock);
    auto found = S().Armed.find({window, id});
    if (found == S().Armed.end()) return false;
    if (armed) *armed = found->second;
    return true;
}

void RefuseTimers(bool refuse) {
    std::lock_guard<std::mutex> lock(S().Lock);
    S().RefuseTimers = refuse;
}

bool FireTimer(HWND window, UINT_PTR id, int lateMs) {
    TimerCall armed;
    if (!IsArmed(window, id, &armed)) return false;
    {
        std::lock_guard<std::mutex> lock(S().Lock);
        const LONGLONG passedMs = static_cast<LONGLONG>(armed.Delay) + lateMs;
        S().Clock += passedMs * static_cast<LONGLONG>(kTicksPerMs);
    }
    armed.Callback(window, WM_TIMER, id, GetTickCount());
    return true;
}

void RefuseWorkers(bool refuse) {
    std::lock_guard<std::mutex> lock(S().Lock);
    S().RefuseWorkers = refuse;
}

int WorkerStarts() {
    std::lock_guard<std::mutex> lock(S().Lock);
    return static_cast<int>(S().Workers.size());
}

bool WaitForWorkers(DWORD timeoutMs) {
    std::vector<HANDLE> workers;
    {
        std::lock_guard<std::mutex> lock(S().Lock);
        workers = S().Workers;
    }
    const DWORD deadline = GetTickCount() + timeoutMs;
    for (HANDLE worker : workers) {
        const DWORD now = GetTickCount();
        const DWORD left = static_cast<LONG>(deadline - now) > 0 ? deadline - now : 0;
        if (WaitForSingleObject(worker, left) != WAIT_OBJECT_0) return false;
    }
    return true;
}

bool ClearRecords(DWORD timeoutMs) {
    if (!WaitForWorkers(timeoutMs)) return false;
    State& s = S();
    std::lock_guard<std::mutex> lock(s.Lock);
    for (HANDLE worker : s.Workers) CloseHandle(worker);
    s.Workers.clear();
    s.Readings = 0;
    s.Sleeps.clear();
    s.Sounds.clear();
    s.TimerCalls.clear();
    return true;
}

}  // namespace fake

namespace platform {

using fake::S;

void GetLocalTime(SYSTEMTIME* now) {
    std::lock_guard<std::mutex> lock(S().Lock);
    ++S().Readings;
    if (!S().Script.empty()) {
        *now = S().Script.front();
        S().Script.pop_front();
        return;
    }
    *now = fake::FromTicks(S().Clock);
}

void Sleep(DWORD milliseconds) {
    std::lock_guard<std::mutex> lock(S().Lock);
    S().Sleeps.push_back(milliseconds);
    S().Clock += milliseconds * fake::kTicksPerMs;
}

BOOL PlaySound(const char* name, DWORD flags) {
    fake::State& s = S();
    std::unique_lock<std::mutex> lock(s.Lock);
    s.Sounds.push_back({name ? name : "", flags, GetCurrentThreadId(), fake::FromTicks(s.Clock)});
    s.Changed.notify_all();
    if ((flags & SND_ASYNC) == 0) {
        // A synchronous play lasts until the test lets it end (never forever: a forgotten
        // release fails the test instead of hanging it).
        if (!s.Changed.wait_for(lock, std::chrono::seconds(20), [&] { return !s.HoldSync; })) {
            ADD_FAILURE() << "a held sound was never released";
        }
    }
    return TRUE;
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC callback) {
    if (window) {
        // Windows only lets a window's own thread set its timers (Wine does not check).
        EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId())
            << "SetTimer on a window of another thread";
    }
    std::lock_guard<std::mutex> lock(S().Lock);
    fake::TimerCall call{true, window, id, milliseconds, callback, FALSE};
    if (!S().RefuseTimers) {
        call.Result = TRUE;
        S().Armed[{window, id}] = call;
    }
    S().TimerCalls.push_back(call);
    return static_cast<UINT_PTR>(call.Result);
}

BOOL KillTimer(HWND window, UINT_PTR id) {
    std::lock_guard<std::mutex> lock(S().Lock);
    const BOOL removed = S().Armed.erase({window, id}) != 0;
    S().TimerCalls.push_back({false, window, id, 0, nullptr, removed});
    return removed;
}

bool StartWorkerThread(LPTHREAD_START_ROUTINE routine, void* parameter) {
    std::lock_guard<std::mutex> lock(S().Lock);
    if (S().RefuseWorkers) return false;
    HANDLE thread = CreateThread(nullptr, 4096, routine, parameter, 0, nullptr);
    if (!thread) return false;
    S().Workers.push_back(thread);
    return true;
}

void EndWorkerThread(DWORD exitCode) {
    ExitThread(exitCode);
}

}  // namespace platform
