#pragma once
// The one-time import of the settings an earlier release kept in the registry: the current
// user's key Software\Tivrand\Orlune, and the uninstall entry that release registered.
// InitialLoad (signal_settings.cpp) is the only caller; host window thread only.
#include <windows.h>

class SignalSettings;

// 1 when the legacy key opens for full access, else 0. Creates nothing.
int HasLegacyRegistry(HINSTANCE resources);

// Reads the five legacy values into `settings`; a number is any value of four bytes, whatever
// its type, and WaveName must be text. A value that is missing or of another size or type
// takes its default. Returns false, touching no field, when the key cannot
// be opened or had vanished since HasLegacyRegistry (there is then nothing to import).
bool ImportFromRegistry(HINSTANCE resources, SignalSettings& settings);

// Deletes the legacy key (its vendor key stays) and the old uninstall entry. Returns the
// error of opening the machine's uninstall folder, else 0; the deletions report nothing.
LONG DeleteLegacyRegistry(HINSTANCE resources);
