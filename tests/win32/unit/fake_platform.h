#pragma once
// Scripted stand-in for win32/platform.h in the unit tests: a settable local clock that
// Sleep advances, records of every sound and timer call, worker threads that are real (or
// refused), and a gate that holds synchronous plays so a test can prove who waits for them.
// Everything here may be called from worker threads; call Reset() between tests.
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace fake {

struct SoundCall {
    std::string Name;
    DWORD Flags;
    DWORD ThreadId;
    SYSTEMTIME At;  // the fake clock when the play started
};

struct TimerCall {
    bool IsSet;  // SetTimer, else KillTimer
    HWND Window;
    UINT_PTR Id;
    UINT Delay;           // SetTimer only
    TIMERPROC Callback;   // SetTimer only
    BOOL Result;          // what the fake answered
};

// Back to a clean state: lets every held play go, waits for the workers of the last test,
// clears the records and sets the clock to 2025-01-06 00:00:00.000.
void Reset();

// The clock. Sleep(ms) advances it; nothing else moves it unless a test does.
void SetClock(WORD hour, WORD minute, WORD second, WORD milliseconds = 0);
SYSTEMTIME Clock();
// Readings handed out by GetLocalTime before the clock is consulted again, in order.
void ScriptReadings(const std::vector<SYSTEMTIME>& readings);
SYSTEMTIME At(WORD hour, WORD minute, WORD second, WORD milliseconds = 0);
int ReadingCount();  // GetLocalTime calls since Reset
std::vector<DWORD> Sleeps();

// Sounds.
std::vector<SoundCall> Sounds();
// While held, a synchronous play records itself and then blocks until released. Plays
// started with SND_ASYNC never block.
void HoldSyncSounds();
void ReleaseSyncSounds();
// Waits until at least `count` plays have started; false on timeout.
bool WaitForSounds(std::size_t count, DWORD timeoutMs = 5000);

// Timers. A set timer stays armed until killed (as on Windows); SetTimer from a thread that
// does not own the window is reported as a test failure.
std::vector<TimerCall> TimerCalls();
bool IsArmed(HWND window, UINT_PTR id, TimerCall* armed = nullptr);
void RefuseTimers(bool refuse);  // SetTimer answers 0 and arms nothing
// Lets the armed timer's delay pass on the clock, `lateMs` more (less when negative: timers
// can fire early), and calls its callback, as the window's message loop would. False when no
// such timer is armed.
bool FireTimer(HWND window, UINT_PTR id, int lateMs = 0);

// Worker threads: real threads by default, so "runs on its own thread" can be checked.
void RefuseWorkers(bool refuse);
int WorkerStarts();  // successful starts since Reset
// Waits until every worker started so far has ended; false on timeout.
bool WaitForWorkers(DWORD timeoutMs = 10000);

// For long runs: waits for the workers started so far, closes their handles and drops the
// records (sounds, sleeps, timer calls, readings, worker starts), keeping the clock, the
// armed timers and the settings. False (and nothing cleared) if a worker never ended.
bool ClearRecords(DWORD timeoutMs = 10000);

}  // namespace fake
