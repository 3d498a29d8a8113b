#pragma once
// The system calls the writer makes that a test may make fail, and the one
// way the project makes a folder's entries survive a power cut (syncFolder).

#include <sys/types.h>

#include <cstddef>
#include <filesystem>

namespace karnwick {

// Replaceable by a test to make any one of them fail; production code never
// changes them.
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

// fsyncs the open folder `fd`, or the folder at `folder`, so the entries
// made or renamed in it last. Returns 0 or the errno of the failure; a file
// system that cannot sync a folder at all is no failure.
[[nodiscard]] int syncFolder(int fd);
[[nodiscard]] int syncFolder(const std::filesystem::path& folder);

}  // namespace karnwick
