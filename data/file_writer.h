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
//    the one exception is the null device (/dev/null, NUL), written straight;
//  - a replaced file keeps its permission bits (on Windows, whether it is
//    read-only), and its owner and group when the writer may give them (root
//    editing another user's game files);
//  - a failure at any step removes the temporary file, leaves the old file as
//    it was, and throws a GameError naming the file and the reason.
//
// Temporary files are named ".<target>.karnwick-XXXXXX". A writer holds a
// lock on its temporary file (flock; LockFileEx on Windows) from its creation
// until after the rename, so no other command takes it for a leftover;
// SIGINT, SIGTERM and SIGHUP (Ctrl+C and a closed console on Windows) remove
// every temporary file (and every folder a file set created) before the
// program ends (temporary_registry.h). A temporary file left by a program
// that was killed outright (kill -9, a power cut) carries no lock any more:
// the next write into the same folder, once no command holds the folder (see
// folder_lock.h), removes it (stale_files.h). Files that must change
// together are written as a set (file_set.h).

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

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

}  // namespace karnwick
