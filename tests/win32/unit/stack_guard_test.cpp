// The stack canaries' failure path (win32/stack_guard.h).
#include <gtest/gtest.h>
#include <windows.h>

#include "support/import_hook.h"
#include "win32/stack_guard.h"

static LONG WINAPI EndAsIfSwallowed(EXCEPTION_POINTERS*) { ExitProcess(1); }
static BOOL WINAPI NoFeature(DWORD) { return FALSE; }

// Answers the test program's IsProcessorFeaturePresent with 0 for the rest of the process (a
// death test's child), as Windows before 8 answers PF_FASTFAIL_AVAILABLE.
static bool WithoutFastFail() {
    static const ImportHook hook(GetModuleHandleA(nullptr), "KERNEL32.dll", "IsProcessorFeaturePresent",
                                 HookAddress(&NoFeature));
    return hook.Installed();
}

// A failed check ends the process with the stack overrun status, and no handler of the host's
// runs: one that would catch everything is installed first, as a vectored handler and as the
// unhandled-exception filter. With fast fail (under Wine int 0x29 raises the status as an
// unhandled exception, which skips the handlers as Windows 8 and later do), and without it, as
// before Windows 8: the system's filter alone gets the status (the test prefix starts no
// debugger), then the process is terminated.
TEST(StackGuardDeathTest, AFailedCheckEndsTheProcessPastEveryHandler) {
    for (const bool fastFail : {true, false}) {
        SCOPED_TRACE(fastFail ? "fast fail" : "before Windows 8");
        EXPECT_EXIT({
            if (!fastFail && !WithoutFastFail()) ExitProcess(2);
            AddVectoredExceptionHandler(1, &EndAsIfSwallowed);
            SetUnhandledExceptionFilter(&EndAsIfSwallowed);
            __stack_chk_fail();
        }, testing::ExitedWithCode(static_cast<int>(STATUS_STACK_BUFFER_OVERRUN)), "");
    }
}

// Seeding gives the guard a value of its own: neither the fixed one before it nor 0, which
// every process would share and an overflow could forge. (In a child: the frames below were
// entered with the old guard, so the child ends without returning through them.)
TEST(StackGuardDeathTest, SeedingLeavesNoFixedGuard) {
    EXPECT_EXIT({
        const std::uintptr_t before = __stack_chk_guard;
        SeedStackGuard();
        ExitProcess(__stack_chk_guard != before && __stack_chk_guard != 0 ? 7 : 8);
    }, testing::ExitedWithCode(7), "");
}
