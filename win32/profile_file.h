#pragma once
// A profile (INI) file read and changed through the system's own profile functions only, so
// that what a save writes is what the next load reads, on every system and for every file a
// user may have. A save never changes the file in place: the system's writer changes a private
// copy beside it, the system's reader checks the copy, and one rename puts it in place
// (win32/file_replacement.h). Names and values are ANSI text (the ANSI code page), the path one
// wide path for every call. Host window thread, or the detach at process exit.
#include <windows.h>

#include <cstddef>

#include "win32/file_replacement.h"

// One key of the section a save writes: its name, and its value, on the way in what to write
// and on the way out what the file keeps of it, as the system's reader gives it back (the
// text up to its first line break, blanks and enclosing quotes dropped as the reader drops
// them), so that the session holds what the next load will read.
struct ProfileValue {
    const char* Key;
    char* Value;       // NUL-terminated ANSI text
    std::size_t Room;  // bytes of Value's buffer
};

enum class ProfileSaved {
    Replaced,  // the checked copy is in place
    InPlace,   // the folder refuses new files: written in place by the system's writer alone
    Refused,   // nothing changed
};

// Sets the `count` keys of `section` in the file `path` (a full wide path; through a symbolic
// link, the real file). The copy must read back with every value, every section the file had
// and the keys of its last section, in their order, and an end the writer could have left (a
// line break, or the file's own last bytes): a copy that a full disk cut while the writer
// answered success never replaces the file.
ProfileSaved SaveProfileValues(const wchar_t* path, const char* section, ProfileValue* values,
                               std::size_t count, PlaceWait wait);

// Cuts `value` (ANSI text) at its first line break, as a file keeps it: the rest would read
// back as lines of their own.
void CutAtLineBreak(char* value);

// The system's reader on `path`: a number as GetPrivateProfileInt reads it, and text converted
// to the ANSI code page (`out` holds `room` bytes; the length is returned).
UINT ReadProfileNumber(const wchar_t* path, const char* section, const char* key, INT fallback);
std::size_t ReadProfileText(const wchar_t* path, const char* section, const char* key, char* out,
                            std::size_t room);

// When `path` is missing: puts in its place the newest temporary file an ended save left
// beside it in which the system's reader finds every one of `keys` in `section`.
bool RestoreLeftProfile(const wchar_t* path, const char* section, const char* const* keys,
                        std::size_t count);
