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
// (FreeLibrary would return to the host with its own result), so it hands its reference to
// one-shot timers of its thread whose callback gives it back the same way.
#include "module/host_call_pins.h"

#include "module/signal_module.h"
#include "scheduler/signal_timer.h"
#include "win32/module_reference.h"

extern "C" {
// The image this code lives in (the linker's symbol): the handle every reference names.
extern IMAGE_DOS_HEADER __ImageBase;
void CALLBACK ReleaseTimerProc(HWND window, UINT message, UINT_PTR id, DWORD tickCount);
}

namespace {

// The references one thread's release timers hold. The entry's address is its window timer's
// id: an address inside the module is an id no host gives a timer of its own. Written only
// by its thread (its DLL_THREAD_DETACH included); other threads only look for their own.
struct PendingRelease {
    volatile LONG Thread;  // 0: free
    LONG References;
    UINT_PTR ThreadTimer;  // the id the system gave the thread timer, or 0
    HWND Window;           // the window holding the window timer, or null
};
// A host calls Setting on one thread; more threads than this each keep their reference.
PendingRelease g_releases[4];
volatile LONG g_out = 0;      // references out: pending and orphaned
volatile LONG g_orphans = 0;  // those whose thread ended first

HMODULE ThisModule() { return reinterpret_cast<HMODULE>(&__ImageBase); }

UINT_PTR WindowTimerId(const PendingRelease& release) { return reinterpret_cast<UINT_PTR>(&release); }

PendingRelease* ReleaseOf(DWORD thread) {
    for (PendingRelease& release : g_releases) {
        if (static_cast<DWORD>(release.Thread) == thread) return &release;
    }
    return nullptr;
}

// Frees `release` for any thread to take; the references it held.
LONG Empty(PendingRelease& release) {
    const LONG count = release.References;
    release.References = 0;
    release.ThreadTimer = 0;
    release.Window = nullptr;
    InterlockedExchange(&release.Thread, 0);
    return count;
}

// `count` references are back (or kept for good): with none out, a held timer is set now,
// before the caller's last release.
void EndHold(LONG count) {
    if (InterlockedExchangeAdd(&g_out, -count) == count && TheSignalModule) {
        TheSignalModule->ResumeSignalTimer();
    }
}

// All but the caller's last reference go back here, which cannot be the last the module has.
void GiveBackAllBut(LONG count) {
    for (LONG i = 1; i < count; ++i) FreeLibrary(ThisModule());
}

}  // namespace

extern "C" {

// The module reference to give back, or null.
HMODULE SignalTimerWhilePinned(UINT_PTR id) {
    // Taken before the module object is looked at: a detach on a worker's thread cannot free
    // it while this reference is held.
    const HMODULE pinned = TakeModuleReference();
    if (id == SIGNAL_TIMER_ID && TheSignalModule) TheSignalModule->OnSignalTimer();
    return pinned;
}

// The references of the calling thread's release, once its timers are gone: all but one
// given back here, the last returned for the tail; null when none is pending (a firing queued
// before the other timer killed it). A thread timer that could not be killed fires again and
// tries again, so each reference goes back once.
HMODULE ReleaseTimerWhilePinned(UINT_PTR id) {
    PendingRelease* release = ReleaseOf(GetCurrentThreadId());
    // A thread's entry holds references until it is emptied.
    if (!release || (id != WindowTimerId(*release) && id != release->ThreadTimer)) return nullptr;
    if (release->ThreadTimer && !KillTimer(nullptr, release->ThreadTimer)) return nullptr;
    // A window destroyed meanwhile took its timer along.
    if (release->Window) KillTimer(release->Window, WindowTimerId(*release));
    const LONG count = Empty(*release);
    GiveBackAllBut(count);
    GiveBackOrphans();  // this callback still holds one reference
    EndHold(count);
    return ThisModule();
}

}  // extern "C"

HMODULE TakeSettingReference() {
    const HMODULE pinned = TakeModuleReference();
    if (pinned) InterlockedIncrement(&g_out);
    return pinned;
}

bool GiveBackAtNextDispatch(HWND window) {
    const DWORD thread = GetCurrentThreadId();
    // A release this thread has not dispatched yet takes this reference along.
    PendingRelease* release = ReleaseOf(thread);
    for (PendingRelease& candidate : g_releases) {
        if (release) break;
        if (InterlockedCompareExchange(&candidate.Thread, static_cast<LONG>(thread), 0) == 0) {
            release = &candidate;
        }
    }
    if (release) {
        if (!release->ThreadTimer) {
            release->ThreadTimer = SetTimer(nullptr, 0, USER_TIMER_MINIMUM, ReleaseTimerProc);
        }
        // Windows accepts only a window of the calling thread (Wine does not check).
        if (!release->Window && window && GetWindowThreadProcessId(window, nullptr) == thread &&
            SetTimer(window, WindowTimerId(*release), USER_TIMER_MINIMUM, ReleaseTimerProc)) {
            release->Window = window;
        }
        if (release->ThreadTimer || release->Window) {
            ++release->References;
            return true;
        }
        Empty(*release);  // with no timer it holds no reference
    }
    EndHold(1);  // kept for good
    return false;
}

bool ReleasePending() {
    return g_out != 0;
}

void GiveBackOrphans() {
    const LONG count = InterlockedExchange(&g_orphans, 0);
    if (count == 0) return;
    for (LONG i = 0; i < count; ++i) FreeLibrary(ThisModule());
    EndHold(count);
}

void ReleaseOnThreadEnd() {
    PendingRelease* release = ReleaseOf(GetCurrentThreadId());
    if (release) InterlockedExchangeAdd(&g_orphans, Empty(*release));
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
