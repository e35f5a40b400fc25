// The stack canaries' guard and their failure path (win32/stack_guard.h).
#include <gtest/gtest.h>
#include <windows.h>

#include "win32/stack_guard.h"

namespace {

// Never 0, never the value before seeding, and another one at the next load.
TEST(StackGuard, EachSeedingGivesAGuardOfItsOwn) {
    const std::uintptr_t unseeded = __stack_chk_guard;
    SeedStackGuard();
    const std::uintptr_t first = __stack_chk_guard;
    Sleep(1);
    SeedStackGuard();
    EXPECT_NE(0u, first);
    EXPECT_NE(unseeded, first);
    EXPECT_NE(first, __stack_chk_guard);
}

LONG WINAPI EndAsIfSwallowed(EXCEPTION_POINTERS*) {
    ExitProcess(1);
}

// A failed check ends the process with the stack overrun status before any handler sees an
// exception: one that would catch them all is installed first. (Under Wine int 0x29 raises
// the status as an unhandled exception, which skips the handlers as Windows 8 and later do.)
TEST(StackGuardDeathTest, AFailedCheckEndsTheProcessPastEveryHandler) {
    EXPECT_EXIT(
        {
            AddVectoredExceptionHandler(1, &EndAsIfSwallowed);
            SetUnhandledExceptionFilter(&EndAsIfSwallowed);
            __stack_chk_fail();
        },
        testing::ExitedWithCode(static_cast<int>(STATUS_STACK_BUFFER_OVERRUN)), "");
}

}  // namespace
