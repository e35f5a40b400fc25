#pragma once
// Byte-level rules for ANSI text in the system's code page, kept free of Windows so they can
// be tested natively. In a double-byte code page (932 Shift-JIS, 936, 949, 950) a trail byte
// can equal '\' (0x5C): text is walked a character at a time, never a byte at a time.
#include <cstddef>

struct ByteRange {
    unsigned char First, Last;
};

// Which bytes of a code page begin a double-byte character and which may follow them. The
// module builds it from the system's lead-byte table (ansi_code_page.h); tests from ranges.
class DoubleByteRule {
public:
    // A single-byte code page: every byte stands alone.
    DoubleByteRule() = default;
    // No lead bytes yet; `codePage` picks the trail bytes: 0x40-0x7E and 0x80-0xFC for 932,
    // 0x40-0x7E and 0x80-0xFE (what 936, 949 and 950 allow between them) for the others.
    explicit DoubleByteRule(unsigned codePage);
    void AddLeadBytes(ByteRange leads);

    // True when bytes[0], bytes[1] form one double-byte character: a lead byte followed by
    // a trail byte. `available` bytes may be read.
    bool IsDoubleByteCharacter(const char* bytes, std::size_t available) const;

private:
    bool lead_[256] = {};
    bool trail_[256] = {};
};

// Cuts `text` in place to at most `maxBytes` bytes (terminator not counted) without
// splitting a double-byte character. Returns the new length.
std::size_t CutAtByteLimit(char* text, std::size_t maxBytes, const DoubleByteRule& codePage);

// Makes the text that a registry read (REG_SZ) put into `text` safe to use as a C string.
// `text` is the buffer the read filled: longestText + 2 bytes, room for the longest text
// taken, a terminator the system may add when it hands out the text, and one more for the
// terminator written here. `size` is the byte count the read reported and `accepted` whether
// it succeeded with the expected type. A read not accepted, a size above longestText + 1, or
// text (up to its first zero byte) longer than longestText gives an empty text; otherwise the
// text is cut to `maxBytes` like CutAtByteLimit. Bytes past `size` are never read, nor any
// but the first of a read not taken. Returns the text's length.
std::size_t TerminateRegistryText(char* text, std::size_t size, bool accepted,
                                  std::size_t longestText, std::size_t maxBytes,
                                  const DoubleByteRule& codePage);
