#include "win32/file_replacement.h"

#include <cwchar>
#include <initializer_list>
#include <iterator>

#include "win32/scoped_win.h"

namespace {

// No settings file comes near this; a larger one is not read into memory.
constexpr ULONGLONG kLargestFileBytes = 512ull << 20;
// Pauses between tries to put the new file in place while another program has the target
// open: growing, about 0.6 s in all on the host's thread (a scanner or a sync client lets go
// within that), 70 ms at process exit.
constexpr DWORD kHostPauses[] = {10, 20, 40, 80, 160, 320};
constexpr DWORD kExitPauses[] = {10, 20, 40};
constexpr int kTemporaryNameTries = 16;
// How many left temporary files one save looks at: many that a live writer holds, or a
// folder full of them, must not slow every save.
constexpr int kLeftFilesLooked = 32;
// What a file written in place would have kept (a read-only file is refused instead).
constexpr DWORD kCarriedAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
constexpr wchar_t kTemporaryMark[] = L".~";
constexpr wchar_t kTemporaryExtension[] = L".tmp";
constexpr std::size_t kProcessDigits = 8, kSerialDigits = 4;
constexpr wchar_t kLongPrefix[] = L"\\\\?\\";
constexpr wchar_t kLongNetworkPrefix[] = L"\\\\?\\UNC\\";

// FILE_RENAME_INFO as FileRenameInfoEx reads it (Windows 10 1607; older headers lack it):
// flags in place of the ReplaceIfExists byte.
constexpr int kFileRenameInfoEx = 22;
constexpr DWORD kRenameReplaceIfExists = 0x1, kRenameAsPosix = 0x2;
struct RenameInfoEx {
    DWORD Flags;
    HANDLE RootDirectory;
    DWORD FileNameLength;  // bytes, without the terminator
    WCHAR FileName[kWidePathChars];
};

// `parts` one after the other in `out` (room for kWidePathChars units); false when they do
// not fit. (No printf: the MSVC build's /sdl refuses the wide one.)
bool Join(wchar_t* out, std::initializer_list<const wchar_t*> parts) {
    std::size_t length = 0;
    out[0] = L'\0';
    for (const wchar_t* part : parts) {
        const std::size_t added = std::wcslen(part);
        if (length + added >= kWidePathChars) return false;
        std::wmemcpy(out + length, part, added + 1);
        length += added;
    }
    return true;
}

bool StartsWith(const wchar_t* text, const wchar_t* start) {
    return std::wcsncmp(text, start, std::wcslen(start)) == 0;
}

// `path` and `suffix` joined, with the "\\?\" prefix when the whole reaches MAX_PATH.
bool LongPath(const wchar_t* path, const wchar_t* suffix, wchar_t* out) {
    const bool prefixed = StartsWith(path, kLongPrefix);
    if (prefixed || std::wcslen(path) + std::wcslen(suffix) < MAX_PATH)
        return Join(out, {path, suffix});
    const bool network = path[0] == L'\\' && path[1] == L'\\';
    return network ? Join(out, {kLongNetworkPrefix, path + 2, suffix})
                   : Join(out, {kLongPrefix, path, suffix});
}

// `value` as `digits` lower-case hexadecimal digits and a terminator.
void Hex(DWORD value, std::size_t digits, wchar_t* out) {
    for (std::size_t i = digits; i-- > 0; value >>= 4) out[i] = L"0123456789abcdef"[value & 15];
    out[digits] = L'\0';
}

unsigned HexValue(wchar_t c) {
    if (c >= L'0' && c <= L'9') return static_cast<unsigned>(c - L'0');
    if (c >= L'a' && c <= L'f') return static_cast<unsigned>(c - L'a' + 10);
    if (c >= L'A' && c <= L'F') return static_cast<unsigned>(c - L'A' + 10);
    return 16;
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

// The name part of a full path (after its last backslash).
const wchar_t* NameOf(const wchar_t* path) {
    const wchar_t* slash = std::wcsrchr(path, L'\\');
    return slash ? slash + 1 : path;
}

// Calls `visit(path, found)` for the temporary files beside `target` that writers now ended
// left, at most kLeftFilesLooked of the names found.
template <typename Visit>
void ForEachLeftReplacement(const wchar_t* target, Visit visit) {
    wchar_t pattern[kWidePathChars];
    if (!Join(pattern, {target, kTemporaryMark, L"????????????", kTemporaryExtension})) return;
    const wchar_t* targetName = NameOf(target);
    const std::size_t folderLength = static_cast<std::size_t>(targetName - target);
    WIN32_FIND_DATAW found;
    const scoped::Find find(FindFirstFileW(pattern, &found));
    if (!find) return;
    DWORD alive = 0;  // a writer found running: its other files need no second look
    int looked = 0;
    do {
        DWORD writer = 0;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            !IsReplacementOf(found.cFileName, targetName, &writer) || writer == alive) {
            continue;
        }
        if (MayStillWrite(writer)) {
            alive = writer;
            continue;
        }
        wchar_t path[kWidePathChars];
        if (folderLength + std::wcslen(found.cFileName) >= kWidePathChars) continue;
        std::wmemcpy(path, target, folderLength);
        std::wmemcpy(path + folderLength, found.cFileName, std::wcslen(found.cFileName) + 1);
        visit(path, found);
    } while (++looked < kLeftFilesLooked && FindNextFileW(find.Get(), &found));
}

bool MoveInPlace(const wchar_t* from, const wchar_t* to) {
    return MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

// The rename that replaces a target others hold open (Windows 10 1607 and later, on NTFS);
// anywhere else the system refuses it and nothing changes.
bool MoveInPlaceAsPosix(const wchar_t* from, const wchar_t* to) {
    const scoped::File source(CreateFileW(from, DELETE | SYNCHRONIZE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!source) return false;
    RenameInfoEx info{};
    info.Flags = kRenameReplaceIfExists | kRenameAsPosix;
    const std::size_t length = std::wcslen(to);
    std::wmemcpy(info.FileName, to, length + 1);
    info.FileNameLength = static_cast<DWORD>(length * sizeof(WCHAR));
    return SetFileInformationByHandle(source.Get(),
                                      static_cast<FILE_INFO_BY_HANDLE_CLASS>(kFileRenameInfoEx),
                                      &info, sizeof info) != FALSE;
}

}  // namespace

bool ToWidePath(const char* ansi, const wchar_t* suffix, wchar_t* out) {
    wchar_t converted[kWidePathChars];
    // The ANSI code page, as the shell named the folder and as the path was made: a host that
    // switched the file functions to OEM must not send the load and the save to two files.
    const int length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi, -1, converted,
                                           static_cast<int>(kWidePathChars));
    if (length <= 1) return false;
    return LongPath(converted, suffix, out);
}

void FinalPathOf(const wchar_t* named, wchar_t* out) {
    Join(out, {named});
    const scoped::File file(CreateFileW(
        named, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file) return;
    wchar_t final[kWidePathChars];
    const DWORD length = GetFinalPathNameByHandleW(file.Get(), final, kWidePathChars,
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= kWidePathChars) return;
    // The system answers with the "\\?\" form; the plain one where it fits, as a host names it.
    wchar_t plain[kWidePathChars];
    const bool network = StartsWith(final, kLongNetworkPrefix);
    if (network) {
        Join(plain, {L"\\\\", final + std::wcslen(kLongNetworkPrefix)});
    } else {
        Join(plain, {StartsWith(final, kLongPrefix) ? final + std::wcslen(kLongPrefix) : final});
    }
    Join(out, {std::wcslen(plain) < MAX_PATH ? plain : final});
}

FileBytes::~FileBytes() {
    if (data_) VirtualFree(data_, 0, MEM_RELEASE);
}

bool FileBytes::Allocate(std::size_t size) {
    if (data_) VirtualFree(data_, 0, MEM_RELEASE);
    data_ = nullptr;
    size_ = size;
    if (size == 0) return true;
    data_ =
        static_cast<char*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!data_) size_ = 0;
    return data_ != nullptr;
}

FileRead ReadWholeFile(const wchar_t* path, FileBytes& bytes) {
    const scoped::File file(
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileRead::Missing
                                                                              : FileRead::Failed;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size) ||
        static_cast<ULONGLONG>(size.QuadPart) > kLargestFileBytes ||
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

bool IsReplacementOf(const wchar_t* name, const wchar_t* targetName, DWORD* writer) {
    const std::size_t nameLength = std::wcslen(targetName),
                      markLength = std::wcslen(kTemporaryMark);
    const std::size_t digits = kProcessDigits + kSerialDigits;
    if (std::wcslen(name) != nameLength + markLength + digits + std::wcslen(kTemporaryExtension) ||
        CompareStringOrdinal(name, static_cast<int>(nameLength), targetName,
                             static_cast<int>(nameLength), TRUE) != CSTR_EQUAL ||
        std::wcsncmp(name + nameLength, kTemporaryMark, markLength) != 0 ||
        CompareStringOrdinal(name + nameLength + markLength + digits, -1, kTemporaryExtension, -1,
                             TRUE) != CSTR_EQUAL) {
        return false;
    }
    DWORD process = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const unsigned digit = HexValue(name[nameLength + markLength + i]);
        if (digit > 15) return false;
        if (i < kProcessDigits) process = process << 4 | digit;
    }
    *writer = process;
    return true;
}

bool RestoreLeftReplacement(const wchar_t* target,
                            bool (*accept)(const wchar_t* path, void* context), void* context) {
    if (GetFileAttributesW(target) != INVALID_FILE_ATTRIBUTES ||
        GetLastError() != ERROR_FILE_NOT_FOUND) {
        return false;
    }
    wchar_t newest[kWidePathChars] = {};
    FILETIME newestTime{};
    ForEachLeftReplacement(target, [&](const wchar_t* path, const WIN32_FIND_DATAW& found) {
        if (newest[0] != L'\0' && CompareFileTime(&found.ftLastWriteTime, &newestTime) <= 0) return;
        if (!accept(path, context)) return;
        Join(newest, {path});
        newestTime = found.ftLastWriteTime;
    });
    // Never over a file that appeared meanwhile.
    return newest[0] != L'\0' && MoveFileExW(newest, target, MOVEFILE_WRITE_THROUGH) != FALSE;
}

ReplacementFile::ReplacementFile(const wchar_t* target) {
    openError_ = ERROR_FILENAME_EXCED_RANGE;
    if (!Join(target_, {target})) return;
    ForEachLeftReplacement(target_,
                           [](const wchar_t* path, const WIN32_FIND_DATAW&) { DeleteFileW(path); });
    static LONG serial = 0;
    for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
        wchar_t process[12], number[8];
        Hex(GetCurrentProcessId(), kProcessDigits, process);
        Hex(static_cast<DWORD>(InterlockedIncrement(&serial)), kSerialDigits, number);
        wchar_t suffix[32];
        if (!Join(suffix, {kTemporaryMark, process, number, kTemporaryExtension}) ||
            !LongPath(target_, suffix, temporary_)) {
            break;
        }
        file_.Reset(CreateFileW(temporary_, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        openError_ = file_.Valid() ? ERROR_SUCCESS : GetLastError();
        if (openError_ != ERROR_FILE_EXISTS) break;
    }
    if (!file_.Valid()) temporary_[0] = L'\0';
}

ReplacementFile::~ReplacementFile() { Discard(); }

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
        written_ += written;
        next += wanted;
        count -= wanted;
    }
    return !failed_;
}

