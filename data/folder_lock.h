#pragma once
// One lock per game folder, so that a set of game files is only ever seen or
// changed whole.
//
// The lock is flock(2) on the folder itself: nothing is created in the
// folder, and a reader needs no write permission. Every writer into a game
// folder (set, import, demo-data, export into the folder, the demo set of the
// arena) holds it exclusively for its whole read-modify-write and commit;
// readers of a whole set hold it shared while they read, so a set is never
// read half replaced. A second writer waits, with a note on stderr after a
// second, rather than failing.
//
// Locks are counted per process and folder: a command that reads the folder
// and then writes into it turns its shared lock into an exclusive one on the
// same descriptor (other processes' shared locks are waited for), and a
// reader inside a writer shares the writer's lock.
//
// Taking a folder's lock first finishes a set commit that a killed command
// left in it (see finishInterruptedSet in file_writer.h).

#include <filesystem>
#include <functional>
#include <memory>

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

    // An exclusive lock only if nobody holds the folder now (for clearing
    // leftovers on the side: a busy folder is simply left as it is).
    static std::unique_ptr<FolderLock> tryWrite(const std::filesystem::path& folder);

    // A folder as the file system knows it (device and inode).
    struct Key;

  private:
    FolderLock() = default;
    std::unique_ptr<Key> m_key;
    FolderAccess m_access = FolderAccess::Read;
};

// What a reader calls before it opens a game file of `folder`: finishes a
// set commit left behind by a command that was killed, so the files read are
// the whole old set or the whole new one. Costs one system call when there
// is nothing to finish. A folder that holds such a commit but cannot be
// written is reported (GameError), never read as a mix.
void settleGameFolder(const std::filesystem::path& folder);

// Says once that a lock is being waited for; by default
// "karnwick: waiting for another karnwick command to finish in DIR" on stderr.
void setLockWaitNote(std::function<void(const std::filesystem::path& folder)> note);

}  // namespace karnwick
