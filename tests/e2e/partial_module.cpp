// A DLL that looks like a module but carries only two of the ten exports: the host must
// name the eight it lacks and stop, without calling anything.
#include <windows.h>

extern "C" __declspec(dllexport) int WINAPI QueryVekModule() { return 1; }
extern "C" __declspec(dllexport) int WINAPI StartModule() { return 1; }
