// The system seam as the module ships it: plain calls through the import table.
#include "win32/platform.h"

#include <mmsystem.h>

#include "win32/module_reference.h"
#include "win32/scoped_win.h"

namespace platform {

namespace {

HMODULE ThisModuleUnpinned() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModuleUnpinned), &module);
    return module;
}

constexpr SIZE_T kWorkerStackBytes = 4096;

}  // namespace

void GetLocalTime(SYSTEMTIME* now) {
    ::GetLocalTime(now);
}

DWORD GetTickCount() {
    return ::GetTickCount();
}

void Sleep(DWORD milliseconds) {
    ::Sleep(milliseconds);
}

BOOL PlaySound(const char* name, DWORD flags) {
    return ::PlaySoundA(name, nullptr, flags);
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT milliseconds, TIMERPROC callback) {
    return ::SetTimer(window, id, milliseconds, callback);
}

BOOL KillTimer(HWND window, UINT_PTR id) {
    return ::KillTimer(window, id);
}

bool StartWorkerThread(LPTHREAD_START_ROUTINE routine, void* parameter) {
    // A worker holds the module for as long as it runs.
    scoped::Library pinned(TakeModuleReference());
    if (!pinned) return false;
    // Nobody waits for the thread; it ends itself. Its handle is closed here at once.
    const scoped::Handle thread(
        ::CreateThread(nullptr, kWorkerStackBytes, routine, parameter, 0, nullptr));
    if (!thread) return false;
    pinned.Detach();  // the worker's reference now: released by EndWorkerThread
    return true;
}

void EndWorkerThread(DWORD exitCode) {
    ::FreeLibraryAndExitThread(ThisModuleUnpinned(), exitCode);
}

}  // namespace platform
