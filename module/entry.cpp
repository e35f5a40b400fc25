// The DLL entry point and the ten exports. Each export forwards to the one module object;
// none of them lets an exception or a null object reach the host.
#include <windows.h>
#include <new>
#include "module/exports.h"
#include "module/signal_module.h"
#include "resources/resource_ids.h"
#include "win32/resource_text.h"
#include "win32/stack_guard.h"

namespace {

constexpr int kTitleBufferBytes = 80;  // the host's buffer: at most 79 bytes and the terminator

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
    default:
        return TRUE;
    }
}

}  // namespace

extern "C" KARVEX_NO_STACK_PROTECTOR BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason,
                                                         LPVOID reserved) {
    return DllEntryPoint(instance, reason, reserved);
}

extern "C" {

int WINAPI QueryVekModule() {
    return 1;
}

int WINAPI SetParentWindow(HWND window) {
    if (TheSignalModule) TheSignalModule->SetParentWindow(window);
    return 0;
}

int WINAPI IsModuleEnable() {
    return TheSignalModule ? TheSignalModule->Enable : 0;
}

int WINAPI GetTitleName(char* buffer) {
    if (!TheSignalModule || !buffer) return 0;
    return LoadResourceText(TheSignalModule->ModuleInstance, IDS_TITLE, buffer, kTitleBufferBytes);
}

// Setting is in module/host_call_pins.cpp: it keeps the module mapped while the dialog runs.

int WINAPI StartModule() {
    return TheSignalModule ? TheSignalModule->ArmSignalTimer() : 0;
}

int WINAPI StopModule() {
    return TheSignalModule ? TheSignalModule->StopSignalTimer() : 0;
}

int WINAPI SetPortableMode(int mode) {
    if (TheSignalModule) TheSignalModule->SetPortableMode(mode);
    return 0;
}

int WINAPI ChangePortableMode(int mode) {
    return TheSignalModule ? TheSignalModule->ChangePortableMode(mode) : 0;
}

int WINAPI InitialLoad(int portable) {
    return TheSignalModule ? TheSignalModule->InitialLoad(portable) : 0;
}

}  // extern "C"
