// The stack canaries' failure path (win32/stack_guard.h).
#include <gtest/gtest.h>
#include <windows.h>

#include "win32/stack_guard.h"

static LONG WINAPI EndAsIfSwallowed(EXCEPTION_POINTERS*) { ExitProcess(1); }

// A failed check ends the process with the stack overrun status before any handler sees an
// exception: one that would catch them all is installed first. (Under Wine int 0x29 raises
// the status as an unhandled exception, which skips the handlers as Windows 8 and later do.)
TEST(StackGuardDeathTest, AFailedCheckEndsTheProcessPastEveryHandler) {
    EXPECT_EXIT((AddVectoredExceptionHandler(1, &EndAsIfSwallowed),
                 SetUnhandledExceptionFilter(&EndAsIfSwallowed), __stack_chk_fail()),
                testing::ExitedWithCode(static_cast<int>(STATUS_STACK_BUFFER_OVERRUN)), "");
}
