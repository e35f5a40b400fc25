// GetDirectoryOfPath over any path. Input: one selector byte (bit 0: code page 932), then
// the path (up to any zero byte), held in a buffer of exactly its own size.
#include <cstdint>
#include <cstring>
#include <vector>

#include "settings/directory_of_path.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const bool codePage932 = (data[0] & 1) != 0;
    const char* path = reinterpret_cast<const char*>(data + 1);
    const std::size_t length = strnlen(path, size - 1);
    std::vector<char> source(path, path + length);
    source.push_back('\0');

    // The folder ends just after the last backslash that begins a character (a trail byte
    // 0x5C is no separator); without one, the first byte alone stays.
    std::size_t expected = length == 0 ? 0 : 1;
    for (std::size_t i = 0; i < length; i += CharacterWidth(path, i, length, codePage932)) {
        if (path[i] == '\\' && CharacterWidth(path, i, length, codePage932) == 1) expected = i + 1;
    }

    std::vector<char> target(length + 1, '\x7F');
    const std::size_t kept = GetDirectoryOfPath(source.data(), target.data(), codePage932);
    Require(kept == expected, "folder ends after the last backslash that begins a character");
    Require(target[kept] == '\0', "folder is terminated");
    Require(std::memcmp(target.data(), path, kept) == 0, "folder is a prefix of the path");
    Require(std::memcmp(source.data(), path, length) == 0, "the source is left alone");

    std::vector<char> same(source);
    const std::size_t keptInPlace = GetDirectoryOfPath(same.data(), same.data(), codePage932);
    Require(keptInPlace == kept && std::memcmp(same.data(), target.data(), kept + 1) == 0,
            "one buffer gives what two buffers give");
    return 0;
}
