// TerminateRegistryText over any registry read. Input: one selector byte (bit 0: trail bytes
// of code page 932, else of 936/949/950; bit 1: the read was accepted; bits 2-7: the longest
// text taken, where 63 stands for the module's 260, cut to one byte less), the lead-byte
// ranges (FuzzCodePage::Read), then the bytes the read returned, zeros and all.
// The read's buffer is longestText + 2 bytes; what the read did not fill is poisoned, so
// any look at it is a finding.
#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "settings/ansi_text.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzCodePage codePage;
    std::uint8_t selector = 0;
    if (!codePage.Read(data, size, &selector)) return 0;
    const bool accepted = (selector & 2) != 0;
    const std::size_t longestText = (selector >> 2) == 63 ? 260 : (selector >> 2);
    const std::size_t maxBytes = longestText == 0 ? 0 : longestText - 1;
    const char* bytes = reinterpret_cast<const char*>(data);
    const std::size_t reported = size;

    // A read never writes more than its buffer less the byte kept for the terminator.
    std::vector<char> buffer(longestText + 2, '\xA5');
    std::copy(bytes, bytes + std::min(reported, longestText + 1), buffer.begin());
    const bool taken = accepted && reported <= longestText + 1;
    // The terminator's byte may be written; nothing after it, and nothing but the first
    // byte of a read that is not taken, may be touched.
    const std::size_t usable = taken ? reported + 1 : 1;
    ASAN_POISON_MEMORY_REGION(buffer.data() + usable, buffer.size() - usable);
    const std::size_t kept = TerminateRegistryText(buffer.data(), reported, accepted, longestText,
                                                   maxBytes, codePage.Rule());
    ASAN_UNPOISON_MEMORY_REGION(buffer.data(), buffer.size());

    std::size_t expected = 0;
    if (taken) {
        const std::size_t textLength = strnlen(bytes, reported);
        if (textLength <= longestText) {
            expected = LongestCut(bytes, textLength, maxBytes, codePage);
        }
    }
    Require(buffer[kept] == '\0', "the text is terminated");
    Require(kept <= maxBytes, "the text is within its limit");
    Require(kept == expected, "whole text within the limits is kept, cut on a character boundary");
    Require(std::memcmp(buffer.data(), bytes, kept) == 0, "the text is what the read returned");
    return 0;
}
