#pragma once
// The ten functions the host calls, by name (ordinals 1-10 in this order), all stdcall,
// all on the host's window thread. The host calls QueryVekModule, SetParentWindow and
// InitialLoad before IsModuleEnable, StartModule, Setting or ChangePortableMode.
#include <windows.h>

extern "C" {
int WINAPI QueryVekModule();
int WINAPI SetParentWindow(HWND window);
int WINAPI IsModuleEnable();
int WINAPI GetTitleName(char* buffer);  // buffer of at least 80 bytes
int WINAPI Setting();
int WINAPI StartModule();
int WINAPI StopModule();
int WINAPI SetPortableMode(int mode);
int WINAPI ChangePortableMode(int mode);
int WINAPI InitialLoad(int portable);
}
