#pragma once
// What the fuzz targets check the module against: code page 932's byte classes stated
// once more, independently of settings/ansi_text.cpp, and a check that stops the run.
#include <cstddef>
#include <cstdio>
#include <cstdlib>

// Ends the run as a finding; libFuzzer saves the input that did it.
inline void Require(bool holds, const char* invariant) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    std::abort();
}

// Bytes of the character that starts at text[i] of a text of `length` bytes: two for a
// lead byte (0x81-0x9F, 0xE0-0xFC) with a trail byte (0x40-0x7E, 0x80-0xFC) after it
// under code page 932, else one.
inline std::size_t CharacterWidth(const char* text, std::size_t i, std::size_t length,
                                  bool codePage932) {
    if (!codePage932 || i + 1 >= length) return 1;
    const unsigned lead = static_cast<unsigned char>(text[i]);
    const unsigned trail = static_cast<unsigned char>(text[i + 1]);
    const bool isLead = (0x81 <= lead && lead <= 0x9F) || (0xE0 <= lead && lead <= 0xFC);
    const bool isTrail = (0x40 <= trail && trail <= 0x7E) || (0x80 <= trail && trail <= 0xFC);
    return isLead && isTrail ? 2 : 1;
}

// Length of the longest prefix of `text` that ends on a character boundary within `limit`.
inline std::size_t LongestCut(const char* text, std::size_t length, std::size_t limit,
                              bool codePage932) {
    std::size_t i = 0;
    while (i < length) {
        const std::size_t width = CharacterWidth(text, i, length, codePage932);
        if (i + width > limit) break;
        i += width;
    }
    return i;
}
