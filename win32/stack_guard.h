#pragma once
// The stack canaries' guard and their failure path, which the code that
// -fstack-protector-strong adds to every function with an array or an address-taken local
// reads and calls. The module brings its own rather than the compiler's libssp: libssp's
// start-up code seeds the guard through the crypto provider, which loads three libraries
// inside DLL_PROCESS_ATTACH, under the loader's lock.
#include <cstdint>

#if defined(_MSC_VER)
// MSVC's /GS (the README's recipe) checks a cookie of its runtime's own, seeded before DllMain.
// A failed check ends the process with __fastfail from Windows 8 on; before, it raises the
// status through UnhandledExceptionFilter with the filter reset, then calls TerminateProcess:
// nothing to do here.
#define KARVEX_NO_STACK_PROTECTOR
inline void SeedStackGuard() {}
#else
// A function that must carry no canary of its own: the seeding and every function on the
// stack while it runs (the DLL's entry point), whose canary would be read before the guard
// changes and checked after.
#define KARVEX_NO_STACK_PROTECTOR __attribute__((no_stack_protector))

// Sets the guard from what differs between processes and between loads: the performance
// counter, the tick count, the system time, the process and thread ids and a stack address.
// All of it comes from kernel32, already loaded; nothing is loaded. The first thing the
// module does in DLL_PROCESS_ATTACH; the guard is never left 0.
KARVEX_NO_STACK_PROTECTOR void SeedStackGuard();

extern "C" {
// Read by every canary check; a fixed value until SeedStackGuard runs.
extern std::uintptr_t __stack_chk_guard;
// Called by a check that found its canary overwritten: ends the process with
// STATUS_STACK_BUFFER_OVERRUN in a way no handler of the host's can catch (user32 swallows
// exceptions in a timer's callback, and the host would run on with a smashed stack): with
// __fastfail from Windows 8 on; before, as MSVC's runtime does, through the system's
// unhandled-exception filter with the host's filter reset (so that the failure is reported
// and can leave a dump), then TerminateProcess. Calls kernel32 alone and loads nothing.
[[noreturn]] KARVEX_NO_STACK_PROTECTOR void __stack_chk_fail();
}
#endif