bool ReplacementFile::HoldsAllWritten() const {
    LARGE_INTEGER size{};
    return GetFileSizeEx(file_.Get(), &size) && static_cast<ULONGLONG>(size.QuadPart) == written_;
}

bool ReplacementFile::CloseForWriters() {
    failed_ = failed_ || !HoldsAllWritten();
    file_.Reset();
    return !failed_ && Opened();
}

bool ReplacementFile::Commit(PlaceWait wait) {
    WIN32_FILE_ATTRIBUTE_DATA old{};
    const bool exists = GetFileAttributesExW(target_, GetFileExInfoStandard, &old) != FALSE;
    if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) failed_ = true;
    if (exists && (old.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        failed_ = true;  // refused, as a write in place would be
    }
    if (file_.Valid()) {
        failed_ = failed_ || !HoldsAllWritten();
    } else if (Opened()) {  // another writer wrote it by name
        file_.Reset(CreateFileW(temporary_, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
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
    const DWORD* pauses = wait == PlaceWait::Host ? kHostPauses : kExitPauses;
    const std::size_t pauseCount =
        wait == PlaceWait::Host ? std::size(kHostPauses) : std::size(kExitPauses);
    bool placed = MoveInPlace(temporary_, target_);
    for (std::size_t i = 0; !placed && i < pauseCount; ++i) {
        const DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) break;
        placed = (i == 0 && MoveInPlaceAsPosix(temporary_, target_));
        if (placed) break;
        Sleep(pauses[i]);
        placed = MoveInPlace(temporary_, target_);
    }
    if (placed) temporary_[0] = L'\0';
    Discard();
    return placed;
}

bool MoveFileWhole(const char* from, const char* to) {
    wchar_t source[kWidePathChars];
    wchar_t target[kWidePathChars];
    // Both paths come from the shell or from the host's wide name, converted to ANSI without
    // loss: nothing the module makes fails here; a caller's text that would is no file.
    if (!ToWidePath(from, L"", source) || !ToWidePath(to, L"", target)) return false;
    if (MoveInPlace(source, target)) return true;
    if (GetLastError() != ERROR_NOT_SAME_DEVICE) return false;
    // Another volume: MoveFileEx would copy over the target in place, and a full disk there
    // would leave it cut or empty.
    FileBytes bytes;
    if (ReadWholeFile(source, bytes) != FileRead::Read) return false;
    ReplacementFile copy(target);
    if (!copy.Opened() || !copy.Write(bytes.Data(), bytes.Size()) || !copy.Commit()) return false;
    DeleteFileW(source);
    return true;
}
