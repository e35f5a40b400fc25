#include "win32/profile_file.h"

#include <cstring>
#include <cwchar>

namespace {

constexpr std::size_t kMaxValues = 8;
constexpr std::size_t kNameChars = 400;    // a section's or key's name (at most 361 ANSI bytes)
constexpr std::size_t kValueChars = 1024;  // a value as the reader gives it back
// What the reader gives for a key it does not find: no value reads back as a line break.
constexpr wchar_t kMissing[] = L"\n";
// How much of a copy's end is compared with the original's.
constexpr DWORD kTailBytes = 64;

bool Widen(const char* ansi, wchar_t* out, std::size_t room) {
    return MultiByteToWideChar(CP_ACP, 0, ansi, -1, out, static_cast<int>(room)) > 0;
}

bool Narrow(const wchar_t* wide, char* out, std::size_t room) {
    return WideCharToMultiByte(CP_ACP, 0, wide, -1, out, static_cast<int>(room), nullptr, nullptr) >
           0;
}

// The section, the keys and their values, as the wide profile functions take them.
struct WideValues {
    std::size_t Count = 0;
    wchar_t Section[kNameChars];
    wchar_t Keys[kMaxValues][kNameChars];
    wchar_t Values[kMaxValues][kValueChars];
    bool Changed[kMaxValues];  // to be written (again): the reader gave back other text
    bool Reread[kMaxValues];   // the value now holds what the reader gave back

    bool Set(const char* section, const ProfileValue* values, std::size_t count) {
        Count = count;
        if (count > kMaxValues || !Widen(section, Section, kNameChars)) return false;
        for (std::size_t i = 0; i < count; ++i) {
            Changed[i] = true;
            Reread[i] = false;
            if (!Widen(values[i].Key, Keys[i], kNameChars) ||
                !Widen(values[i].Value, Values[i], kValueChars)) {
                return false;
            }
        }
        return true;
    }
};

// A list of names as the reader gives them: each ends with its terminator.
struct NameList {
    FileBytes Memory;
    std::size_t Chars = 0;  // the names and their terminators

    const wchar_t* Text() const { return reinterpret_cast<const wchar_t*>(Memory.Data()); }
    bool Allocate(std::size_t chars) { return Memory.Allocate(chars * sizeof(wchar_t)); }
    wchar_t* Buffer() { return reinterpret_cast<wchar_t*>(Memory.Data()); }
    // The last name, or none.
    const wchar_t* Last() const {
        if (Chars == 0) return nullptr;
        std::size_t start = Chars - 1;
        while (start > 0 && Text()[start - 1] != L'\0') --start;
        return Text() + start;
    }
};

// Room for every name a file of `bytes` bytes can hold, with its terminator.
std::size_t ListChars(std::size_t bytes) { return bytes + 8; }

bool ReadSectionNames(const wchar_t* file, std::size_t bytes, NameList& list) {
    const std::size_t room = ListChars(bytes);
    if (!list.Allocate(room)) return false;
    const DWORD got = GetPrivateProfileSectionNamesW(list.Buffer(), static_cast<DWORD>(room), file);
    list.Chars = got;
    return got + 2 < room;  // room - 2: the list did not fit
}

bool ReadKeyNames(const wchar_t* file, const wchar_t* section, std::size_t bytes, NameList& list) {
    const std::size_t room = ListChars(bytes);
    if (!list.Allocate(room)) return false;
    const DWORD got = GetPrivateProfileStringW(section, nullptr, L"", list.Buffer(),
                                               static_cast<DWORD>(room), file);
    list.Chars = got;
    return got + 2 < room;
}

// What the save must find again in its copy: the file's sections, and its last section's keys.
struct Outline {
    NameList Sections, LastKeys;
    std::size_t Bytes = 0;

    bool Read(const wchar_t* file, std::size_t bytes) {
        Bytes = bytes;
        if (!ReadSectionNames(file, bytes, Sections)) return false;
        const wchar_t* last = Sections.Last();
        return !last || ReadKeyNames(file, last, bytes, LastKeys);
    }
};

// Every name of `part`, in its order, is among the names of `whole`: the writer may add names
// (the save's own) and fold odd lines together (Wine's writer puts the keys of an empty "[]"
// section into the section before it), but a copy cut short lacks the names at its end.
bool HoldsInOrder(const NameList& whole, const NameList& part) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < part.Chars; i += std::wcslen(part.Text() + i) + 1) {
        while (at < whole.Chars && std::wcscmp(whole.Text() + at, part.Text() + i) != 0) {
            at += std::wcslen(whole.Text() + at) + 1;
        }
        if (at >= whole.Chars) return false;
        at += std::wcslen(whole.Text() + at) + 1;
    }
    return true;
}

