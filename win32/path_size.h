#pragma once
// The one size of every path and name buffer, terminator included: 260 bytes, the ANSI
// functions' MAX_PATH. No Windows headers, so the platform-free code can name it too.
constexpr int kPathBytes = 260;
// The longest text such a buffer holds.
constexpr int kPathMaxLength = kPathBytes - 1;
