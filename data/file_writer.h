#pragma once
// The one way the project writes a file: game files, images, CSV and JSON
// outputs, the demo set. The target ends up as the old file or the whole new
// one, never a mix, an empty or a cut-off file:
//  - the bytes go to a temporary file beside the target (same folder, so the
//    rename cannot cross file systems), every write and the close checked;
//  - the temporary file is fsync'ed, renamed over the target, and the folder
//    fsync'ed so the rename itself survives a power cut;
//  - only a regular file, or nothing, is ever replaced: a device, FIFO,
//    socket or folder at the target is refused as "not a regular file"; a
//    link at the target is replaced by the new file (never written through);
//    the one exception is the null device (/dev/null), written straight;
//  - a replaced file keeps its permission bits, and its owner and group when
//    the writer may give them (root editing another user's game files);
//  - a failure at any step removes the temporary file, leaves the old file as
//    it was, and throws a GameError naming the file and the reason.
//
// Temporary files are named ".<target>.karnwick-XXXXXX". A writer holds an
// flock on its temporary file from its creation until after the rename, so no
// other command takes it for a leftover; SIGINT, SIGTERM and SIGHUP remove
// every temporary file (and every folder a file set created) before the
// program ends. While a set commits, on any thread, those signals wait
// (whichever thread they land on) and end the program once the set is whole. A temporary file left
// by a program that was killed outright (kill -9, a power cut) carries no lock any more: the next
// write into the same folder, once no command holds the folder (see folder_lock.h), removes it.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/types.h>

#include "data/folder_lock.h"

namespace karnwick {

// Whether a file already at the target may be replaced. Game edits replace
// the files they change, but, as rm asks first, not a write-protected one
// (no write permission for the user; for root, whom permissions do not stop,
// no write bit at all) unless `--force` says so.
enum class Existing { Refuse, Replace, ReplaceUnprotected };

class AtomicFile {
  public:
    // Checks the target and opens the temporary file beside it. Throws when
    // the target may not or cannot be replaced, or the folder cannot be
    // written.
    AtomicFile(std::filesystem::path target, Existing existing);
    // Without commit(), the temporary file is removed and the target stays.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(std::span<const unsigned char> bytes);
    void write(std::string_view text);

    // Copies all of the open file `source` into this one at the same offsets,
    // skipping its holes, so a large sparse monster.dat stays sparse and costs
    // only the bytes it really holds. This file ends as long as `source`.
    // Returns the bytes copied. Neither this nor writeAt moves the position
    // write() appends at.
    std::int64_t copySparse(int source);

    // Writes `bytes` at `offset`, growing the file when the offset lies past
    // its end. A write that makes no progress is an error, never a retry.
    void writeAt(std::int64_t offset, std::span<const unsigned char> bytes);

    // fsync, close, rename into place, fsync the folder.
    void commit();

    const std::filesystem::path& target() const noexcept { return m_target; }
    const std::filesystem::path& temporary() const noexcept { return m_temporary; }

  private:
    friend class FileSet;
    // `cleanFolder`: first remove temporary files left in the folder by
    // writers that were killed (a set does that once for all its files).
    AtomicFile(std::filesystem::path target, Existing existing, bool cleanFolder);
    // Writes the whole temporary file but leaves the rename to the caller;
    // the temporary file stays locked until releaseLock().
    void finishTemporary();
    void releaseLock() noexcept;
    [[noreturn]] void fail(const std::string& what, int error);
    void discard() noexcept;

    std::filesystem::path m_target;
    std::filesystem::path m_temporary;
    std::size_t m_slot;  // in the signal handler's list of live temporary files
    int m_fd = -1;
    int m_lockFd = -1;  // keeps the temporary file's lock from close to rename
    std::uint64_t m_inode = 0;
    bool m_committed = false;
    bool m_nullDevice = false;  // the target is /dev/null: no temporary file
};

// The whole file in one call.
void writeFileAtomically(const std::filesystem::path& target, std::span<const unsigned char> bytes,
                         Existing existing);
void writeFileAtomically(const std::filesystem::path& target, std::string_view text,
                         Existing existing);

// Throws what AtomicFile would throw for `target` before any byte is written:
// a folder that is missing or cannot be written, a target that is not a
// regular file, or one that exists under Existing::Refuse. For checking an
// output before long work starts.
void checkWritable(const std::filesystem::path& target, Existing existing);

// Files that belong together (the demo set, every picture of `export all`),
// all in one folder, written whole or not at all, even when the program is
// killed or the power fails at any moment. Each file is written whole to its
// temporary file as it is added, so only one file's bytes are ever in memory.
//
// Into a folder that exists, under its folder lock (folder_lock.h):
//  1. every new file is written to its temporary file and fsync'ed;
//  2. a commit note (".karnwick-commit") naming, for every file, its target,
//     its temporary file and the kept link to the old file is written whole
//     and fsync'ed, with the folder;
//  3. a second link to every file about to be replaced is kept
//     (".<target>.karnwick-XXXXXX-old"), and the folder fsync'ed;
//  4. the temporary files are renamed over their targets, one by one;
//  5. the folder is fsync'ed, the kept links removed, then the note.
// A command that finds the note (any reader or writer, on taking the
// folder's lock) finishes the set when every new file is in place or still
// in its temporary file, and otherwise puts the kept old files back: the
// folder then holds the whole old set or the whole new one. The only copy of
// an old file is never removed before the whole new set is in place.
//
// Into a folder that does not exist yet: its missing parents are made, the
// set is built in a hidden folder beside it (".<folder>.karnwick-XXXXXX",
// locked while it is built) and that is renamed into place whole, never over
// a folder that appeared meanwhile.
//
// Into a folder that exists, as SetCommit::WholeFolder (the pictures of
// `export all`, which an image viewer may be showing): the set is built in
// such a hidden folder beside it without the folder's lock; commit() then
// takes the lock, hard-links every other entry of the folder into the new
// one (the user's own files stay), gives it the folder's permissions (and
// owner, for root), and swaps the two in one step (renameat2 with
// RENAME_EXCHANGE). The old folder is then emptied and removed; an entry
// that came into it meanwhile is moved over. Anyone sees the whole old
// folder or the whole new one, and nothing is left to finish: a stop at any
// moment leaves only a hidden folder beside it, which the next writer there
// removes. A folder that cannot be swapped that way (it holds a subfolder or
// a file that cannot be linked, its parent cannot be written or is another
// file system, it is named "." or is a link, the file system cannot exchange
// two folders) takes the set in place as above, under its lock, from files
// built in a hidden folder beside it (or inside it, without a parent to
// write in).
//
// Without commit() (a failure, an exception from the caller), every
// temporary file and every folder the set created is removed again.
enum class SetCommit { InPlace, WholeFolder };

class FileSet {
  public:
    // Creates the missing parents of `folder` now, and takes the folder's
    // lock (for WholeFolder only in commit(), so a command may still hold
    // the lock of a folder it reads until then). Throws when a file is in
    // the way or a folder cannot be created.
    FileSet(std::filesystem::path folder, Existing existing, SetCommit how = SetCommit::InPlace);
    ~FileSet();
    FileSet(const FileSet&) = delete;
    FileSet& operator=(const FileSet&) = delete;

