// The two ways the host's thread runs module code for longer than a call's own work: the
// settings dialog (Setting) and the timer callback. Each holds a reference on the module
// while it runs, so that a FreeLibrary meanwhile (the host's, from its window procedure
// inside the dialog's message loop; or an hour-count worker's last release) cannot unmap
// the code under it.
//
// Giving that reference back may be the last release: the system then detaches the module
// (stopping the timer and saving, as at any unload) and unmaps it before FreeLibrary
// returns. So FreeLibrary is not called from the module's code but jumped to, with the
// host's own return address on the stack: nothing of the module runs after it, as with
// FreeLibraryAndExitThread on a worker. For Setting, whose result FreeLibrary's would
// overwrite, FreeLibrary returns into SetLastError(result), which returns into
// GetLastError, which hands the result to the host: all three live in kernel32.
#include <windows.h>

#include "module/exports.h"
#include "module/host_call_pins.h"
#include "module/signal_module.h"
#include "scheduler/signal_timer.h"
#include "win32/module_reference.h"

extern "C" {

// The dialog's result in the low half; in the high half the module reference to give back,
// or 0 when none was taken.
unsigned long long SettingWhilePinned() {
    const HMODULE pinned = TakeModuleReference();
    const int result = TheSignalModule ? TheSignalModule->Setting() : -1;
    return static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(pinned)) << 32 |
           static_cast<unsigned>(result);
}

// The module reference to give back, or null.
HMODULE SignalTimerWhilePinned(UINT_PTR id) {
    // Taken before the module object is looked at: a detach on a worker's thread cannot free
    // it while this reference is held.
    const HMODULE pinned = TakeModuleReference();
    if (id == SIGNAL_TIMER_ID && TheSignalModule) TheSignalModule->OnSignalTimer();
    return pinned;
}

}  // extern "C"

#if defined(__GNUC__) && defined(__i386__)
// int WINAPI Setting(): stdcall, no arguments.
//   On the jump to FreeLibrary the stack holds, from the top: SetLastError (FreeLibrary's
//   return), the module (its argument), GetLastError (SetLastError's return), the result
//   (its argument), and the host's return address, where the call came in.
// void CALLBACK SignalTimerProc(window, message, id, tick): stdcall, four arguments.
//   FreeLibrary takes the place of the last two: the host's return address, then the module.
__asm__(
    ".text\n"
    ".globl _Setting@0\n"
    "_Setting@0:\n"
    "    call _SettingWhilePinned\n"
    "    testl %edx, %edx\n"
    "    jz 1f\n"
    "    pushl %eax\n"
    "    pushl __imp__GetLastError@0\n"
    "    pushl %edx\n"
    "    pushl __imp__SetLastError@4\n"
    "    jmp *__imp__FreeLibrary@4\n"
    "1:  ret\n"
    "\n"
    ".globl _SignalTimerProc@16\n"
    "_SignalTimerProc@16:\n"
    "    pushl 12(%esp)\n"
    "    call _SignalTimerWhilePinned\n"
    "    addl $4, %esp\n"
    "    testl %eax, %eax\n"
    "    jz 1f\n"
    "    movl (%esp), %ecx\n"
    "    movl %ecx, 12(%esp)\n"
    "    movl %eax, 16(%esp)\n"
    "    addl $12, %esp\n"
    "    jmp *__imp__FreeLibrary@4\n"
    "1:  ret $16\n");
#elif defined(_MSC_VER) && defined(_M_IX86)
namespace {
// Read before the jump, while the module is still mapped.
const auto kFreeLibrary = &::FreeLibrary;
const auto kSetLastError = &::SetLastError;
const auto kGetLastError = &::GetLastError;
}  // namespace

extern "C" __declspec(naked) int WINAPI Setting() {
    __asm {
        call SettingWhilePinned
        test edx, edx
        jz no_reference
        push eax
        push kGetLastError
        push edx
        push kSetLastError
        jmp kFreeLibrary
    no_reference:
        ret
    }
}

extern "C" __declspec(naked) void CALLBACK SignalTimerProc(HWND, UINT, UINT_PTR, DWORD) {
    __asm {
        push dword ptr [esp + 12]
        call SignalTimerWhilePinned
        add esp, 4
        test eax, eax
        jz no_reference
        mov ecx, [esp]
        mov [esp + 12], ecx
        mov [esp + 16], eax
        add esp, 12
        jmp kFreeLibrary
    no_reference:
        ret 16
    }
}
#else
#error "The pinned host calls are written for 32-bit x86."
#endif
