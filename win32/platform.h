#pragma once
// The narrow seam between the module and the system, where tests steer it: local time, the
// tick count, sleep, sound (the scheduler's plays and the dialog's test play), the worker
// thread and the window timer. The module links platform_win32.cpp, which calls the Win32
// functions through the import table at every call (so compatibility shims and API monitors
// see each one); the unit tests link the recorded system in its place
// (tests/win32/unit/recorded_platform.cpp).
#include <windows.h>

namespace platform {

void GetLocalTime(SYSTEMTIME* now);
// Milliseconds since the system started, wrapping every 49.7 days; unlike the local time,
// nobody sets it.
DWORD GetTickCount();
void Sleep(DWORD milliseconds);
BOOL PlaySound(const char* name, DWORD flags);  // PlaySoundA(name, nullptr, flags)
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC callback);
BOOL KillTimer(HWND window, UINT_PTR id);

// Starts `routine(parameter)` on a new thread with a 4096-byte initial stack. The thread
// holds a reference on the module, so the module stays mapped while it runs even if the
// host unloads it meanwhile. Returns false (and plays nothing) if the thread cannot start.
bool StartWorkerThread(LPTHREAD_START_ROUTINE routine, void* parameter);

// Ends a thread started by StartWorkerThread, releasing its module reference without
// returning into module code (FreeLibraryAndExitThread).
[[noreturn]] void EndWorkerThread(DWORD exitCode);

}  // namespace platform
