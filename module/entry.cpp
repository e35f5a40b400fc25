// The DLL entry point and the ten exports. Each export forwards to the one module object;
// none of them lets an exception or a null object reach the host, or changes the thread's
// last error.
#include <windows.h>
#include <new>
#include "module/exports.h"
#include "module/host_call_pins.h"
#include "module/signal_module.h"
#include "resources/resource_ids.h"
#include "win32/module_reference.h"
#include "win32/resource_text.h"
#include "win32/stack_guard.h"

namespace {

constexpr int kTitleBufferBytes = 80;  // the host's buffer: at most 79 bytes and the terminator

// Puts the thread's last error back as the host left it when the holder goes: an export's
// answer is its result alone, and the system calls behind it (a failed look-up, a timer with
// nothing to kill, the detach's save) are no business of the host's.
class HostLastError {
public:
    HostLastError() : error_(GetLastError()) {}
    ~HostLastError() { SetLastError(error_); }
    HostLastError(const HostLastError&) = delete;
    HostLastError& operator=(const HostLastError&) = delete;

private:
    const DWORD error_;
};

KARVEX_NO_STACK_PROTECTOR BOOL DllEntryPoint(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        // Before any function with a canary starts (this one and DllMain have none).
        SeedStackGuard();
        TheSignalModule = new (std::nothrow) SignalModule(instance);
        // Without its object the module could do nothing: refuse to load rather than
        // answer the host's calls with nothing behind them.
        return TheSignalModule != nullptr;
    case DLL_PROCESS_DETACH:
        // Runs on an hour-count worker's thread when the host let go while the worker still
        // played: the worker's reference kept the module mapped until its plays were done.
        if (TheSignalModule) {
            SignalModule* module = TheSignalModule;
            TheSignalModule = nullptr;  // a late timer firing finds no object
            if (reserved != nullptr) {
                // Process exit: the other threads are gone (one may have held a lock the save
                // would wait for), the timer and the memory go with the process, and the
                // loader's lock is held. Only what the file would otherwise lack is written.
                module->SaveIfFileMayLack();
            } else {
                delete module;
            }
        }
        return TRUE;
    case DLL_THREAD_DETACH:
        // A thread that called Setting and ends before its loop gave the reference back.
        ReleaseOnThreadEnd();
        return TRUE;
    default:
        return TRUE;
    }
}

// An export the host calls, so it holds the module: the references of a thread that ended
// with them can go back here without unloading anything.
class HostCall : HostLastError {
public:
    HostCall() { GiveBackOrphans(); }
};

}  // namespace

extern "C" KARVEX_NO_STACK_PROTECTOR BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason,
                                                         LPVOID reserved) {
    // The detach runs inside the host's FreeLibrary (or the timer dispatch that gives Setting's
    // reference back), which the host expects to leave its last error alone on success.
    const HostLastError kept;
    return DllEntryPoint(instance, reason, reserved);
}

extern "C" {

int WINAPI QueryVekModule() {
    const HostLastError kept;
    return 1;
}

int WINAPI SetParentWindow(HWND window) {
    const HostCall call;
    if (TheSignalModule) TheSignalModule->SetParentWindow(window);
    return 0;
}

int WINAPI IsModuleEnable() {
    const HostCall call;
    return TheSignalModule ? TheSignalModule->Enable : 0;
}

int WINAPI GetTitleName(char* buffer) {
    const HostCall call;
    if (!TheSignalModule || !buffer) return 0;
    return LoadResourceText(TheSignalModule->ModuleInstance, IDS_TITLE, buffer, kTitleBufferBytes);
}

int WINAPI Setting() {
    const HostCall call;
    if (!TheSignalModule) return -1;
    if (TheSignalModule->IsSettingOpen()) return 0;  // no reference for a call that does nothing
    // The host may FreeLibrary from its window procedure while the dialog runs: this reference
    // keeps the code under the dialog mapped. It cannot be given back here (the release may
    // unmap the code this function returns through), so timers of this thread take it over,
    // and the signal timer OK re-arms waits for them. Without those timers it is kept: the
    // module then stays mapped until the process ends.
    const HMODULE pinned = TakeSettingReference();
    const int result = TheSignalModule->Setting();
    if (pinned) GiveBackAtNextDispatch(TheSignalModule->ParentWindow);
    return result;
}

int WINAPI StartModule() {
    const HostCall call;
    return TheSignalModule ? TheSignalModule->ArmSignalTimer() : 0;
}

int WINAPI StopModule() {
    const HostCall call;
    return TheSignalModule ? TheSignalModule->StopSignalTimer() : 0;
}

int WINAPI SetPortableMode(int mode) {
    const HostCall call;
    if (TheSignalModule) TheSignalModule->SetPortableMode(mode);
    return 0;
}

int WINAPI ChangePortableMode(int mode) {
    const HostCall call;
    return TheSignalModule ? TheSignalModule->ChangePortableMode(mode) : 0;
}

int WINAPI InitialLoad(int portable) {
    const HostCall call;
    return TheSignalModule ? TheSignalModule->InitialLoad(portable) : 0;
}

}  // extern "C"
