#pragma once
// The system's active ANSI code page, as the byte-level text rules need it.
#include "settings/ansi_text.h"

// The double-byte characters of the active ANSI code page, from the system's own lead-byte
// table (every byte stands alone in a single-byte code page).
DoubleByteRule AnsiCodePageRule();
