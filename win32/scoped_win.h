#pragma once
// Small owners of the Windows handles the module uses, and guards for a slim reader/writer
// lock, so that every handle is closed exactly once on every path and every lock taken is
// released, without hand-written pairs of calls. The tools' and tests' own owners (windows,
// drawing objects) build on these in tests/win32/support/scoped_tools.h.
#include <windows.h>

namespace scoped {

// Owns one handle of a kind that Traits describes: how to close it and which value means
// "nothing" (null, or INVALID_HANDLE_VALUE where the opening function returns that).
template <typename Traits>
class Owner {
public:
    using Handle = typename Traits::Handle;

    Owner() = default;
    explicit Owner(Handle handle) : handle_(handle) {}
    ~Owner() { Reset(); }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;

    Handle Get() const { return handle_; }
    bool Valid() const { return Traits::IsValid(handle_); }
    explicit operator bool() const { return Valid(); }

    // Gives up ownership without closing.
    Handle Detach() {
        const Handle handle = handle_;
        handle_ = Traits::Empty();
        return handle;
    }
    // Closes what is held (then holds `handle`); returns what the close answered, or 0 when
    // nothing was held.
    long Reset(Handle handle = Traits::Empty()) {
        const long closed = Valid() ? static_cast<long>(Traits::Close(handle_)) : 0;
        handle_ = handle;
        return closed;
    }
    // For a function that hands a handle out through a pointer: closes what is held first.
    Handle* Receive() {
        Reset();
        return &handle_;
    }

private:
    Handle handle_ = Traits::Empty();
};

template <typename H>
struct NullIsEmpty {
    using Handle = H;
    static Handle Empty() { return nullptr; }
    static bool IsValid(Handle handle) { return handle != nullptr; }
};

struct MinusOneIsEmpty {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle handle) { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }
};

struct KernelHandleTraits : NullIsEmpty<HANDLE> {
    static BOOL Close(HANDLE handle) { return CloseHandle(handle); }
};
struct FileHandleTraits : MinusOneIsEmpty {
    static BOOL Close(HANDLE handle) { return CloseHandle(handle); }
};
struct FindHandleTraits : MinusOneIsEmpty {
    static BOOL Close(HANDLE handle) { return FindClose(handle); }
};
struct RegistryKeyTraits : NullIsEmpty<HKEY> {
    static LONG Close(HKEY key) { return RegCloseKey(key); }
};
struct LibraryTraits : NullIsEmpty<HMODULE> {
    static BOOL Close(HMODULE module) { return FreeLibrary(module); }
};

using Handle = Owner<KernelHandleTraits>;    // threads, events, snapshots: null when empty
using File = Owner<FileHandleTraits>;        // CreateFile, snapshots: INVALID_HANDLE_VALUE when empty
using Find = Owner<FindHandleTraits>;        // FindFirstFile: INVALID_HANDLE_VALUE when empty
using RegistryKey = Owner<RegistryKeyTraits>;
using Library = Owner<LibraryTraits>;        // a module reference: FreeLibrary

// Holds a slim reader/writer lock exclusively, or shared, for the guard's lifetime.
class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& lock_;
};

class SharedLock {
public:
    explicit SharedLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockShared(&lock_); }
    ~SharedLock() { ReleaseSRWLockShared(&lock_); }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

private:
    SRWLOCK& lock_;
};

}  // namespace scoped