    // `name` is a file name inside the folder.
    void add(const std::filesystem::path& name, std::span<const unsigned char> bytes);
    void add(const std::filesystem::path& name, std::string_view text);

    // For WholeFolder, first waits for the folder's lock: a caller holding
    // the lock of a folder it read gives that up before, or two commands
    // each writing into the folder the other reads would wait for each other.
    void commit();

    const std::filesystem::path& folder() const noexcept { return m_folder; }

  private:
    struct Placed {
        std::filesystem::path name;  // inside the folder
        std::string temporary;       // where its bytes are until the commit
        std::size_t slot;            // of `temporary` in the signal handler's list
        std::uint64_t newInode = 0;
        std::uint64_t oldInode = 0;  // of the file it replaces; 0 for none
        std::string backup;          // the kept second link to the old file
    };
    // Where the files are built until the commit.
    enum class Build { InFolder, NewFolder, Beside, Inside };
    void makeParents(const std::filesystem::path& parent);
    void makeBuildFolder(const std::filesystem::path& stem);
    void nameBuiltFiles();
    void commitIntoFolder();
    void commitNewFolder();
    void commitBuilt();
    bool carryOtherFiles();
    void swapIn();
    void removeSwappedOut(const std::filesystem::path& old) noexcept;
    void moveBuiltIntoFolder();
    void writeCommitNote();
    bool rollBack(std::size_t placed) noexcept;
    void removeBackups() noexcept;
    void discard() noexcept;

    std::filesystem::path m_folder;
    std::filesystem::path m_writeFolder;  // m_folder, or its hidden stand-in
    Existing m_existing;
    Build m_build = Build::InFolder;
    std::unique_ptr<FolderLock> m_lock;
    std::vector<std::string> m_carried;  // the folder's other entries, linked into the new one
    std::vector<std::uint64_t> m_carriedInodes;
    int m_buildFd = -1;  // holds the lock of the hidden folder being built
    std::size_t m_buildSlot;
    std::vector<std::pair<std::string, std::size_t>> m_createdFolders;  // parents first
    std::vector<Placed> m_files;
    bool m_committed = false;
};

// One file of a set: its name inside the set's folder and its bytes.
struct SetFile {
    std::filesystem::path name;
    std::string_view bytes;
};

void writeFileSet(const std::filesystem::path& folder, std::span<const SetFile> files,
                  Existing existing);

// Throws what FileSet would throw for these names before any work starts: a
// folder that cannot be created or written, a name that is not a regular
// file or exists under Existing::Refuse.
void checkSetWritable(const std::filesystem::path& folder,
                      std::span<const std::filesystem::path> names, Existing existing);

// The system calls the writer makes, replaceable by a test to make any one
// of them fail. Production code never changes them.
struct WriterCalls {
    ssize_t (*write)(int fd, const void* bytes, std::size_t count);
    int (*fsync)(int fd);
    int (*close)(int fd);
    int (*rename)(const char* from, const char* to);
    int (*link)(const char* from, const char* to);
    int (*mkdir)(const char* path, mode_t mode);
    ssize_t (*pwrite)(int fd, const void* bytes, std::size_t count, off_t offset);
    ssize_t (*copyFileRange)(int from, off_t* fromOffset, int to, off_t* toOffset,
                             std::size_t count, unsigned flags);
    // rename that fails with EEXIST rather than replace what is at `to`.
    int (*renameNoReplace)(const char* from, const char* to);
    // Swaps the two entries in one step (renameat2 with RENAME_EXCHANGE).
    int (*exchange)(const char* a, const char* b);
};
WriterCalls& writerCalls();

// Whether `folder` holds the commit note of a set whose commit was
// interrupted (or is going on now, under the folder's lock).
bool hasInterruptedSet(const std::filesystem::path& folder);

// Finishes or undoes that set (see FileSet); the caller holds the folder's
// lock exclusively. Throws a GameError when the folder cannot be written, or
// when neither the whole old nor the whole new set can be had (the note is
// then left, naming what is missing).
void finishInterruptedSet(const std::filesystem::path& folder);

}  // namespace karnwick
