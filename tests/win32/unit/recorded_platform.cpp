// The system seam of the unit tests: each call goes to the recorder that the real module's
// import table reaches in the module tests (support/recorded_system.h).
#include "win32/platform.h"

#include <gtest/gtest.h>
#include <mmsystem.h>  // which names PlaySound PlaySoundA, as it does for the module

#include "support/recorded_system.h"

namespace platform {

void GetLocalTime(SYSTEMTIME* now) {
    recorded::RecordedGetLocalTime(now);
}

DWORD GetTickCount() {
    return recorded::RecordedGetTickCount();
}

void Sleep(DWORD milliseconds) {
    recorded::RecordedSleep(milliseconds);
}

BOOL PlaySound(const char* name, DWORD flags) {
    return recorded::RecordedPlaySoundA(name, nullptr, flags);
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC callback) {
    // Windows lets only a window's own thread set its timers; Wine does not check.
    if (window) {
        EXPECT_EQ(GetWindowThreadProcessId(window, nullptr), GetCurrentThreadId())
            << "SetTimer on a window of another thread";
    }
    return recorded::RecordedSetTimer(window, id, milliseconds, callback);
}

BOOL KillTimer(HWND window, UINT_PTR id) {
    return recorded::RecordedKillTimer(window, id);
}

bool StartWorkerThread(LPTHREAD_START_ROUTINE routine, void* parameter) {
    return recorded::StartWorker(routine, parameter);
}

void EndWorkerThread(DWORD exitCode) {
    ExitThread(exitCode);
}

}  // namespace platform
