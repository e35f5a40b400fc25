#pragma once
// The two places the settings file can live. Both return false, leaving `path` empty,
// when the result would not fit its kPathBytes buffer: a cut path would name another file.
#include <windows.h>

// The current user's application-data folder (MAX_PATH bytes), as SHGetFolderPathA answers;
// a failure when the shell's folder library cannot be loaded. `owner` may be null.
HRESULT GetAppDataFolder(HWND owner, char* folder);
// {AppData}\Bexmoor\Pandrel\Orlune.ini (folder names and file name from the string table).
bool GetAppDataIniPath(HINSTANCE resources, char* path);
// {folder of the host's executable}\Orlune.ini.
bool GetPortableIniPath(HINSTANCE resources, char* path);
