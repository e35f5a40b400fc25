#include "win32/file_replacement.h"

#include <cwchar>
#include <initializer_list>

#include "win32/scoped_win.h"

namespace {

// No settings file comes near this; a larger one is not read into memory.
constexpr ULONGLONG kLargestFileBytes = 512ull << 20;
// Putting the new file in place fails while another program (a scanner, a second writer
// reading the file) has the target open without sharing its deletion: try again for about a
// tenth of a second.
constexpr int kReplaceTries = 5;
constexpr DWORD kReplaceRetryMs = 20;
constexpr int kTemporaryNameTries = 16;
// What a file written in place would have kept (a read-only file is refused instead).
constexpr DWORD kCarriedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
constexpr wchar_t kTemporaryMark[] = L".~";
constexpr wchar_t kTemporaryExtension[] = L".tmp";

// `parts` one after the other in `out` (room for `outChars` units); false when they do not
// fit. (No printf: the MSVC build's /sdl refuses the wide one.)
bool Join(wchar_t* out, std::size_t outChars, std::initializer_list<const wchar_t*> parts) {
    std::size_t length = 0;
    out[0] = L'\0';
    for (const wchar_t* part : parts) {
        const std::size_t added = std::wcslen(part);
        if (length + added >= outChars) return false;
        std::wmemcpy(out + length, part, added + 1);
        length += added;
    }
    return true;
}

// `value` as `digits` lower-case hexadecimal digits and a terminator.
void Hex(DWORD value, int digits, wchar_t* out) {
    for (int i = digits - 1; i >= 0; --i, value >>= 4) out[i] = L"0123456789abcdef"[value & 15];
    out[digits] = L'\0';
}

// `ansi` and then `suffix` as a wide path in `out` (`outChars` units); one of MAX_PATH or more
// gets the "\\?\" prefix that lifts the limit. False when it does not fit or does not convert.
bool ToWidePath(const char* ansi, const wchar_t* suffix, wchar_t* out, std::size_t outChars) {
    wchar_t converted[MAX_PATH + 8];
    // As the system's own ANSI file functions read the name (a host may have switched them
    // to the OEM code page).
    const UINT codePage = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
    const int length = MultiByteToWideChar(codePage, 0, ansi, -1, converted, MAX_PATH + 8);
    if (length <= 1) return false;
    const std::size_t total = static_cast<std::size_t>(length - 1) + std::wcslen(suffix);
    const bool network = converted[0] == L'\\' && converted[1] == L'\\';
    const wchar_t* prefix = total < MAX_PATH ? L"" : network ? L"\\\\?\\UNC" : L"\\\\?\\";
    const wchar_t* rest = total >= MAX_PATH && network ? converted + 1 : converted;
    return Join(out, outChars, {prefix, rest, suffix});
}

// Whether the process `id` may still be writing: true unless the system says it has ended
// (or never was), or it is this process.
bool MayStillWrite(DWORD id) {
    if (id == GetCurrentProcessId()) return false;  // one writer here, on one thread at a time
    const scoped::Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    if (!process) return GetLastError() != ERROR_INVALID_PARAMETER;  // denied: someone's, alive
    DWORD code = 0;
    return GetExitCodeProcess(process.Get(), &code) && code == STILL_ACTIVE;
}

unsigned HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return static_cast<unsigned>(c - L'0');
    if (c >= L'a' && c <= L'f') return static_cast<unsigned>(c - L'a' + 10);
    if (c >= L'A' && c <= L'F') return static_cast<unsigned>(c - L'A' + 10);
    return 16;
}

// Deletes the temporary files of `target` whose writers have ended (killed mid-save).
void ClearLeftTemporaries(const char* target) {
    wchar_t pattern[MAX_PATH + 40];
    wchar_t suffix[16];
    Join(suffix, 16, {kTemporaryMark, L"*", kTemporaryExtension});
    if (!ToWidePath(target, suffix, pattern, MAX_PATH + 40)) return;
    wchar_t* folderEnd = std::wcsrchr(pattern, L'\\');
    if (!folderEnd) return;
    const std::size_t markAt = std::wcslen(folderEnd + 1) - std::wcslen(suffix) +
                               std::wcslen(kTemporaryMark);  // in the found name
    WIN32_FIND_DATAW found;
    const scoped::Find find(FindFirstFileW(pattern, &found));
    if (!find) return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const wchar_t* id = found.cFileName + markAt;
        if (std::wcslen(found.cFileName) < markAt + 8) continue;
        DWORD process = 0;
        bool hex = true;
        for (int i = 0; i < 8 && hex; ++i) {
            const unsigned digit = HexValue(id[i]);
            hex = digit < 16;
            process = process << 4 | digit;
        }
        if (!hex || MayStillWrite(process)) continue;
        const wchar_t kept = folderEnd[1];
        folderEnd[1] = L'\0';  // the folder, with its backslash
        wchar_t path[MAX_PATH + 40];
        const bool fits = Join(path, MAX_PATH + 40, {pattern, found.cFileName});
        folderEnd[1] = kept;
        if (fits) DeleteFileW(path);
    } while (FindNextFileW(find.Get(), &found));
}

