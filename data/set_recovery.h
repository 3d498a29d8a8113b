#pragma once
// The commit note a file set writes before it changes its folder, and the
// recovery that reads it: a set whose commit a killed command left half done
// is finished when every new file is there to be had, and undone otherwise
// (see FileSet in file_set.h). Every lock of a folder (folder_lock.h) and
// every read of a game file first settles such a set.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace karnwick {

// Whether `folder` holds the commit note of a set whose commit was
// interrupted (or is going on now, under the folder's lock).
bool hasInterruptedSet(const std::filesystem::path& folder);

// Finishes or undoes that set (see FileSet); the caller holds the folder's
// lock exclusively. Throws a GameError when the folder cannot be written, or
// when neither the whole old nor the whole new set can be had (the note is
// then left, naming what is missing).
void finishInterruptedSet(const std::filesystem::path& folder);

// What a reader calls before it opens a game file of `folder`: finishes a
// set commit left behind by a command that was killed, so the files read are
// the whole old set or the whole new one. Costs one system call when there
// is nothing to finish. A folder that holds such a commit but cannot be
// written is reported (GameError), never read as a mix.
void settleGameFolder(const std::filesystem::path& folder);

namespace writer {

inline constexpr const char* kCommitNoteName = ".karnwick-commit";

// One file of a set as its note names it, every name relative to the folder.
struct NoteEntry {
    std::uint64_t newInode = 0;
    std::uint64_t oldInode = 0;  // 0: no file was there
    std::string target, temporary, backup;
};

// The whole note for these files.
std::string commitNoteText(std::span<const NoteEntry> entries);

}  // namespace writer

}  // namespace karnwick
