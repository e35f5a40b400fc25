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

// Without the guard the loader never writes the pointer, so the calls the compiler checks go
// through this one: it accepts every target. The target arrives in ECX (fastcall), and the
// compiled check keeps every register (ECX included) but EAX and EDX: a function that does
// nothing keeps them all.
static void __fastcall NoCallTargetCheck(UINT_PTR target) {
    (void)target;
}

// Read by every checked indirect call; the loader replaces it with the system's check when
// the process runs the guard. Volatile: it changes after the compiler has seen its value.
// Const: read-only data, which the loader makes writable only for that write.
__attribute__((section(".00cfg"))) void* const volatile __guard_check_icall_fptr =
    (void*)NoCallTargetCheck;

// The linker writes these: the tables as arrays, the counts and the flags as absolute
// symbols whose address is the value.
extern void* __guard_fids_table[];
extern BYTE __guard_fids_count;
extern BYTE __guard_flags;
extern void* __guard_iat_table[];
extern BYTE __guard_iat_count;
extern void* __guard_longjmp_table[];
extern BYTE __guard_longjmp_count;

// The 32-bit record with the fields MSVC's runtime fills, up to its last (MinGW's winnt.h
// stops before the guard's fields). Every address is a virtual address; the base relocations
// move them with the image.
typedef struct {
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
} LoadConfig32;

#define KARVEX_VA(symbol) ((DWORD)(UINT_PTR)(symbol))

// The loader finds the record by this name's entry in the headers (the linker sets it, with
// the directory's size taken from Size).
const LoadConfig32 _load_config_used = {
    // Size: the record's own size, which tells the loader which fields it holds.
    .Size = sizeof(LoadConfig32),
    // Zero from TimeDateStamp to EditList: the defaults of the process heap, the critical
    // sections and the global flags are the host's to choose, not a plug-in's; no lock
    // prefixes to patch, no edit list.
    // SecurityCookie: zero. It names MSVC's /GS cookie for the loader to seed; the canaries
    // here check a guard of the module's own, seeded in DllMain (win32/stack_guard.h).
    // SEHandlerTable, SEHandlerCount: zero. The image is NO_SEH: no code of it registers an
    // exception handler, so no handler of it is valid.
    .GuardCFCheckFunctionPointer = KARVEX_VA(&__guard_check_icall_fptr),
    // GuardCFDispatchFunctionPointer: zero. Only 64-bit code dispatches through the guard;
    // 32-bit code checks, then calls.
    .GuardCFFunctionTable = KARVEX_VA(__guard_fids_table),
    .GuardCFFunctionCount = KARVEX_VA(&__guard_fids_count),
    .GuardFlags = KARVEX_VA(&__guard_flags),
    // CodeIntegrity: zero, no catalog of the system's own.
    .GuardAddressTakenIatEntryTable = KARVEX_VA(__guard_iat_table),
    .GuardAddressTakenIatEntryCount = KARVEX_VA(&__guard_iat_count),
    .GuardLongJumpTargetTable = KARVEX_VA(__guard_longjmp_table),
    .GuardLongJumpTargetCount = KARVEX_VA(&__guard_longjmp_count),
    // Zero from DynamicValueRelocTable on: features the image does not use. No dynamic
    // relocations or hybrid ARM64 metadata (the linker writes neither for 32-bit x86), no
    // return flow guard (withdrawn), no hot patches, not an enclave, no volatile metadata
    // (an ARM64 emulation hint); EH continuation, XFG and CastGuard are 64-bit or MSVC's.
};
#endif
