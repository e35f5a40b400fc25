#pragma once
// The double-byte code pages the text rules are tested under, with the lead-byte ranges the
// system lists for each.
#include <string>

#include "settings/ansi_text.h"

inline const std::string kSo = "\x83\x5C";  // ソ: its trail byte is the byte of a backslash

// 932 (Shift-JIS): leads 0x81-0x9F and 0xE0-0xFC. 936, 949, 950: leads 0x81-0xFE, where
// 0xA0-0xDF (half-width katakana in 932) begin characters too. Anything else: single-byte.
inline DoubleByteRule CodePage(unsigned codePage) {
    DoubleByteRule rule(codePage);
    if (codePage == 932) {
        rule.AddLeadBytes({0x81, 0x9F});
        rule.AddLeadBytes({0xE0, 0xFC});
    } else if (codePage == 936 || codePage == 949 || codePage == 950) {
        rule.AddLeadBytes({0x81, 0xFE});
    } else {
        return DoubleByteRule();
    }
    return rule;
}