bool MoveInPlace(const wchar_t* from, const wchar_t* to) {
    return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

}  // namespace

FileBytes::~FileBytes() {
    if (data_) VirtualFree(data_, 0, MEM_RELEASE);
}

bool FileBytes::Allocate(std::size_t size) {
    if (data_) VirtualFree(data_, 0, MEM_RELEASE);
    data_ = nullptr;
    size_ = size;
    if (size == 0) return true;
    data_ = static_cast<char*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!data_) size_ = 0;
    return data_ != nullptr;
}

FileRead ReadWholeFile(const char* path, FileBytes& bytes) {
    wchar_t wide[MAX_PATH + 8];
    if (!ToWidePath(path, L"", wide, MAX_PATH + 8)) return FileRead::Failed;
    const scoped::File file(CreateFileW(wide, GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileRead::Missing
                                                                              : FileRead::Failed;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size) || static_cast<ULONGLONG>(size.QuadPart) > kLargestFileBytes ||
        !bytes.Allocate(static_cast<std::size_t>(size.QuadPart))) {
        return FileRead::Failed;
    }
    std::size_t done = 0;
    while (done < bytes.Size()) {
        DWORD read = 0;
        const DWORD wanted = static_cast<DWORD>(bytes.Size() - done);
        if (!ReadFile(file.Get(), bytes.Data() + done, wanted, &read, nullptr) || read == 0) {
            return FileRead::Failed;  // shrunk, or unreadable, while being read
        }
        done += read;
    }
    return FileRead::Read;
}

ReplacementFile::ReplacementFile(const char* target) {
    if (!ToWidePath(target, L"", target_, MAX_PATH + 8)) return;
    ClearLeftTemporaries(target);
    static LONG serial = 0;
    for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
        wchar_t suffix[40], process[12], number[8];
        Hex(GetCurrentProcessId(), 8, process);
        Hex(static_cast<DWORD>(InterlockedIncrement(&serial)), 4, number);
        Join(suffix, 40, {kTemporaryMark, process, number, kTemporaryExtension});
        if (!ToWidePath(target, suffix, temporary_, MAX_PATH + 40)) return;
        file_.Reset(CreateFileW(temporary_, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file_.Valid() || GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (!file_.Valid()) temporary_[0] = L'\0';
}

ReplacementFile::~ReplacementFile() {
    Discard();
}

void ReplacementFile::Discard() {
    file_.Reset();
    if (temporary_[0] != L'\0') DeleteFileW(temporary_);
    temporary_[0] = L'\0';
}

bool ReplacementFile::Write(const void* bytes, std::size_t count) {
    const char* next = static_cast<const char*>(bytes);
    while (!failed_ && count > 0) {
        const DWORD wanted = count > (1u << 20) ? (1u << 20) : static_cast<DWORD>(count);
        DWORD written = 0;
        failed_ = !file_.Valid() || !WriteFile(file_.Get(), next, wanted, &written, nullptr) ||
                  written != wanted;
        next += wanted;
        count -= wanted;
    }
    return !failed_;
}

bool ReplacementFile::Commit() {
    WIN32_FILE_ATTRIBUTE_DATA old{};
    const bool exists = GetFileAttributesExW(target_, GetFileExInfoStandard, &old) != FALSE;
    if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) failed_ = true;
    if (exists && (old.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        failed_ = true;  // refused, as a write in place would be
    }
    // The new file takes the old one's creation time and attributes, as the old file kept
    // them when it was written in place.
    if (exists) SetFileTime(file_.Get(), &old.ftCreationTime, nullptr, nullptr);
    if (failed_ || !file_.Valid() || !FlushFileBuffers(file_.Get())) {
        Discard();
        return false;
    }
    file_.Reset();
    const DWORD carried = old.dwFileAttributes & kCarriedAttributes;
    if (exists && carried != 0) SetFileAttributesW(temporary_, carried);
    bool placed = false;
    for (int attempt = 0; attempt < kReplaceTries && !placed; ++attempt) {
        if (attempt > 0) Sleep(kReplaceRetryMs);
        placed = MoveInPlace(temporary_, target_);
        const DWORD error = placed ? ERROR_SUCCESS : GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) break;
    }
    if (placed) temporary_[0] = L'\0';
    Discard();
    return placed;
}

bool MoveFileWhole(const char* from, const char* to) {
    wchar_t source[MAX_PATH + 8];
    wchar_t target[MAX_PATH + 8];
    if (!ToWidePath(from, L"", source, MAX_PATH + 8) || !ToWidePath(to, L"", target, MAX_PATH + 8)) {
        return false;
    }
    if (MoveInPlace(source, target)) return true;
    if (GetLastError() != ERROR_NOT_SAME_DEVICE) return false;
    // Another volume: MoveFileEx would copy over the target in place, and a full disk there
    // would leave it cut or empty.
    FileBytes bytes;
    if (ReadWholeFile(from, bytes) != FileRead::Read) return false;
    ReplacementFile copy(to);
    if (!copy.Opened() || !copy.Write(bytes.Data(), bytes.Size()) || !copy.Commit()) return false;
    DeleteFileW(source);
    return true;
}
