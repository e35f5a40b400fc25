// The DLL's load-configuration record and Control Flow Guard's check pointer, for the clang
// build, which is compiled with -mguard=cf and linked with --guard-cf (CMakeLists.txt,
// module/CMakeLists.txt): Debian 12's MinGW-w64 runtime brings neither. Laid out as MSVC's
// runtime lays out its own: the record in read-only data, the check pointer in .00cfg, which
// the linker merges into the read-only data too. The loader writes the pointer once, before
// any of the module's code runs, and the page is read-only again after.
// MSVC's runtime defines both itself (a second definition would clash there), and GCC builds
// without the guard: this file is empty for both.
#if defined(__clang__) && defined(__MINGW32__) && defined(__i386__)
#include <windows.h>

namespace {

// Without the guard the loader never writes the pointer, so the calls the compiler checks go
// through this one: it accepts every target. The target arrives in ECX (fastcall), and the
// compiled check keeps every register (ECX included) but EAX and EDX: a function that does
// nothing keeps them all.
void __fastcall NoCallTargetCheck(UINT_PTR) {}

// The 32-bit record with the fields MSVC's runtime fills, up to its last (MinGW's winnt.h
// stops before the guard's fields). Every address is a virtual address; the base relocations
// move them with the image.
struct LoadConfig32 {
    DWORD Size;
    DWORD TimeDateStamp;
    WORD MajorVersion;
    WORD MinorVersion;
    DWORD GlobalFlagsClear;
    DWORD GlobalFlagsSet;
    DWORD CriticalSectionDefaultTimeout;
    DWORD DeCommitFreeBlockThreshold;
    DWORD DeCommitTotalFreeThreshold;
    DWORD LockPrefixTable;
    DWORD MaximumAllocationSize;
    DWORD VirtualMemoryThreshold;
    DWORD ProcessHeapFlags;
    DWORD ProcessAffinityMask;
    WORD CSDVersion;
    WORD DependentLoadFlags;
    DWORD EditList;
    DWORD SecurityCookie;
    DWORD SEHandlerTable;
    DWORD SEHandlerCount;
    DWORD GuardCFCheckFunctionPointer;
    DWORD GuardCFDispatchFunctionPointer;
    DWORD GuardCFFunctionTable;
    DWORD GuardCFFunctionCount;
    DWORD GuardFlags;
    WORD CodeIntegrityFlags;
    WORD CodeIntegrityCatalog;
    DWORD CodeIntegrityCatalogOffset;
    DWORD CodeIntegrityReserved;
    DWORD GuardAddressTakenIatEntryTable;
    DWORD GuardAddressTakenIatEntryCount;
    DWORD GuardLongJumpTargetTable;
    DWORD GuardLongJumpTargetCount;
    DWORD DynamicValueRelocTable;
    DWORD CHPEMetadataPointer;
    DWORD GuardRFFailureRoutine;
    DWORD GuardRFFailureRoutineFunctionPointer;
    DWORD DynamicValueRelocTableOffset;
    WORD DynamicValueRelocTableSection;
    WORD Reserved2;
    DWORD GuardRFVerifyStackPointerFunctionPointer;
    DWORD HotPatchTableOffset;
    DWORD Reserved3;
    DWORD EnclaveConfigurationPointer;
    DWORD VolatileMetadataPointer;
    DWORD GuardEHContinuationTable;
    DWORD GuardEHContinuationCount;
    DWORD GuardXFGCheckFunctionPointer;
    DWORD GuardXFGDispatchFunctionPointer;
    DWORD GuardXFGTableDispatchFunctionPointer;
    DWORD CastGuardOsDeterminedFailureMode;
};
static_assert(sizeof(LoadConfig32) == 188, "the size of MSVC's 32-bit record");

}  // namespace

extern "C" {

// Read by every checked indirect call; the loader replaces it with the system's check when
// the process runs the guard. Volatile: it changes after the compiler has seen its value.
// Const: read-only data, which the loader makes writable only for that write.
__attribute__((section(".00cfg"))) extern void* const volatile __guard_check_icall_fptr =
    reinterpret_cast<void*>(NoCallTargetCheck);

// The linker writes these: the tables as arrays, the counts and the flags as absolute
// symbols whose address is the value.
extern void* __guard_fids_table[];
extern BYTE __guard_fids_count;
extern BYTE __guard_flags;
extern void* __guard_iat_table[];
extern BYTE __guard_iat_count;
extern void* __guard_longjmp_table[];
extern BYTE __guard_longjmp_count;

#define KARVEX_VA(address) static_cast<DWORD>(reinterpret_cast<UINT_PTR>(address))

// The loader finds the record through the headers, which the linker points at this name,
// with the directory's size taken from the record's first field.
extern const LoadConfig32 _load_config_used = {
    sizeof(LoadConfig32),  // Size: tells the loader which fields the record holds
    // TimeDateStamp to EditList: the process heap's, the critical sections' and the global
    // flags' defaults are the host's to choose, not a plug-in's; no lock prefixes to patch,
    // no edit list.
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0,  // SecurityCookie: MSVC's /GS cookie, for the loader to seed; the canaries here check
        // a guard of the module's own, seeded in DllMain (win32/stack_guard.h)
    0, 0,  // SEHandlerTable and its count: the image is NO_SEH, no handler of it is valid
    KARVEX_VA(&__guard_check_icall_fptr),
    0,  // GuardCFDispatchFunctionPointer: only 64-bit code dispatches through the guard
    KARVEX_VA(__guard_fids_table), KARVEX_VA(&__guard_fids_count), KARVEX_VA(&__guard_flags),
    0, 0, 0, 0,  // CodeIntegrity: no catalog of the system's own
    KARVEX_VA(__guard_iat_table), KARVEX_VA(&__guard_iat_count),
    KARVEX_VA(__guard_longjmp_table), KARVEX_VA(&__guard_longjmp_count),
    // DynamicValueRelocTable to the end: what the image does not use. No dynamic
    // relocations or hybrid ARM64 metadata (the linker writes neither for 32-bit x86), no
    // return flow guard (withdrawn), no hot patches, not an enclave, no volatile metadata (an
    // ARM64 emulation hint); EH continuation, XFG and CastGuard are 64-bit or MSVC's.
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
};

}  // extern "C"
#endif
