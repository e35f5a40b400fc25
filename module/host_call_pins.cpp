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
// overwrite, FreeLibrary returns into SetLastError(the host's last error), which returns into
// MulDiv(result, 1, 1), which hands the result to the host unchanged (1, 0 and -1 alike):
// all three live in kernel32, and the host finds its last error as it left it.
//
// Those return addresses are made, not pushed by a call. A process that has the system
// check return addresses would be stopped at the first of them; there Setting keeps its
// reference and returns as any function does, and the module stays mapped until the
// process ends. The timer callback needs no such care: FreeLibrary returns to the
// dispatcher that called it.
#include <windows.h>

#include "module/exports.h"
#include "module/host_call_pins.h"
#include "module/signal_module.h"
#include "scheduler/signal_timer.h"
#include "win32/module_reference.h"

extern "C" {

// The dialog's result in the low half; in the high half the module reference to give back,
// or 0 when none is to be given back (none taken, or kept for good). Leaves the thread's last
// error as `hostError`, the one the host left.
unsigned long long SettingWhilePinned(DWORD hostError) {
    const HMODULE pinned = TakeModuleReference();
    const int result = TheSignalModule ? TheSignalModule->Setting() : -1;
    const HMODULE release = pinned && !ProcessChecksReturnAddresses() ? pinned : nullptr;
    SetLastError(hostError);
    return static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(release)) << 32 |
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

// Both branches are the same instructions, each jump to kernel32 through a register;
// tests/e2e/check_host_call_pins.py follows each to its jump and checks the chain below.
// int WINAPI Setting(): stdcall, no arguments.
//   The host's last error is noted first; SettingWhilePinned (cdecl) takes it. On the jump to
//   FreeLibrary the stack holds, from the top: SetLastError (FreeLibrary's return), the module
//   (its argument), MulDiv (SetLastError's return), the host's last error (its argument), the
//   host's return address (MulDiv's return), and MulDiv's arguments: the result, 1, and 1 in
//   the slot where the host's return address came in. MulDiv's `ret 12` leaves the stack as a
//   stdcall function of no arguments leaves it. The detach inside FreeLibrary changes the
//   last error (under Wine it leaves 0); SetLastError puts the host's back.
// void CALLBACK SignalTimerProc(window, message, id, tick): stdcall, four arguments.
//   FreeLibrary takes the place of the last two: the host's return address, then the module.
#if defined(__GNUC__) && defined(__i386__)
__asm__(
    ".text\n"
    ".globl _Setting@0\n"
    "_Setting@0:\n"
    "    movl __imp__GetLastError@0, %ecx\n"
    "    call *%ecx\n"
    "    pushl %eax\n"
    "    call _SettingWhilePinned\n"
    "    popl %ecx\n"
    "    testl %edx, %edx\n"
    "    jz 1f\n"
    "    pushl $1\n"
    "    pushl %eax\n"
    "    movl 8(%esp), %eax\n"
    "    movl $1, 8(%esp)\n"
    "    pushl %eax\n"
    "    pushl %ecx\n"
    "    pushl __imp__MulDiv@12\n"
    "    pushl %edx\n"
    "    pushl __imp__SetLastError@4\n"
    "    movl __imp__FreeLibrary@4, %ecx\n"
    "    jmp *%ecx\n"
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
    "    movl __imp__FreeLibrary@4, %ecx\n"
    "    jmp *%ecx\n"
    "1:  ret $16\n");
#elif defined(_MSC_VER) && defined(_M_IX86)
// Inline assembly of this kind takes `jmp pointer` and `call pointer` for jumps to the
// pointer's own address (clang-cl does), so each goes through a register.
namespace {
// Read before the jump, while the module is still mapped.
const auto kFreeLibrary = &::FreeLibrary;
const auto kSetLastError = &::SetLastError;
const auto kGetLastError = &::GetLastError;
const auto kMulDiv = &::MulDiv;
}  // namespace

extern "C" __declspec(naked) int WINAPI Setting() {
    __asm {
        mov ecx, kGetLastError
        call ecx
        push eax
        call SettingWhilePinned
        pop ecx
        test edx, edx
        jz no_reference
        push 1
        push eax
        mov eax, [esp + 8]
        mov dword ptr [esp + 8], 1
        push eax
        push ecx
        push kMulDiv
        push edx
        push kSetLastError
        mov ecx, kFreeLibrary
        jmp ecx
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
        mov ecx, kFreeLibrary
        jmp ecx
    no_reference:
        ret 16
    }
}
#else
#error "The pinned host calls are written for 32-bit x86."
#endif
