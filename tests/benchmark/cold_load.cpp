// One cold load of a module, in a process of its own: the process (which imports user32, as
// every host with a window does) first loads the DLLs named after the module, then loads the
// module, calls its InitialLoad(0) as a launcher that keeps its settings in the user's profile
// does next, and prints one line:
//   <microseconds LoadLibrary took> <image bytes mapped before> <after it> <comdlg32 loaded>
//   <hhctrl.ocx loaded> <microseconds InitialLoad(0) took> <image bytes mapped after it>
// karvex_benchmark starts it once for every cold load it times.
#include <windows.h>

#include <cstdio>

namespace {

// All images mapped in this process: the regions of every mapped executable and DLL.
SIZE_T MappedImageBytes() {
    SIZE_T total = 0;
    ULONG_PTR at = 0;
    MEMORY_BASIC_INFORMATION region;
    while (VirtualQuery(reinterpret_cast<const void*>(at), &region, sizeof region) == sizeof region) {
        if (region.Type == MEM_IMAGE) total += region.RegionSize;
        const ULONG_PTR next = reinterpret_cast<ULONG_PTR>(region.BaseAddress) + region.RegionSize;
        if (next <= at) break;  // the top of the address space
        at = next;
    }
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs("Usage: karvex_cold_load.exe DLL [DLL LOADED BEFORE IT...]\n", stderr);
        return 2;
    }
    GetDesktopWindow();  // user32 in use, as in a host
    for (int i = 2; i < argc; ++i) {
        if (!LoadLibraryA(argv[i])) {
            std::fprintf(stderr, "karvex_cold_load: cannot load %s (error %lu)\n", argv[i], GetLastError());
            return 1;
        }
    }
    const SIZE_T before = MappedImageBytes();
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const HMODULE module = LoadLibraryA(argv[1]);
    QueryPerformanceCounter(&end);
    if (!module) {
        std::fprintf(stderr, "karvex_cold_load: cannot load %s (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    const SIZE_T after = MappedImageBytes();
    const auto microseconds = [&](const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
        return static_cast<double>(to.QuadPart - from.QuadPart) * 1e6 /
               static_cast<double>(frequency.QuadPart);
    };
    const double loadMicroseconds = microseconds(start, end);
    const auto initialLoad = reinterpret_cast<int(WINAPI*)(int)>(
        reinterpret_cast<void*>(GetProcAddress(module, "InitialLoad")));
    if (!initialLoad) {
        std::fputs("karvex_cold_load: the module has no InitialLoad\n", stderr);
        return 1;
    }
    QueryPerformanceCounter(&start);
    initialLoad(0);
    QueryPerformanceCounter(&end);
    std::printf("%.1f %lu %lu %d %d %.1f %lu\n", loadMicroseconds, static_cast<unsigned long>(before),
                static_cast<unsigned long>(after), GetModuleHandleA("comdlg32.dll") != nullptr,
                GetModuleHandleA("hhctrl.ocx") != nullptr, microseconds(start, end),
                static_cast<unsigned long>(MappedImageBytes()));
    return 0;
}
