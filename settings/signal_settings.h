#pragma once
// The module's five persisted settings, the settings file they live in (under the user's
// application-data folder, or beside the host's executable in portable mode), and the move
// between the two places. Called on the host's window thread only.
#include <windows.h>

#include "settings/interval_none.h"
#include "win32/path_size.h"

class SignalSettings {
public:
    explicit SignalSettings(HINSTANCE resourceInstance);
    ~SignalSettings();  // saves, but only once InitialLoad has given the settings values

    // Reads the five settings from the file that PortableMode selects; returns the number
    // of bytes read into WaveName. A missing file, or a path that does not fit its buffer,
    // gives the defaults; so does a file that is there but cannot be read, which also
    // clears MayBeSaved so that the unload does not save the defaults over it.
    int LoadFromIni();
    // Writes the five settings; a path that does not fit its buffer writes nothing. True
    // when every write succeeded.
    bool SaveToIni();
    // Records the host's portable flag, then loads. While the legacy registry store is
    // present, imports it instead, saves it to the file and then deletes it, returning the
    // deletion's result; a failed save keeps the store for the next start and returns 0.
    // Otherwise returns LoadFromIni's result.
    int InitialLoad(int portable);
    void SetPortableMode(int mode);
    // Moves the settings file to the place `mode` selects; 1 on success, 0 on failure
    // (PortableMode then stays as it was).
    int ChangePortableMode(int mode);
    // Works out IniPath for the current PortableMode (asks the shell in application-data
    // mode): on the host's thread, never from the unload.
    void FindIniPath();

    char WaveName[kPathBytes] = {};
    DWORD Interval = kIntervalNone;
    int Enable = 0;
    int SignalType = 0;
    int TimeType = 0;
    int PortableMode = 0;
    HINSTANCE ResourceInstance;
    // The settings file's full path for PortableMode, worked out whenever the mode or the
    // file's place changes (InitialLoad, SetPortableMode, ChangePortableMode), while the
    // shell can still be asked. The save at unload may run after the shell has shut down
    // (at process exit it is shut down first), so it uses this path and asks nothing.
    // Empty when the path does not fit its buffer.
    char IniPath[kPathBytes] = {};
    // Whether the fields hold the user's settings, and the unload may save them: set by
    // InitialLoad (unless the file could not be read) and by OK in the dialog.
    bool MayBeSaved = false;
};
