#pragma once
// The two places the settings file can live. Both return false, leaving `path` empty,
// when the result would not fit its kPathBytes buffer: a cut path would name another file.
#include <windows.h>

// {AppData}\Bexmoor\Pandrel\Orlune.ini (folder names and file name from the string table).
bool GetAppDataIniPath(HINSTANCE resources, char* path);
// {folder of the host's executable}\Orlune.ini.
bool GetPortableIniPath(HINSTANCE resources, char* path);
// Loads string `id` as ANSI text; returns its length (0 when missing).
int LoadResourceText(HINSTANCE resources, UINT id, char* buffer, int bufferBytes);
