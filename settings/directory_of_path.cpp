#include "settings/directory_of_path.h"

#include <cstring>

std::size_t GetDirectoryOfPath(const char* source, char* target, const DoubleByteRule& codePage) {
    const std::size_t length = std::strlen(source);
    std::size_t last = 0;
    for (std::size_t i = 0; i < length;) {
        if (codePage.IsDoubleByteCharacter(source + i, length - i)) {
            i += 2;
            continue;
        }
        if (source[i] == '\\') last = i;
        ++i;
    }
    // Keep the folder up to and including its last backslash (the first byte alone when
    // there is none). memmove, because source and target may be one buffer.
    const std::size_t keep = length == 0 ? 0 : last + 1;
    std::memmove(target, source, keep);
    target[keep] = '\0';
    return keep;
}
