#pragma once
// The module's string table, read one way everywhere: ANSI text in the system's code page.
#include <windows.h>

// Loads string `id` of `resources` into `buffer` (bufferBytes, terminator included), cut to
// fit; returns its length, 0 (and an empty buffer) when it is missing.
int LoadResourceText(HINSTANCE resources, UINT id, char* buffer, int bufferBytes);
