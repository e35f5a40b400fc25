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

// Makes the text that a registry read (REG_SZ) put into `text` safe to use as a C string.
// `text` is the buffer the read filled: longestText + 2 bytes, room for the longest text
// taken, a terminator the system may add when it hands out the text, and one more for the
// terminator written here. `size` is the byte count the read reported and `accepted` whether
// it succeeded with the expected type. A read not accepted, a size above longestText + 1, or
// text (up to its first zero byte) longer than longestText gives an empty text; otherwise the
// text is cut to `maxBytes` like CutAtByteLimit. Bytes past `size` are never read, nor any
// but the first of a read not taken. Returns the text's length.
std::size_t TerminateRegistryText(char* text, std::size_t size, bool accepted,
                                  std::size_t longestText, std::size_t maxBytes,
                                  bool codePage932);
