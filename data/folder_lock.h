#pragma once
// One lock per game folder, so that a set of game files is only ever seen or
// changed whole.
//
// The lock is flock(2) on the folder itself, so a reader needs no write
// permission and creates nothing. Windows locks only files: there the lock is
// LockFileEx on a lock file that stays in the folder (".karnwick-lock", the
// one extra file a game folder gets there), whose first byte is the gate
// below. Every writer into a game folder (set,
// import, demo-data, export into the folder, the demo set of the arena)
// holds it exclusively for its whole read-modify-write and commit; readers
// of a whole set hold it shared while they read, so a set is never read half
// replaced. A second writer waits, with a note on stderr after a second,
// rather than failing.
//
// The lock is fair to writers: a writer that waits first takes the folder's
// gate (".karnwick-gate", an empty file it creates in the folder and removes
// again as soon as it has the lock), and a reader passes that gate before it
// asks for its shared lock. So no new reader gets in while a writer waits,
// and the writer is served as soon as the readers present when it asked are
// done. A folder nobody may write has no gate: its readers go straight in.
//
// A folder replaced whole at its name (export all swaps in a new folder) is
// noticed once its lock is had: the lock is taken again on the folder the
// name now holds.
//
// Locks are counted per process and folder: every lock of one process on one
// folder shares one descriptor, so a reader inside a writer (or a writer
// inside a reader) never waits for itself; a command that reads the folder
// and then writes into it gives up its shared lock and queues as a writer.
// Once a writer of the process had the folder, the process keeps it
// exclusively until its last lock on it goes. Waiting is done without
// holding the process's own bookkeeping, so a thread that waits never stops
// another from taking or releasing a lock.
//
// Taking a folder's lock first finishes a set commit that a killed command
// left in it, through the settler the set's recovery installs (see
// set_recovery.h).

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace karnwick {

enum class FolderAccess { Read, Write };

class FolderLock {
  public:
    // Waits for the lock. Throws a GameError when the folder cannot be
    // opened for a Write lock, or when a half-committed set is in it and the
    // folder cannot be written to finish it. A Read lock on a folder that is
    // missing or cannot be opened holds nothing (there is nothing to read
    // consistently, and reading reports the real problem).
    FolderLock(const std::filesystem::path& folder, FolderAccess access);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // The lock if it can be had within `patience`, else nothing; throws as
    // the constructor does. For a window that must not hang while another
    // command writes: it asks the player instead.
    static std::unique_ptr<FolderLock> tryFor(const std::filesystem::path& folder,
                                              FolderAccess access,
                                              std::chrono::milliseconds patience);

    // An exclusive lock only if nobody holds the folder now (for clearing
    // leftovers on the side: a busy folder is simply left as it is).
    static std::unique_ptr<FolderLock> tryWrite(const std::filesystem::path& folder);

    // Whether a lock of this process holds `folder` now.
    static bool isHeldHere(const std::filesystem::path& folder);

    // A folder as the file system knows it (device and inode).
    struct Key;

  private:
    FolderLock() = default;
    // False when the deadline passed first.
    bool acquire(const std::filesystem::path& folder,
                 std::optional<std::chrono::steady_clock::time_point> deadline);

    std::unique_ptr<Key> m_key;
    FolderAccess m_access = FolderAccess::Read;
};

// What a lock, once had, does about a set commit a killed command left in
// the folder: `interrupted` tells whether there is one, `finish` finishes or
// undoes it under the exclusive lock. The set's recovery installs it before
// the program starts; without it a lock only locks.
struct FolderSettler {
    bool (*interrupted)(const std::filesystem::path& folder) = nullptr;
    void (*finish)(const std::filesystem::path& folder) = nullptr;
};
void setFolderSettler(FolderSettler settler);

// Says once that a lock is being waited for; by default
// "karnwick: waiting for another karnwick command to finish in DIR" on stderr.
void setLockWaitNote(std::function<void(const std::filesystem::path& folder)> note);

// The name of the folder's gate (see above), which copies of a folder leave
// out; on Windows the lock file, which holds the gate.
#ifdef _WIN32
inline constexpr const char* kFolderGateName = ".karnwick-lock";
#else
inline constexpr const char* kFolderGateName = ".karnwick-gate";
#endif

}  // namespace karnwick
