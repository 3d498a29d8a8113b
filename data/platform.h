#pragma once
// What the engine asks of the operating system and POSIX and Windows answer
// differently: reading a game file, identifying a folder, locking it. One
// implementation per system (platform_posix.cpp, platform_windows.cpp), chosen
// by the build; the rest of data/ is the same code everywhere.
//
// Errors come back as std::error_code whose message() is the system's own
// wording (strerror on POSIX, the system's message on Windows).

#include <chrono>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace karnwick::platform {

// An open file: a descriptor on POSIX, a HANDLE on Windows.
using Handle = std::intptr_t;
inline constexpr Handle kNoHandle = -1;

void closeHandle(Handle handle) noexcept;

// A file or folder as the file system knows it: device and inode on POSIX,
// volume serial number and file index on Windows.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    auto operator<=>(const FileIdentity&) const = default;
};

// Of whatever `path` names, links followed; nothing when it cannot be had.
std::optional<FileIdentity> identityOf(const std::filesystem::path& path);

// A path as messages show it: its bytes on POSIX, UTF-8 with forward slashes
// on Windows, so a folder named in any script reads the same on both.
std::string pathText(const std::filesystem::path& path);
// The path that pathText gives `text` for (a name the writer keeps as text).
std::filesystem::path pathFromText(const std::string& text);
#ifdef _WIN32
// UTF-8 for Windows' UTF-16, where half of a pair (which a hostile folder or
// command line may hold) becomes U+FFFD rather than stop the command.
std::string utf8Text(std::wstring_view text);
#endif

// --- Game files

struct OpenedFile {
    Handle handle = kNoHandle;
    std::error_code error;    // set when handle is kNoHandle
    bool missing = false;     // nothing of that name
    bool notRegular = false;  // a folder, device, FIFO...: not a game file
};

// Opens `path` for reading, links followed, without ever hanging on a FIFO;
// only a regular file comes back open.
OpenedFile openForReading(const std::filesystem::path& path);

std::int64_t fileSize(Handle handle, std::error_code& error);

// Up to `count` bytes at `offset`: how many were read (0 at the end of the
// file), or -1 with `error` set.
std::int64_t readAt(Handle handle, std::int64_t offset, unsigned char* bytes, std::size_t count,
                    std::error_code& error);

// --- Folder locks (see folder_lock.h)

// One wait for a folder's lock, kept by folder_lock.cpp: the platform tries
// again and again, asking it each time whether to go on.
struct LockWait {
    std::filesystem::path folder;
    std::optional<std::chrono::steady_clock::time_point> deadline;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    bool noted = false;

    // False once the deadline has passed; after a second, says once that
    // the folder is being waited for.
    bool keepWaiting();
};

// The error of a wait whose deadline passed.
inline std::error_code timedOut() {
    return std::make_error_code(std::errc::timed_out);
}

// What a folder's lock is taken on, and the folder's identity, or nothing
// with `error` set. `writing`: the caller is a writer (on Windows, where
// the lock lives in a file of the folder, a reader that cannot create that
// file in a folder nobody may write goes without).
Handle openFolderLock(const std::filesystem::path& folder, bool writing, FileIdentity& identity,
                      std::error_code& error);

// Waits for the lock, fair to writers: a writer closes the gate behind the
// readers present, and no new reader gets in until it is served. Returns
// no error, timedOut(), or the error of a file system that cannot lock.
std::error_code lockFolder(Handle handle, bool exclusive, LockWait& waiting);

// The exclusive lock only if it is free now, without the gate.
bool tryLockFolder(Handle handle);

// Whether a command may be holding `folder`'s lock. Always on POSIX, where
// the lock is the folder's own; on Windows only once the folder has the lock
// file that the first command to lock it makes, so that a writer tidying a
// folder no command has locked (a picture's, a history entry's) leaves no
// lock file there.
bool mayHoldFolderLock(const std::filesystem::path& folder);

void unlockFolder(Handle handle) noexcept;

}  // namespace karnwick::platform
