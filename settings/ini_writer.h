#pragma once
// Writes the module's keys into its settings file, whole or not at all. Host window thread, or
// the detach at process exit: kernel32 alone.
#include <cstddef>

// Sets `count` keys of `section` (ASCII names) to `values` (ANSI text) in the INI file at
// `path`, a full ANSI path. In the first section of that name the first line of each key
// becomes "Key=value" (the key spelled as the file spells it); keys that are missing follow
// the section's last line, and a missing section, with all of them, goes at the end of the
// file (a file that is missing is made). Every other byte stays as it was: other sections and
// keys, comments, blank lines, line ends, zero bytes. A file with a UTF-16 byte-order mark
// stays UTF-16, the values converted from the ANSI code page, as the profile functions write
// one; any other file is ANSI bytes (one with a UTF-8 mark too, as Windows reads it). A value
// ends at its first line break: the rest would read back as lines of their own. The file is
// replaced whole (win32/file_replacement.h): true once the new one is in place; false, with
// the file as it was, when anything failed.
bool WriteIniKeys(const char* path, const char* section, const char* const* keys,
                  const char* const* values, std::size_t count);
