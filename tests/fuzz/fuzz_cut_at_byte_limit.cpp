// CutAtByteLimit and DoubleByteRule over any text. Input: one selector byte (bit 0: trail
// bytes of code page 932, else of 936/949/950; bits 1-7: the byte limit, where 127 stands
// for the module's 259), the lead-byte ranges (FuzzCodePage::Read), then the text (up to any
// zero byte), held in a buffer of exactly its own size.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "settings/ansi_text.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzCodePage codePage;
    std::uint8_t selector = 0;
    if (!codePage.Read(data, size, &selector)) return 0;
    const std::size_t limit = (selector >> 1) == 127 ? 259 : (selector >> 1);
    const DoubleByteRule rule = codePage.Rule();
    const char* text = reinterpret_cast<const char*>(data);
    const std::size_t length = strnlen(text, size);

    // Every position, with exactly the bytes that are left: the text sits in a buffer of
    // its own size (no terminator) and an empty range in one of none, so a look beyond
    // them is an overflow.
    const std::vector<char> exact(text, text + length);
    for (std::size_t i = 0; i < length; ++i) {
        Require(rule.IsDoubleByteCharacter(exact.data() + i, length - i) ==
                    (CharacterWidth(text, i, length, codePage) == 2),
                "a double-byte character is a lead byte followed by a trail byte");
    }
    const std::unique_ptr<char[]> none(new char[0]);
    Require(!rule.IsDoubleByteCharacter(none.get(), 0), "no bytes are no character");

    std::vector<char> cut(text, text + length);
    cut.push_back('\0');
    const std::size_t kept = CutAtByteLimit(cut.data(), limit, rule);
    Require(kept <= limit && kept <= length, "the cut is within the limit");
    Require(cut[kept] == '\0', "the cut is terminated");
    Require(std::memcmp(cut.data(), text, kept) == 0, "the cut is a prefix");
    Require(kept == length || std::memcmp(cut.data() + kept + 1, text + kept + 1,
                                          length - kept - 1) == 0,
            "only the terminator is written");
    const std::size_t longest = LongestCut(text, length, limit, codePage);
    Require(kept <= longest, "the cut never splits a double-byte character");
    Require(kept >= longest, "the cut is the longest that fits");
    return 0;
}