// The copy holds what the original held around the save's keys: its sections, and its last
// section's keys.
bool KeepsTheOutline(const wchar_t* copy, std::size_t copyBytes, const Outline& before) {
    NameList sections;
    if (!ReadSectionNames(copy, copyBytes, sections) || !HoldsInOrder(sections, before.Sections))
        return false;
    const wchar_t* last = before.Sections.Last();
    NameList keys;
    return !last ||
           (ReadKeyNames(copy, last, copyBytes, keys) && HoldsInOrder(keys, before.LastKeys));
}

// The size of the file at `path`, and its last bytes (up to kTailBytes) in `tail`.
bool ReadEnd(const wchar_t* path, std::size_t& size, char* tail, DWORD& tailBytes) {
    const scoped::File file(CreateFileW(path, GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER length{};
    if (!file || !GetFileSizeEx(file.Get(), &length)) return false;
    size = static_cast<std::size_t>(length.QuadPart);
    tailBytes = size < kTailBytes ? static_cast<DWORD>(size) : kTailBytes;
    LARGE_INTEGER from{};
    from.QuadPart = length.QuadPart - tailBytes;
    DWORD read = 0;
    return SetFilePointerEx(file.Get(), from, nullptr, FILE_BEGIN) &&
           ReadFile(file.Get(), tail, tailBytes, &read, nullptr) && read == tailBytes;
}

// The copy ends as the writer leaves a file: with a line break (in ANSI or UTF-16), or with the
// original's own last bytes where the writer left them alone. A copy cut short ends elsewhere.
bool EndsWhole(const char* tail, DWORD bytes, const FileBytes& original) {
    const auto lineBreak = [](char c) { return c == '\n' || c == '\r'; };
    if (bytes >= 1 && lineBreak(tail[bytes - 1])) return true;
    if (bytes >= 2 && tail[bytes - 1] == '\0' && lineBreak(tail[bytes - 2])) return true;
    const DWORD kept = original.Size() < bytes ? static_cast<DWORD>(original.Size()) : bytes;
    return kept > 0 &&
           std::memcmp(tail + bytes - kept, original.Data() + original.Size() - kept, kept) == 0;
}

// The system's writer sets the values in `file`, then its reader must give them back. What the
// reader gives back differently (blanks, enclosing quotes) is written once more as it reads,
// so that file and session agree; it must then read back unchanged. With `before`, the file
// is the private copy: it must also keep that outline and end whole.
bool WriteAndCheck(const wchar_t* file, WideValues& values, const Outline* before,
                   const FileBytes* original) {
    for (int round = 0; round < 2; ++round) {
        for (std::size_t i = 0; i < values.Count; ++i) {
            if (values.Changed[i] && !WritePrivateProfileStringW(values.Section, values.Keys[i],
                                                                 values.Values[i], file)) {
                return false;
            }
        }
        // Let go of the reader's cache: what follows reads the bytes on the disk.
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, file);
        if (before) {
            std::size_t size = 0;
            char tail[kTailBytes];
            DWORD tailBytes = 0;
            if (!ReadEnd(file, size, tail, tailBytes) || !EndsWhole(tail, tailBytes, *original) ||
                !KeepsTheOutline(file, size, *before)) {
                return false;
            }
        }
        bool changed = false;
        for (std::size_t i = 0; i < values.Count; ++i) {
            wchar_t read[kValueChars];
            GetPrivateProfileStringW(values.Section, values.Keys[i], kMissing, read, kValueChars,
                                     file);
            if (std::wcscmp(read, kMissing) == 0) return false;
            values.Changed[i] = std::wcscmp(read, values.Values[i]) != 0;
            if (values.Changed[i]) std::wmemcpy(values.Values[i], read, std::wcslen(read) + 1);
            values.Reread[i] = values.Reread[i] || values.Changed[i];
            changed = changed || values.Changed[i];
        }
        if (!changed) return true;
        if (round == 1) return false;
    }
    return false;
}

// The values the reader gave back otherwise, back to the caller's ANSI buffers.
bool Settle(const WideValues& wide, ProfileValue* values) {
    for (std::size_t i = 0; i < wide.Count; ++i) {
        char text[kValueChars * 2];
        if (!wide.Reread[i]) continue;
        if (!Narrow(wide.Values[i], text, sizeof text) || std::strlen(text) >= values[i].Room)
            return false;
        std::memcpy(values[i].Value, text, std::strlen(text) + 1);
    }
    return true;
}

}  // namespace

