// One cold load of a module, in a process of its own: the process (which imports user32, as
// every host with a window does) first loads the DLLs named after the module, then loads the
// module and prints one line:
//   <microseconds LoadLibrary took> <image bytes mapped before> <after> <comdlg32 loaded>
//   <hhctrl.ocx loaded>
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

bool Loaded(const char* name) {
    return GetModuleHandleA(name) != nullptr;
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
    const double microseconds = static_cast<double>(end.QuadPart - start.QuadPart) * 1e6 /
                                static_cast<double>(frequency.QuadPart);
    std::printf("%.1f %lu %lu %d %d\n", microseconds, static_cast<unsigned long>(before),
                static_cast<unsigned long>(after), Loaded("comdlg32.dll"), Loaded("hhctrl.ocx"));
    return 0;
}
