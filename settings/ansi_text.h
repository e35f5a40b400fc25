#pragma once
// Byte-level rules for ANSI text in code page 932 (Shift-JIS), kept free of Windows
// so they can be tested natively. Callers pass whether the system's ANSI code page is 932.
#include <cstddef>

// True when bytes[0], bytes[1] form one double-byte character of code page 932:
// a lead byte in 0x81-0x9F or 0xE0-0xFC followed by a trail byte in 0x40-0x7E or 0x80-0xFC.
bool IsDoubleByteCharacter932(const char* bytes, std::size_t available);

// Cuts `text` in place to at most `maxBytes` bytes (terminator not counted) without
// splitting a double-byte character when `codePage932` is set. Returns the new length.
std::size_t CutAtByteLimit(char* text, std::size_t maxBytes, bool codePage932);