void CutAtLineBreak(char* value) {
    // Neither byte is ever the trail byte of a double-byte character.
    value[std::strcspn(value, "\r\n")] = '\0';
}

ProfileSaved SaveProfileValues(const wchar_t* path, const char* section, ProfileValue* values,
                               std::size_t count, PlaceWait wait) {
    for (std::size_t i = 0; i < count; ++i) CutAtLineBreak(values[i].Value);
    WideValues wide;
    if (!wide.Set(section, values, count)) return ProfileSaved::Refused;
    const auto settle = [&](ProfileSaved saved) {
        return Settle(wide, values) ? saved : ProfileSaved::Refused;
    };
    wchar_t target[kWidePathChars];
    FinalPathOf(path, target);
    FileBytes original;
    const FileRead read = ReadWholeFile(target, original);
    if (read == FileRead::Failed)
        return ProfileSaved::Refused;  // never write over what was not read
    ReplacementFile copy(target);
    if (!copy.Opened()) {
        // A folder that refuses new files around a file that may be written (an installer
        // granted write on the file alone): as earlier releases saved, in place.
        if (copy.LastError() != ERROR_ACCESS_DENIED || read != FileRead::Read)
            return ProfileSaved::Refused;
        return WriteAndCheck(target, wide, nullptr, nullptr) ? settle(ProfileSaved::InPlace)
                                                             : ProfileSaved::Refused;
    }
    // The outline as the reader finds it in the copy before the writer changes it: the copy
    // holds every byte of the original (CloseForWriters checks its size), and no other program
    // changes it between this read and the writes, as one might the original.
    Outline before;
    if (!copy.Write(original.Data(), original.Size()) || !copy.CloseForWriters() ||
        (read == FileRead::Read && !before.Read(copy.TemporaryPath(), original.Size())) ||
        !WriteAndCheck(copy.TemporaryPath(), wide, &before, &original)) {
        return ProfileSaved::Refused;
    }
    const ProfileSaved saved = settle(ProfileSaved::Replaced);
    return saved == ProfileSaved::Replaced && copy.Commit(wait) ? saved : ProfileSaved::Refused;
}

UINT ReadProfileNumber(const wchar_t* path, const char* section, const char* key, INT fallback) {
    wchar_t wideSection[kNameChars], wideKey[kNameChars];
    if (!Widen(section, wideSection, kNameChars) || !Widen(key, wideKey, kNameChars)) {
        return static_cast<UINT>(fallback);
    }
    return GetPrivateProfileIntW(wideSection, wideKey, fallback, path);
}

std::size_t ReadProfileText(const wchar_t* path, const char* section, const char* key, char* out,
                            std::size_t room) {
    out[0] = '\0';
    wchar_t wideSection[kNameChars], wideKey[kNameChars], value[kValueChars];
    char text[kValueChars * 2];
    if (!Widen(section, wideSection, kNameChars) || !Widen(key, wideKey, kNameChars)) return 0;
    GetPrivateProfileStringW(wideSection, wideKey, L"", value, kValueChars, path);
    if (!Narrow(value, text, sizeof text)) return 0;
    const std::size_t length = std::strlen(text) < room ? std::strlen(text) : room - 1;
    std::memcpy(out, text, length);
    out[length] = '\0';
    return length;
}

bool RestoreLeftProfile(const wchar_t* path, const char* section, const char* const* keys,
                        std::size_t count) {
    struct Wanted {
        wchar_t Section[kNameChars];
        wchar_t Keys[kMaxValues][kNameChars];
        std::size_t Count;
    } wanted;
    wanted.Count = count;
    if (count > kMaxValues || !Widen(section, wanted.Section, kNameChars)) return false;
    for (std::size_t i = 0; i < count; ++i) {
        if (!Widen(keys[i], wanted.Keys[i], kNameChars)) return false;
    }
    const auto holdsEveryKey = [](const wchar_t* file, void* context) {
        const Wanted& w = *static_cast<const Wanted*>(context);
        for (std::size_t i = 0; i < w.Count; ++i) {
            wchar_t value[kValueChars];
            GetPrivateProfileStringW(w.Section, w.Keys[i], kMissing, value, kValueChars, file);
            if (std::wcscmp(value, kMissing) == 0) return false;
        }
        return true;
    };
    return RestoreLeftReplacement(path, holdsEveryKey, &wanted);
}
