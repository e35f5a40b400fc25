#pragma once
// The folder part of a path, walked byte by byte so that a Shift-JIS trail byte equal to
// '\' (as in "ソ", 0x83 0x5C) is never taken for a separator. No Windows headers here.
#include <cstddef>

// Writes into `target` the part of `source` up to and including its last backslash and
// returns its length. `source` and `target` may be the same buffer; `target` must hold
// at least strlen(source) + 1 bytes. A path without a backslash yields its first byte
// alone (its first character). `codePage932` says whether the system's ANSI code page
// is 932; under any other code page every byte is examined singly.
std::size_t GetDirectoryOfPath(const char* source, char* target, bool codePage932);
