#pragma once
// What a process can leak, counted for soak tests: its open handles, its threads and its
// private bytes. Sample after a warm-up (first-use allocations, lazily started system
// threads) and again at the end; nothing may have grown.
#include <windows.h>

struct ProcessResources {
    DWORD Handles;
    DWORD Threads;
    SIZE_T PrivateBytes;
};

ProcessResources SampleProcessResources();

// What may appear once, however long the run: never threads; a handle a lock creates on its
// first contention; some heap the allocator keeps.
struct GrowthAllowance {
    DWORD Handles;
    SIZE_T PrivateBytes;
};

// Prints the start and end figures on stdout, then fails the running test if threads grew
// at all, or handles or private bytes by more than allowed.
void ExpectNoGrowth(const char* label, const ProcessResources& start, const ProcessResources& end,
                    const GrowthAllowance& allowed);
