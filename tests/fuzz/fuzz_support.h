#pragma once
// What the fuzz targets check the module against: a code page's byte classes stated once
// more, independently of settings/ansi_text.cpp, and a check that stops the run.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "settings/ansi_text.h"

// Ends the run as a finding; libFuzzer saves the input that did it.
inline void Require(bool holds, const char* invariant) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    std::abort();
}

// A code page as the fuzz input states it: up to five lead-byte ranges (as the system lists
// them), and the trail bytes of code page 932 (0x40-0x7E, 0x80-0xFC) or of the other
// double-byte pages (0x40-0x7E, 0x80-0xFE). Stated here once more, independently of
// settings/ansi_text.cpp.
struct FuzzCodePage {
    ByteRange Leads[5] = {};
    std::size_t LeadCount = 0;
    bool ShiftJisTrail = false;

    // Input: the target's selector byte (bit 0: the trail bytes of code page 932), one byte n,
    // then n % 6 ranges of two bytes each. False when the input is short.
    bool Read(const std::uint8_t*& data, std::size_t& size, std::uint8_t* selector) {
        if (size < 2) return false;
        *selector = data[0];
        ShiftJisTrail = (data[0] & 1) != 0;
        LeadCount = data[1] % 6;
        if (size < 2 + 2 * LeadCount) return false;
        for (std::size_t r = 0; r < LeadCount; ++r) Leads[r] = {data[2 + 2 * r], data[3 + 2 * r]};
        data += 2 + 2 * LeadCount;
        size -= 2 + 2 * LeadCount;
        return true;
    }
    bool IsLead(unsigned byte) const {
        for (std::size_t r = 0; r < LeadCount; ++r) {
            if (Leads[r].First <= byte && byte <= Leads[r].Last) return true;
        }
        return false;
    }
    bool IsTrail(unsigned byte) const {
        return (0x40 <= byte && byte <= 0x7E) || (0x80 <= byte && byte <= (ShiftJisTrail ? 0xFCu : 0xFEu));
    }
    // The same code page in the module's form.
    DoubleByteRule Rule() const {
        DoubleByteRule rule(ShiftJisTrail ? 932 : 936);
        for (std::size_t r = 0; r < LeadCount; ++r) rule.AddLeadBytes(Leads[r]);
        return rule;
    }
};

// Bytes of the character that starts at text[i] of a text of `length` bytes: two for a lead
// byte with a trail byte after it, else one.
inline std::size_t CharacterWidth(const char* text, std::size_t i, std::size_t length,
                                  const FuzzCodePage& codePage) {
    if (i + 1 >= length) return 1;
    const unsigned lead = static_cast<unsigned char>(text[i]);
    const unsigned trail = static_cast<unsigned char>(text[i + 1]);
    return codePage.IsLead(lead) && codePage.IsTrail(trail) ? 2 : 1;
}

// Length of the longest prefix of `text` that ends on a character boundary within `limit`.
inline std::size_t LongestCut(const char* text, std::size_t length, std::size_t limit,
                              const FuzzCodePage& codePage) {
    std::size_t i = 0;
    while (i < length) {
        const std::size_t width = CharacterWidth(text, i, length, codePage);
        if (i + width > limit) break;
        i += width;
    }
    return i;
}
