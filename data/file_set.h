#pragma once
// Files that belong together (the demo set, every picture of `export all`),
// all in one folder, written whole or not at all, even when the program is
// killed or the power fails at any moment. Each file is written whole to its
// temporary file as it is added, so only one file's bytes are ever in memory.
//
// Into a folder that exists, under its folder lock (folder_lock.h):
//  1. every new file is written to its temporary file and fsync'ed;
//  2. a commit note (".karnwick-commit") naming, for every file, its target,
//     its temporary file and the kept link to the old file is written whole
//     and fsync'ed, with the folder (set_recovery.h);
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
// While a set commits, on any thread, SIGINT, SIGTERM and SIGHUP wait
// (whichever thread they land on) and end the program once the set is whole.
// Without commit() (a failure, an exception from the caller), every
// temporary file and every folder the set created is removed again.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "data/file_writer.h"
#include "data/folder_lock.h"

namespace karnwick {

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
    // For WholeFolder into the existing folder on `device`: where to build.
    void startWholeFolder(std::uint64_t device);
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

}  // namespace karnwick
