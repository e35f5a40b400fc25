// Cutting ANSI text to a byte limit without splitting a double-byte character. Texts live
// in buffers of exactly their own size, so AddressSanitizer sees any read past the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "settings/ansi_text.h"
#include "tests/cases/wave_name_cuts.h"
#include "tests/native/code_pages.h"

namespace {

struct Cut {
    std::string text;
    unsigned codePage;
    std::size_t expectedLength;
};

std::string Repeat(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

}  // namespace

TEST(DoubleByteRule, LeadAndTrailRangeEdges) {
    const struct {
        unsigned codePage;
        unsigned char lead, trail;
        bool pair;
    } cases[] = {
        {932, 0x80, 0x40, false}, {932, 0x81, 0x40, true},  {932, 0x9F, 0x40, true},
        {932, 0xA0, 0x40, false}, {932, 0xDF, 0x40, false}, {932, 0xE0, 0x40, true},
        {932, 0xFC, 0x40, true},  {932, 0xFD, 0x40, false}, {932, 0x83, 0x3F, false},
        {932, 0x83, 0x5C, true},  {932, 0x83, 0x7E, true},  {932, 0x83, 0x7F, false},
        {932, 0x83, 0x80, true},  {932, 0x83, 0xFC, true},  {932, 0x83, 0xFD, false},
        {932, 0x83, 0x00, false}, {936, 0xB0, 0x5C, true},  {936, 0xFE, 0xFE, true},
        {936, 0xFF, 0x40, false}, {936, 0x81, 0x7F, false}, {949, 0xDF, 0x5C, true},
        {950, 0xA4, 0x5C, true},  {949, 0x81, 0xFF, false}, {1252, 0x83, 0x5C, false},
    };
    for (const auto& c : cases) {
        const char bytes[] = {static_cast<char>(c.lead), static_cast<char>(c.trail)};
        EXPECT_EQ(CodePage(c.codePage).IsDoubleByteCharacter(bytes, 2), c.pair)
            << c.codePage << " " << std::hex << +c.lead << " " << +c.trail;
    }
    EXPECT_FALSE(CodePage(932).IsDoubleByteCharacter(kSo.data(), 1)) << "a lead byte without its trail";
}

TEST(CutAtByteLimit, CutsAt259WithoutSplittingADoubleByteCharacter) {
    std::vector<Cut> cases;
    for (const WaveNameCut& row : WaveNameCuts()) cases.push_back({row.Text, 932, row.Kept.size()});
    const Cut otherPages[] = {
        // Single-byte code pages cut byte-wise.
        {std::string(258, 'a') + kSo, 1252, 259},
        {Repeat(kSo, 130), 1252, 259},
        // A lead byte with no valid trail is a single byte.
        {std::string(258, 'a') + "\x83 x", 932, 259},
        {std::string(258, 'a') + "\x83", 932, 259},
        // 0xB0 stands alone in 932 but leads a character in 936, 949 and 950.
        {std::string(258, 'a') + "\xB0\x5C", 932, 259},
        {std::string(258, 'a') + "\xB0\x5C", 936, 258},
        {std::string(258, 'a') + "\xB0\x5C", 950, 258},
    };
    cases.insert(cases.end(), std::begin(otherPages), std::end(otherPages));
    for (const Cut& c : cases) {
        std::vector<char> buffer(c.text.begin(), c.text.end());
        buffer.push_back('\0');
        const std::size_t length = CutAtByteLimit(buffer.data(), 259, CodePage(c.codePage));
        EXPECT_EQ(length, c.expectedLength) << c.text.size() << " bytes, code page " << c.codePage;
        EXPECT_EQ(buffer[length], '\0');
        EXPECT_EQ(std::string(buffer.data()), c.text.substr(0, c.expectedLength));
    }
}

// The registry read fills a 262-byte buffer; bytes past what it reported are left over from
// before (here 'x'), so any read of them shows in the result.
TEST(TerminateRegistryText, TakesOnlyWholeReadsOfAtMost260Bytes) {
    const struct {
        const char* name;
        std::string bytes;
        bool accepted;
        std::string expected;
    } cases[] = {
        {"read refused", "abc", false, ""},
        {"nothing read", "", true, ""},
        {"no terminator", "abc", true, "abc"},
        {"stops at the first zero", std::string("ab\0cd", 5), true, "ab"},
        {"260 bytes, no terminator", std::string(260, 'a'), true, std::string(259, 'a')},
        {"260 bytes and terminator", std::string(260, 'b') + '\0', true, std::string(259, 'b')},
        {"261 bytes", std::string(261, 'c'), true, ""},
        {"more than the buffer", std::string(262, 'd'), true, ""},
        {"double-byte across 259", std::string(258, 'e') + kSo, true, std::string(258, 'e')},
    };
    for (const auto& c : cases) {
        std::vector<char> buffer(262, 'x');
        std::copy(c.bytes.begin(), c.bytes.begin() + std::min<std::size_t>(c.bytes.size(), 261),
                  buffer.begin());
        const std::size_t length =
            TerminateRegistryText(buffer.data(), c.bytes.size(), c.accepted, 260, 259, CodePage(932));
        EXPECT_EQ(std::string(buffer.data()), c.expected) << c.name;
        EXPECT_EQ(length, c.expected.size()) << c.name;
    }
}
