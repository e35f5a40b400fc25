#include "settings/ini_layout.h"

#include <type_traits>

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

template <typename Unit>
bool IsBlank(Unit unit) {
    return unit == ' ' || unit == '\t' || unit == '\r' || unit == '\n' || unit == '\v' ||
           unit == '\f' || unit == 0x1A;
}

template <typename Unit>
unsigned AsciiLower(Unit unit) {
    const unsigned value = static_cast<unsigned>(unit);
    return value >= 'A' && value <= 'Z' ? value + ('a' - 'A') : value;
}

// Whether the `length` units at `text` spell the ASCII `name`, regardless of case.
template <typename Unit>
bool SpellsName(const Unit* text, std::size_t length, const char* name) {
    std::size_t i = 0;
    for (; i < length; ++i) {
        if (name[i] == '\0') return false;
        const unsigned unit = static_cast<unsigned>(static_cast<std::make_unsigned_t<Unit>>(text[i]));
        if (unit >= 0x80 || AsciiLower(unit) != AsciiLower(static_cast<unsigned char>(name[i]))) {
            return false;
        }
    }
    return name[i] == '\0';
}

template <typename Unit>
std::size_t Find(const Unit* text, std::size_t from, std::size_t to, Unit wanted) {
    for (std::size_t i = from; i < to; ++i) {
        if (text[i] == wanted) return i;
    }
    return kNone;
}

// The last ']' of text[from, to) that is a character of its own, not a double-byte
// character's trail byte.
struct LastBracketAnsi {
    const DoubleByteRule& CodePage;
    std::size_t operator()(const char* text, std::size_t from, std::size_t to) const {
        std::size_t last = kNone;
        for (std::size_t i = from; i < to;) {
            if (CodePage.IsDoubleByteCharacter(text + i, to - i)) {
                i += 2;
                continue;
            }
            if (text[i] == ']') last = i;
            ++i;
        }
        return last;
    }
};

struct LastBracketWide {
    std::size_t operator()(const char16_t* text, std::size_t from, std::size_t to) const {
        for (std::size_t i = to; i > from; --i) {
            if (text[i - 1] == u']') return i - 1;
        }
        return kNone;
    }
};

template <typename Unit, typename LastBracket>
IniLayout FindKeys(const Unit* text, std::size_t length, const char* section, const char* const* keys,
                   std::size_t keyCount, const LastBracket& lastBracket) {
    IniLayout layout;
    layout.InsertAt = length;
    layout.LineBreakFirst = length > 0 && text[length - 1] != '\n';
    if (keyCount > kMaxIniKeys) keyCount = kMaxIniKeys;
    bool inside = false;
    for (std::size_t next = 0; next < length;) {
        std::size_t first = next;
        const std::size_t lineBreak = Find(text, next, length, static_cast<Unit>('\n'));
        const std::size_t lineEnd = lineBreak == kNone ? length : lineBreak;
        next = lineBreak == kNone ? length : lineBreak + 1;
        while (first < lineEnd && IsBlank(text[first])) ++first;
        std::size_t last = lineEnd;
        while (last > first && IsBlank(text[last - 1])) --last;
        if (first == last) continue;

        if (text[first] == '[') {
            const std::size_t close = lastBracket(text, first, last);
            if (close != kNone) {
                if (inside) break;  // the section has ended: later ones of its name do not count
                if (SpellsName(text + first + 1, close - first - 1, section)) {
                    inside = true;
                    layout.SectionFound = true;
                    layout.InsertAt = next;
                    layout.LineBreakFirst = lineBreak == kNone;
                }
                continue;
            }
        }
        if (!inside) continue;
        layout.InsertAt = next;
        layout.LineBreakFirst = lineBreak == kNone;
        const std::size_t equals = Find(text, first, last, static_cast<Unit>('='));
        std::size_t nameEnd = equals == kNone ? last : equals;
        while (nameEnd > first && IsBlank(text[nameEnd - 1])) --nameEnd;
        for (std::size_t k = 0; k < keyCount; ++k) {
            if (!layout.Keys[k].Found && SpellsName(text + first, nameEnd - first, keys[k])) {
                layout.Keys[k] = {true, first, nameEnd, last};
                break;
            }
        }
    }
    return layout;
}

}  // namespace

IniLayout FindIniKeys(const char* text, std::size_t length, const char* section,
                      const char* const* keys, std::size_t keyCount, const DoubleByteRule& codePage) {
    return FindKeys(text, length, section, keys, keyCount, LastBracketAnsi{codePage});
}

IniLayout FindIniKeys(const char16_t* text, std::size_t length, const char* section,
                      const char* const* keys, std::size_t keyCount) {
    return FindKeys(text, length, section, keys, keyCount, LastBracketWide{});
}
