// Scripted stand-in for the system seam (extended with the scheduler tests).
#include "scheduler/platform.h"

namespace platform {

void GetLocalTime(SYSTEMTIME* now) { ::GetLocalTime(now); }
void Sleep(DWORD) {}
BOOL PlaySound(const char*, DWORD) { return TRUE; }
UINT_PTR SetTimer(HWND, UINT_PTR id, UINT, TIMERPROC) { return id; }
BOOL KillTimer(HWND, UINT_PTR) { return TRUE; }
bool StartWorkerThread(LPTHREAD_START_ROUTINE, void*) { return false; }
void EndWorkerThread(DWORD exitCode) { ::ExitThread(exitCode); }

}  // namespace platform
