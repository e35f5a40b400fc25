#include "win32/stack_guard.h"

#include <windows.h>

#if !defined(_MSC_VER)  // MSVC brings its own (win32/stack_guard.h)
namespace {

constexpr std::uintptr_t kUnseededGuard = 0x2f8a6c1d;

// One value folded into the guard, its bits spread over the whole word (a process id alone
// would change only the low bits).
KARVEX_NO_STACK_PROTECTOR std::uintptr_t Mix(std::uintptr_t guard, std::uintptr_t value) {
    guard = (guard ^ value) * 0x9e3779b1u;
    return guard ^ (guard >> 15);
}

}  // namespace

std::uintptr_t __stack_chk_guard = kUnseededGuard;  // C linkage: the header says so

void SeedStackGuard() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    std::uintptr_t guard = kUnseededGuard;
    guard = Mix(guard, counter.LowPart);
    guard = Mix(guard, static_cast<std::uintptr_t>(counter.HighPart));
    guard = Mix(guard, now.dwLowDateTime);
    guard = Mix(guard, now.dwHighDateTime);
    guard = Mix(guard, GetTickCount());
    guard = Mix(guard, GetCurrentProcessId());
    guard = Mix(guard, GetCurrentThreadId());
    guard = Mix(guard, reinterpret_cast<std::uintptr_t>(&counter));
    __stack_chk_guard = guard != 0 ? guard : kUnseededGuard;
}

void __stack_chk_fail() {
    // __fastfail (Windows 8 on): the kernel ends the process without running any handler,
    // and Windows Error Reporting records it.
    if (IsProcessorFeaturePresent(PF_FASTFAIL_AVAILABLE)) {
        __asm__ volatile("int $0x29" : : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE) : "memory");
    }
    // Before it, as the C runtimes' own checks do: the status goes to the system's unhandled-
    // exception filter alone (the host's filter taken away first, so no code of the host's
    // runs on a smashed stack), which reports it and can write a dump; then the process ends.
    // Static records: the stack is the part not to be trusted.
    static EXCEPTION_RECORD record;
    static CONTEXT context;
    RtlCaptureContext(&context);
    record.ExceptionCode = STATUS_STACK_BUFFER_OVERRUN;
    record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
    record.ExceptionAddress = __builtin_return_address(0);
    EXCEPTION_POINTERS pointers{&record, &context};
    SetUnhandledExceptionFilter(nullptr);
    UnhandledExceptionFilter(&pointers);
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    __builtin_trap();  // not reached: terminating the own process does not return
}
#endif
