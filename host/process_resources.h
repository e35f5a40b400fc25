#pragma once
// What a process holds of the system, read the same way on Windows and under Wine: the
// stand-in host logs it in a soak, the benchmark measures what the module adds.
#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <vector>

#include "win32/scoped_win.h"

namespace process_resources {

// The system's list of open handles (SystemExtendedHandleInformation), ours counted: Wine's
// GetProcessHandleCount answers 0, and its per-process HandleCount is the table's size.
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

inline DWORD Handles() {
    constexpr auto kSystemExtendedHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(64);
    std::vector<ULONG_PTR> buffer(16 * 1024);
    for (;;) {
        ULONG needed = 0;
        const NTSTATUS status = NtQuerySystemInformation(
            kSystemExtendedHandleInformation, buffer.data(),
            static_cast<ULONG>(buffer.size() * sizeof buffer[0]), &needed);
        if (status == static_cast<NTSTATUS>(0xC0000004L)) {  // STATUS_INFO_LENGTH_MISMATCH
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status < 0) return 0;
        const auto* list = reinterpret_cast<const HandleList*>(buffer.data());
        DWORD count = 0;
        for (ULONG_PTR i = 0; i < list->Count; ++i) {
            count += list->Entries[i].ProcessId == GetCurrentProcessId();
        }
        return count;
    }
}

inline DWORD Threads() {
    const scoped::File snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return 0;
    DWORD count = 0;
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot.Get(), &entry); more;
         more = Thread32Next(snapshot.Get(), &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
    }
    return count;
}

// The committed private regions, summed: what PrivateUsage counts on Windows.
inline SIZE_T CommittedPrivateBytes() {
    SIZE_T committed = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char* at = nullptr; VirtualQuery(at, &region, sizeof region) == sizeof region;) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) committed += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return committed;
}

inline SIZE_T PrivateUsage() {
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                         sizeof memory);
    return memory.PrivateUsage;
}

// PrivateUsage, or where the system leaves it at 0 (Wine does) the committed private regions.
inline SIZE_T PrivateBytes() {
    const SIZE_T usage = PrivateUsage();
    return usage ? usage : CommittedPrivateBytes();
}

}  // namespace process_resources
