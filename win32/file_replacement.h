#pragma once
// Files replaced whole, never rewritten in place: the new content is written to a file of its
// own beside the target, flushed to the disk, and then put in the target's place in one step.
// Whatever stops it (a full disk, a killed process) leaves the old file or the new one, never
// an empty, cut or mixed one; on NTFS and ReFS a power cut too, where a rename is one journaled
// step. Every file call names the file by one wide path, converted once from the ANSI path by
// the ANSI code page (never the OEM one a host may have switched the file functions to).
// Calls kernel32 alone (nothing that could be unloaded before the module at process exit).
#include <windows.h>

#include <cstddef>

#include "win32/scoped_win.h"

// Room for any wide path these functions make: a settings path, its temporary file's suffix,
// and the "\\?\" prefix that lifts MAX_PATH.
constexpr std::size_t kWidePathChars = MAX_PATH + 48;

// `ansi` (a full path in the ANSI code page) and then `suffix` as a wide path in `out` (room
// for kWidePathChars); one of MAX_PATH or more gets the "\\?\" prefix. False when the ANSI text
// does not convert (no such path can name a file) or the result does not fit.
bool ToWidePath(const char* ansi, const wchar_t* suffix, wchar_t* out);

// The file that the path `named` reaches, in `out` (kWidePathChars): through a symbolic link
// or a junction, the real file's path, so that a replacement goes beside that and the link
// stays a link. `named` itself when it names no file yet, or cannot be opened to ask.
void FinalPathOf(const wchar_t* named, wchar_t* out);

// A file's whole content, in memory of its own (VirtualAlloc, not the heap).
class FileBytes {
public:
    FileBytes() = default;
    ~FileBytes();
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    // Room for `size` bytes; false when there is none.
    bool Allocate(std::size_t size);
    char* Data() { return data_; }
    const char* Data() const { return data_; }
    std::size_t Size() const { return size_; }

private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
};

enum class FileRead { Read, Missing, Failed };

// Reads the whole file at `path`. Missing when neither it nor its folder is there; Failed when
// it is there but cannot be read whole (held without sharing, denied, larger than a settings
// file can sensibly be).
FileRead ReadWholeFile(const wchar_t* path, FileBytes& bytes);

// How long putting a file in place may wait for other programs to let go of the target (a
// scanner or a sync client opening it for a moment): on the host's thread, and at process
// exit, where the host is already going.
enum class PlaceWait { Host, Exit };

// The new content of `target`, written beside it. The temporary file is named
// "<target>.~<process id: 8 hex digits><serial: 4 hex digits>.tmp", created exclusively, so
// no two writers ever share one; those of that exact shape that a writer now ended left behind
// are deleted when the next one opens (a bounded number each time).
class ReplacementFile {
public:
    // `target` is a full wide path; check Opened(), and LastError() when it did not open.
    explicit ReplacementFile(const wchar_t* target);
    // Deletes the temporary file unless Commit put it in place.
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool Opened() const { return temporary_[0] != L'\0'; }
    DWORD LastError() const { return openError_; }
    const wchar_t* TemporaryPath() const { return temporary_; }
    // Appends `count` bytes; false from the first write that fails or falls short (a full
    // disk) on, and Commit then fails.
    bool Write(const void* bytes, std::size_t count);
    // Closes the module's own handle, so that another writer (the system's profile functions)
    // can open the temporary file by its name; false when a write had failed, or the file
    // holds fewer bytes than the writes answered.
    bool CloseForWriters();
    // Flushes the new file and puts it in the target's place with one rename (MoveFileExW,
    // replacing), after giving it the old file's creation time and attributes; the security is
    // the folder's, as for any new file there. While another program has the target open, the
    // rename is tried again with a growing pause (about 0.6 s in all on the host's thread,
    // 70 ms at exit), and, from Windows 10 1607 on, as a POSIX rename, which replaces a file
    // that others hold open. Not ReplaceFileW: Wine's moves the old file away first and the
    // new one in after, so a process ended between the two leaves no file at all. A read-only
    // target is refused, as an in-place write would be. False, with the target as it was and
    // the temporary file gone, on any failure.
    bool Commit(PlaceWait wait = PlaceWait::Host);

private:
    void Discard();
    // Whether the open file holds every byte written (a full disk may answer success for less).
    bool HoldsAllWritten() const;

    scoped::File file_;
    bool failed_ = false;
    ULONGLONG written_ = 0;
    DWORD openError_ = ERROR_SUCCESS;
    wchar_t target_[kWidePathChars] = {};
    wchar_t temporary_[kWidePathChars] = {};
};

// Whether `name` (a file name without its folder) is exactly what a ReplacementFile of the
// file named `targetName` calls its temporary file, and if so which process made it.
bool IsReplacementOf(const wchar_t* name, const wchar_t* targetName, DWORD* writer);

// The temporary file a writer now ended left beside `target` (a full wide path), the newest
// first, that `accept` takes: put in the target's place when the target is missing. A FAT32 or
// exFAT volume renames in several steps, so a power cut in the middle of a save can leave the
// complete new file under its temporary name alone. True when one was put in place.
bool RestoreLeftReplacement(const wchar_t* target,
                            bool (*accept)(const wchar_t* path, void* context), void* context);

// Moves the file `from` to `to` (full ANSI paths), replacing a file at `to`: a rename on one
// volume. Across volumes, a copy written as a ReplacementFile and then the source deleted; a
// source that cannot be deleted stays, and the move still counts, as MoveFileEx's own copy
// does. False, with `to` as it was, when the move or the copy fails, or when a path does not
// convert.
bool MoveFileWhole(const char* from, const char* to);
