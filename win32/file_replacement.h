#pragma once
// Files replaced whole, never rewritten in place: the new content is written to a file of its
// own beside the target, flushed to the disk, and then put in the target's place in one step.
// Whatever stops it (a full disk, a killed process, a power cut) leaves the old file or the
// new one, never an empty, cut or mixed one. Calls kernel32 alone (nothing that could be
// unloaded before the module at process exit) and keeps a file's bytes in memory of its own,
// not on the heap; the system's file functions still take its heap lock inside, which is why
// the exit saves only when it must (settings/signal_settings.h).
#include <windows.h>

#include <cstddef>

#include "win32/scoped_win.h"

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

// Reads the whole file at `path` (a full ANSI path). Missing when neither it nor its folder is
// there; Failed when it is there but cannot be read whole (held without sharing, denied, larger
// than a settings file can sensibly be).
FileRead ReadWholeFile(const char* path, FileBytes& bytes);

// The new content of `target`, written beside it. The temporary file is named
// "<target>.~<process id><serial>.tmp", created exclusively, so no two writers ever share one;
// those that a killed writer left behind are deleted when the next one opens.
class ReplacementFile {
public:
    // `target` is a full ANSI path; check Opened().
    explicit ReplacementFile(const char* target);
    // Deletes the temporary file unless Commit put it in place.
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool Opened() const { return file_.Valid(); }
    // Appends `count` bytes; false from the first write that fails or falls short (a full
    // disk) on, and Commit then fails.
    bool Write(const void* bytes, std::size_t count);
    // Flushes the new file and puts it in the target's place with one rename
    // (MoveFileExW, replacing, write-through), after giving it the old file's creation time
    // and attributes; the security is the folder's, as for any new file there. Not
    // ReplaceFileW: Wine's moves the old file away first and the new one in after, so a
    // process ended between the two leaves no file at all. A read-only target is refused, as
    // an in-place write would be. False, with the target as it was and the temporary file
    // gone, on any failure.
    bool Commit();

private:
    void Discard();

    scoped::File file_;
    bool failed_ = false;
    wchar_t target_[MAX_PATH + 8] = {};
    wchar_t temporary_[MAX_PATH + 40] = {};
};

// Moves the file `from` to `to` (full ANSI paths), replacing a file at `to`: a rename on one
// volume. Across volumes, a copy written as a ReplacementFile and then the source deleted; a
// source that cannot be deleted stays, and the move still counts, as MoveFileEx's own copy
// does. False, with `to` as it was, when the move or the copy fails.
bool MoveFileWhole(const char* from, const char* to);
