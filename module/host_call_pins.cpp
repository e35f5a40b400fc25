// The module code that the host's thread runs for longer than a call's own work: the settings
// dialog (Setting, module/entry.cpp) and the timer callback. Each holds a reference on the
// module while it runs, so that a FreeLibrary meanwhile (the host's, from its window procedure
// inside the dialog's message loop; or an hour-count worker's last release) cannot unmap the
// code under it.
//
// Giving that reference back may be the last release: the system then detaches the module
// (stopping the timer and saving, as at any unload) and unmaps it before FreeLibrary
// returns. So FreeLibrary is not called from the module's code but jumped to from a timer
// callback, with the dispatcher's own return address on the stack: nothing of the module runs
// after it, as with FreeLibraryAndExitThread on a worker, and every return address is one a
// call pushed, so shadow stacks and return checks let it pass. Setting cannot do that itself
// (FreeLibrary would return to the host with its own result), so it hands its reference to a
// one-shot thread timer whose callback gives it back the same way.
#include "module/host_call_pins.h"

#include "module/signal_module.h"
#include "scheduler/signal_timer.h"
#include "win32/module_reference.h"

extern "C" {

// The image this code lives in (the linker's symbol): the handle every reference names.
extern IMAGE_DOS_HEADER __ImageBase;

void CALLBACK ReleaseTimerProc(HWND window, UINT message, UINT_PTR id, DWORD tickCount);

// The module reference to give back, or null.
HMODULE SignalTimerWhilePinned(UINT_PTR id) {
    // Taken before the module object is looked at: a detach on a worker's thread cannot free
    // it while this reference is held.
    const HMODULE pinned = TakeModuleReference();
    if (id == SIGNAL_TIMER_ID && TheSignalModule) TheSignalModule->OnSignalTimer();
    return pinned;
}

// The reference GiveBackAtNextDispatch took over, once its timer is gone; else null. A timer
// that could not be killed fires again and tries again, so the reference goes back once.
HMODULE ReleaseTimerWhilePinned(UINT_PTR id) {
    // A thread timer is killed by the id the system gave it and no window.
    return KillTimer(nullptr, id) ? reinterpret_cast<HMODULE>(&__ImageBase) : nullptr;
}

}  // extern "C"

bool GiveBackAtNextDispatch() {
    // A thread timer, not one of the host's window: it survives the host destroying its window
    // as soon as Setting has returned.
    return SetTimer(nullptr, 0, USER_TIMER_MINIMUM, ReleaseTimerProc) != 0;
}

// Both branches are the same instructions; tests/e2e/check_host_call_pins.py follows each
// callback through the shared tail to its jump into FreeLibrary.
// void CALLBACK timer callback(window, message, id, tick): stdcall, four arguments. Each
//   callback hands the id to its C++ half (cdecl), which answers the reference to give back
//   or null, and goes on to the tail with the id still pushed. There FreeLibrary takes the
//   place of the callback's last two arguments: the dispatcher's return address, then the
//   module; FreeLibrary's `ret 4` leaves the stack as the callback's `ret 16` would.
#if defined(__GNUC__) && defined(__i386__)
__asm__(
    ".text\n"
    ".def _GiveModuleBackAndReturn; .scl 3; .type 32; .endef\n"
    "_GiveModuleBackAndReturn:\n"
    "    addl $4, %esp\n"
    "    testl %eax, %eax\n"
    "    jz 1f\n"
    "    movl (%esp), %ecx\n"
    "    movl %ecx, 12(%esp)\n"
    "    movl %eax, 16(%esp)\n"
    "    addl $12, %esp\n"
    "    movl __imp__FreeLibrary@4, %ecx\n"
    "    jmp *%ecx\n"
    "1:  ret $16\n"
    "\n"
    ".globl _SignalTimerProc@16\n"
    "_SignalTimerProc@16:\n"
    "    pushl 12(%esp)\n"
    "    call _SignalTimerWhilePinned\n"
    "    jmp _GiveModuleBackAndReturn\n"
    "\n"
    ".globl _ReleaseTimerProc@16\n"
    "_ReleaseTimerProc@16:\n"
    "    pushl 12(%esp)\n"
    "    call _ReleaseTimerWhilePinned\n"
    "    jmp _GiveModuleBackAndReturn\n");
#elif defined(_MSC_VER) && defined(_M_IX86)
// Inline assembly of this kind takes `jmp pointer` for a jump to the pointer's own address
// (clang-cl does), so the jump into kernel32 goes through a register.
namespace {
const auto kFreeLibrary = &::FreeLibrary;  // read before the jump, while the module is mapped
}  // namespace

extern "C" __declspec(naked) void GiveModuleBackAndReturn() {
    __asm {
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

extern "C" __declspec(naked) void CALLBACK SignalTimerProc(HWND, UINT, UINT_PTR, DWORD) {
    __asm {
        push dword ptr [esp + 12]
        call SignalTimerWhilePinned
        jmp GiveModuleBackAndReturn
    }
}

extern "C" __declspec(naked) void CALLBACK ReleaseTimerProc(HWND, UINT, UINT_PTR, DWORD) {
    __asm {
        push dword ptr [esp + 12]
        call ReleaseTimerWhilePinned
        jmp GiveModuleBackAndReturn
    }
}
#else
#error "The pinned timer callbacks are written for 32-bit x86."
#endif
