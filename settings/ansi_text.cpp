#include "settings/ansi_text.h"

#include <cstring>

namespace {

void Mark(bool (&set)[256], ByteRange range) {
    for (unsigned byte = range.First; byte <= range.Last; ++byte) set[byte] = true;
}

}  // namespace

DoubleByteRule::DoubleByteRule(unsigned codePage) {
    Mark(trail_, {0x40, 0x7E});
    Mark(trail_, {0x80, static_cast<unsigned char>(codePage == 932 ? 0xFC : 0xFE)});
}

void DoubleByteRule::AddLeadBytes(ByteRange leads) {
    Mark(lead_, leads);
}

bool DoubleByteRule::IsDoubleByteCharacter(const char* bytes, std::size_t available) const {
    return available >= 2 && lead_[static_cast<unsigned char>(bytes[0])] &&
           trail_[static_cast<unsigned char>(bytes[1])];
}

std::size_t CutAtByteLimit(char* text, std::size_t maxBytes, const DoubleByteRule& codePage) {
    std::size_t i = 0;
    while (text[i] != '\0') {
        std::size_t remaining = 1;
        while (remaining < 2 && text[i + remaining] != '\0') ++remaining;
        const std::size_t width = codePage.IsDoubleByteCharacter(text + i, remaining) ? 2 : 1;
        if (i + width > maxBytes) break;
        i += width;
    }
    text[i] = '\0';
    return i;
}

std::size_t TerminateRegistryText(char* text, std::size_t size, bool accepted,
                                  std::size_t longestText, std::size_t maxBytes,
                                  const DoubleByteRule& codePage) {
    if (!accepted || size > longestText + 1) size = 0;
    text[size] = '\0';
    if (std::strlen(text) > longestText) text[0] = '\0';
    return CutAtByteLimit(text, maxBytes, codePage);
}
