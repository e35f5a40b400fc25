#include "support/process_resources.h"

#include <gtest/gtest.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <vector>

namespace {

class Snapshot {
public:
    explicit Snapshot(DWORD what) : handle_(CreateToolhelp32Snapshot(what, 0)) {}
    ~Snapshot() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

// The snapshot lists every thread of the system: count ours.
DWORD CountThreads() {
    Snapshot snapshot(TH32CS_SNAPTHREAD);
    if (snapshot.Get() == INVALID_HANDLE_VALUE) return 0;
    const DWORD self = GetCurrentProcessId();
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    DWORD count = 0;
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry)) {
        count += entry.th32OwnerProcessID == self;
    }
    return count;
}

// The system-wide handle list, as NtQuerySystemInformation(SystemExtendedHandleInformation)
// returns it.
struct HandleEntry {
    PVOID Object;
    ULONG_PTR ProcessId;
    ULONG_PTR Handle;
    ULONG GrantedAccess;
    USHORT CreatorBackTraceIndex;
    USHORT ObjectTypeIndex;
    ULONG Attributes;
    ULONG Reserved;
};
struct HandleList {
    ULONG_PTR Count;
    ULONG_PTR Reserved;
    HandleEntry Entries[1];
};
constexpr ULONG kSystemExtendedHandleInformation = 64;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

DWORD CountHandlesInSystemList() {
    using Query = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return 0;
    std::vector<ULONG_PTR> buffer(16 * 1024);
    for (;;) {
        const ULONG bytes = static_cast<ULONG>(buffer.size() * sizeof buffer[0]);
        ULONG needed = 0;
        const LONG status = query(kSystemExtendedHandleInformation, buffer.data(), bytes, &needed);
        if (status == kInfoLengthMismatch) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status < 0) return 0;
        const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
        DWORD count = 0;
        for (ULONG_PTR i = 0; i < list->Count; ++i) count += list->Entries[i].ProcessId == GetCurrentProcessId();
        return count;
    }
}

// Wine answers GetProcessHandleCount with 0; its list of the system's handles is accurate.
DWORD CountHandles() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) return count;
    return CountHandlesInSystemList();
}

}  // namespace

ProcessResources SampleProcessResources() {
    ProcessResources sample{};
    sample.Handles = CountHandles();
    sample.Threads = CountThreads();
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                             sizeof memory)) {
        // Windows documents both as the commit charge; Wine fills only the older field.
        sample.PrivateBytes = memory.PrivateUsage != 0 ? memory.PrivateUsage : memory.PagefileUsage;
    }
    return sample;
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
