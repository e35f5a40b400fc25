#include "settings/ansi_text.h"

#include <cstring>

namespace {

bool IsLeadByte932(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool IsTrailByte932(unsigned char byte) {
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

}  // namespace

bool IsDoubleByteCharacter932(const char* bytes, std::size_t available) {
    return available >= 2 && IsLeadByte932(static_cast<unsigned char>(bytes[0])) &&
           IsTrailByte932(static_cast<unsigned char>(bytes[1]));
}

std::size_t CutAtByteLimit(char* text, std::size_t maxBytes, bool codePage932) {
    std::size_t i = 0;
    while (text[i] != '\0') {
        std::size_t remaining = 1;
        while (remaining < 2 && text[i + remaining] != '\0') ++remaining;
        std::size_t width = (codePage932 && IsDoubleByteCharacter932(text + i, remaining)) ? 2 : 1;
        if (i + width > maxBytes) break;
        i += width;
    }
    text[i] = '\0';
    return i;
}

std::size_t TerminateRegistryText(char* text, std::size_t size, bool accepted,
                                  std::size_t longestText, std::size_t maxBytes,
                                  bool codePage932) {
    if (!accepted || size > longestText + 1) size = 0;
    text[size] = '\0';
    if (std::strlen(text) > longestText) text[0] = '\0';
    return CutAtByteLimit(text, maxBytes, codePage932);
}
