#pragma once
// The folder part of a path, walked a character at a time so that a double-byte trail byte
// equal to '\' (as in "ソ", 0x83 0x5C in code page 932) is never taken for a separator.
// No Windows headers here.
#include <cstddef>

#include "settings/ansi_text.h"

// Writes into `target` the part of `source` up to and including its last backslash and
// returns its length. `source` and `target` may be the same buffer; `target` must hold
// at least strlen(source) + 1 bytes. A path without a backslash yields its first byte
// alone (its first character). `codePage` tells the system's ANSI code page's double-byte
// characters; under a single-byte code page every byte is examined singly.
std::size_t GetDirectoryOfPath(const char* source, char* target, const DoubleByteRule& codePage);
