#include "support/process_resources.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "host/process_resources.h"

// Read as the stand-in host's soak reads them, so the figures of both compare.
ProcessResources SampleProcessResources() {
    return ProcessResources{process_resources::Handles(), process_resources::Threads(),
                            process_resources::PrivateBytes()};
}

void ExpectNoGrowth(const char* label, const ProcessResources& start, const ProcessResources& end,
                    const GrowthAllowance& allowed) {
    std::printf("%s: handles %lu -> %lu, threads %lu -> %lu, private bytes %lu -> %lu\n", label,
                static_cast<unsigned long>(start.Handles), static_cast<unsigned long>(end.Handles),
                static_cast<unsigned long>(start.Threads), static_cast<unsigned long>(end.Threads),
                static_cast<unsigned long>(start.PrivateBytes), static_cast<unsigned long>(end.PrivateBytes));
    std::fflush(stdout);
    EXPECT_NE(start.Handles, 0u) << "no handle count";
    EXPECT_NE(start.Threads, 0u) << "no thread count";
    EXPECT_NE(start.PrivateBytes, 0u) << "no private bytes";
    EXPECT_LE(end.Handles, start.Handles + allowed.Handles) << label << ": handles grew";
    EXPECT_LE(end.Threads, start.Threads) << label << ": threads grew";
    EXPECT_LE(end.PrivateBytes, start.PrivateBytes + allowed.PrivateBytes) << label << ": private bytes grew";
}
