// GetDirectoryOfPath over any path. Input: one selector byte (bit 0: trail bytes of code
// page 932, else of 936/949/950), the lead-byte ranges (FuzzCodePage::Read), then the path
// (up to any zero byte), held in a buffer of exactly its own size.
#include <cstdint>
#include <cstring>
#include <vector>

#include "settings/directory_of_path.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzCodePage codePage;
    std::uint8_t selector = 0;
    if (!codePage.Read(data, size, &selector)) return 0;
    const DoubleByteRule rule = codePage.Rule();
    const char* path = reinterpret_cast<const char*>(data);
    const std::size_t length = strnlen(path, size);
    std::vector<char> source(path, path + length);
    source.push_back('\0');

    // The folder ends just after the last backslash that begins a character (a trail byte
    // 0x5C is no separator); without one, the first byte alone stays.
    std::size_t expected = length == 0 ? 0 : 1;
    for (std::size_t i = 0; i < length; i += CharacterWidth(path, i, length, codePage)) {
        if (path[i] == '\\' && CharacterWidth(path, i, length, codePage) == 1) expected = i + 1;
    }

    std::vector<char> target(length + 1, '\x7F');
    const std::size_t kept = GetDirectoryOfPath(source.data(), target.data(), rule);
    Require(kept == expected, "folder ends after the last backslash that begins a character");
    Require(target[kept] == '\0', "folder is terminated");
    Require(std::memcmp(target.data(), path, kept) == 0, "folder is a prefix of the path");
    Require(std::memcmp(source.data(), path, length) == 0, "the source is left alone");

    std::vector<char> same(source);
    const std::size_t keptInPlace = GetDirectoryOfPath(same.data(), same.data(), rule);
    Require(keptInPlace == kept && std::memcmp(same.data(), target.data(), kept + 1) == 0,
            "one buffer gives what two buffers give");
    return 0;
}
