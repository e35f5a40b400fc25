#pragma once
// The module's five persisted settings, the settings file they live in (under the user's
// application-data folder, or beside the host's executable in portable mode), and the move
// between the two places. Called on the host's window thread only.
#include <windows.h>

#include "settings/interval_none.h"
#include "win32/file_replacement.h"
#include "win32/path_size.h"

class SignalSettings {
public:
    explicit SignalSettings(HINSTANCE resourceInstance);
    ~SignalSettings();  // SaveUsersValues: the unload's save

    // Reads the five settings from the file that PortableMode selects; returns the number
    // of bytes read into WaveName. A missing file gives the defaults, as the user's own. So
    // do a file that is there but cannot be read and a path that could not be worked out
    // (the shell's folder unavailable, or too long), but those are not the user's (see
    // HoldsUsersValues).
    int LoadFromIni();
    // Writes the five settings, whoever's they are, through the system's profile writer on a
    // copy that replaces the file whole once checked (win32/profile_file.h): after any failure
    // the file is as it was; in a folder that refuses new files, in place. A path that did not
    // fit its buffer writes nothing. WaveName then holds what the file keeps of it (the text
    // up to a line break, as the reader gives it back), saved or not. True when saved.
    bool SaveToIni(PlaceWait wait = PlaceWait::Host);

    // The one rule for saving: whether the fields hold the user's own values, which alone
    // may be written over the settings file. They are the user's when InitialLoad read them
    // (a missing file's defaults included) or imported them, and once confirmed with OK in
    // the dialog after a load. Defaults that stand in for a file that could not be read, or
    // for a path that could not be worked out, are not: saved, they would replace the user's
    // settings. Nor are values confirmed before any load: the dialog showed defaults then.
    bool HoldsUsersValues() const { return usersValues_; }
    // OK in the dialog: the fields are the user's own from now on, once a load has run.
    void ConfirmUsersValues();
    // The user's values to the kept path (the unload's save); asks the shell nothing. False
    // unless the new file is in place.
    bool SaveUsersValues(PlaceWait wait = PlaceWait::Host);
    // The save at process exit: as SaveUsersValues, but only when the file may not hold the
    // session's values: it was missing at the load, SetPortableMode pointed at another path
    // since, or the last save failed. Nothing at all otherwise.
    bool SaveIfFileMayLack();
    // The save after the dialog, on the host's thread: as SaveUsersValues, but an empty path is
    // worked out again first, so that values confirmed while the application-data folder
    // was missing reach the file once it is back.
    bool SaveAfterDialog();
    // Records the host's portable flag, then loads. While the legacy registry store is
    // present, imports it instead, saves it to the file and then deletes it, returning the
    // deletion's result; a failed save keeps the store for the next start and returns 0.
    // Otherwise returns LoadFromIni's result.
    int InitialLoad(int portable);
    void SetPortableMode(int mode);
    // Moves the settings file to the place `mode` selects (win32/file_replacement.h: across
    // volumes a failed copy leaves the target as it was); 1 on success, 0 on failure
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
    // Empty when the path does not fit its buffer or could not be worked out.
    char IniPath[kPathBytes] = {};

private:
    bool usersValues_ = false;  // see HoldsUsersValues
    bool loaded_ = false;       // InitialLoad has run
    bool fileMayLack_ = false;  // see SaveIfFileMayLack
};
