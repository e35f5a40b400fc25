#pragma once
// Where a save changes the text of a settings file: the lines of the module's keys in the first
// section of its name, and where the keys (or the section) that are missing go. The text is
// read as the profile functions read it, so that the file the save writes reads back through
// them with the new values; every other byte stays as it was. Free of Windows, so that it can
// be tested natively; settings/ini_writer.cpp writes what it finds.
#include <cstddef>

#include "settings/ansi_text.h"

constexpr std::size_t kMaxIniKeys = 8;

// A key's line: from its first non-blank unit to its last one (the line break and trailing
// blanks not included); the key's name, as the file spells it, ends at NameEnd.
struct IniKeyLine {
    bool Found = false;
    std::size_t Start = 0, NameEnd = 0, End = 0;
};

struct IniLayout {
    bool SectionFound = false;
    // Where the missing keys go: just after the section's last non-blank line (its line break
    // included); without the section, the end of the text.
    std::size_t InsertAt = 0;
    // The text ends at InsertAt without a line break, so one must come first.
    bool LineBreakFirst = false;
    IniKeyLine Keys[kMaxIniKeys];
};

// `text` holds `length` units: the bytes of an ANSI file (double-byte characters as `codePage`
// says: a trail byte can equal ']') or the units of a UTF-16 one, its byte-order mark left out.
// Lines end at '\n'; blanks are spaces, tabs, '\r' and the other C blanks, and ^Z. A section
// starts at a line whose first non-blank unit is '[' and that has a ']': its name is what lies
// between '[' and the last ']'. A key's name is what comes before the first '=' (the whole
// line without one), blanks around it dropped. `section` and the `keyCount` (at most
// kMaxIniKeys) names in `keys` are ASCII and match regardless of case; only the first section
// of that name counts, and in it the first line of each key.
IniLayout FindIniKeys(const char* text, std::size_t length, const char* section,
                      const char* const* keys, std::size_t keyCount, const DoubleByteRule& codePage);
IniLayout FindIniKeys(const char16_t* text, std::size_t length, const char* section,
                      const char* const* keys, std::size_t keyCount);
