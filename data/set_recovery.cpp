// The commit note of a file set, and the recovery of a set left half done.
#include "data/set_recovery.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "data/errors.h"
#include "data/folder_lock.h"
#include "data/platform.h"
#include "data/stale_files.h"
#include "data/system_calls.h"
#include "data/write_checks.h"
#include "data/writer_calls.h"

namespace karnwick {

namespace fs = std::filesystem;
using writer::inodeAt;
using writer::kCommitNoteName;
using writer::NoteEntry;
using writer::reason;

// The note: a header line, then one line per file,
//   <new inode> <old inode or 0> <length>:<target><length>:<temporary><length>:<backup>
// with every name relative to the folder, so any bytes a name holds survive.

namespace {

constexpr std::string_view kNoteHeader = "karnwick set commit\n";

// Installed before main runs, so the very first lock of a folder settles it.
[[maybe_unused]] const bool g_settlerInstalled =
    (setFolderSettler({hasInterruptedSet, finishInterruptedSet}), true);

void appendName(std::string& note, const std::string& name) {
    note += std::to_string(name.size());
    note += ':';
    note += name;
}

// A name of an entry of the folder itself: no path, no "." or "..".
bool isPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

std::optional<std::vector<NoteEntry>> parseNote(std::string_view note) {
    if (!note.starts_with(kNoteHeader)) return std::nullopt;
    note.remove_prefix(kNoteHeader.size());
    auto number = [&](char end) -> std::optional<std::uint64_t> {
        const std::size_t stop = note.find(end);
        if (stop == 0 || stop == std::string_view::npos || stop > 20) return std::nullopt;
        std::uint64_t value = 0;
        for (const char c : note.substr(0, stop)) {
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + static_cast<std::uint64_t>(c - '0');
        }
        note.remove_prefix(stop + 1);
        return value;
    };
    auto name = [&]() -> std::optional<std::string> {
        const auto length = number(':');
        if (!length || *length > note.size()) return std::nullopt;
        std::string text(note.substr(0, *length));
        note.remove_prefix(*length);
        return text;
    };
    std::vector<NoteEntry> entries;
    while (!note.empty()) {
        NoteEntry entry;
        const auto newInode = number(' '), oldInode = number(' ');
        if (!newInode || !oldInode) return std::nullopt;
        entry.newInode = *newInode;
        entry.oldInode = *oldInode;
        auto target = name(), temporary = name(), backup = name();
        // A folder from anyone may carry a note: it names files of this
        // folder only, and the writer's own names for the kept ones, or it
        // is no note of ours.
        auto writers = [](const std::string& kept) {
            return isPlainName(kept) && writer::isTemporaryName(kept);
        };
        if (!target || !temporary || !backup || !isPlainName(*target) || !writers(*temporary) ||
            (!backup->empty() && !writers(*backup)) || !note.starts_with('\n'))
            return std::nullopt;
        note.remove_prefix(1);
        entry.target = std::move(*target);
        entry.temporary = std::move(*temporary);
        entry.backup = std::move(*backup);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::string readNote(const fs::path& file) {
    const int fd = sys::openAt(file, sys::Open::Read);
    if (fd < 0) throw GameError(ErrorKind::FileAccess, platform::pathText(file), reason(errno));
    std::string text;
    char buffer[4096];
    for (;;) {
        const std::int64_t n = sys::readSome(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            sys::closeFile(fd);
            throw GameError(ErrorKind::FileAccess, platform::pathText(file), reason(error));
        }
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    sys::closeFile(fd);
    return text;
}

// Forward when every new file is in place or whole in its temporary file
// (each was fsync'ed before the note was written); otherwise back.
bool canGoForward(const fs::path& folder, const std::vector<NoteEntry>& entries) {
    bool forward = true;
    for (const NoteEntry& e : entries) {
        const bool placed = inodeAt(folder / platform::pathFromText(e.target)) == e.newInode;
        const bool waiting = inodeAt(folder / platform::pathFromText(e.temporary)) == e.newInode;
        forward = forward && (placed || waiting);
    }
    return forward;
}

int renameEntry(const fs::path& from, const fs::path& to) {
    return writerCalls().rename(platform::pathText(from).c_str(), platform::pathText(to).c_str());
}

// Puts every file of the set forward or back; returns the names of those
// that could be had neither way (each after a space).
std::string settleFiles(const fs::path& folder, const std::vector<NoteEntry>& entries,
                        bool forward) {
    std::string missing;
    for (const NoteEntry& e : entries) {
        const fs::path target = folder / platform::pathFromText(e.target);
        const fs::path temporary = folder / platform::pathFromText(e.temporary);
        const bool placed = inodeAt(target) == e.newInode;
        if (forward) {
            if (!placed && renameEntry(temporary, target) != 0) missing += " " + e.target;
        } else if (placed) {
            const fs::path backup = folder / platform::pathFromText(e.backup);
            if (e.oldInode == 0)
                sys::removeFile(target);
            else if (!e.backup.empty() && inodeAt(backup) == e.oldInode)
                renameEntry(backup, target);
            if (inodeAt(target) != e.oldInode) missing += " " + e.target;
        } else {
            sys::removeFile(temporary);
        }
    }
    return missing;
}

}  // namespace

std::string writer::commitNoteText(std::span<const NoteEntry> entries) {
    std::string note(kNoteHeader);
    for (const NoteEntry& entry : entries) {
        note += std::to_string(entry.newInode) + ' ' + std::to_string(entry.oldInode) + ' ';
        appendName(note, entry.target);
        appendName(note, entry.temporary);
        appendName(note, entry.backup);
        note += '\n';
    }
    return note;
}

bool hasInterruptedSet(const fs::path& folder) {
    sys::Status status;
    return sys::statusAt(folder / kCommitNoteName, status, false) == 0;
}

void finishInterruptedSet(const fs::path& folder) {
    const fs::path noteFile = folder / kCommitNoteName;
    if (sys::mayWriteIn(folder) != 0) {
        throw GameError(ErrorKind::FileAccess, platform::pathText(folder),
                        "(a karnwick command that stopped left a set of game files half "
                        "replaced there, and the folder cannot be written to finish it: " +
                            std::string(std::strerror(errno)) + ")");
    }
    const auto entries = parseNote(readNote(noteFile));
    if (!entries)
        throw GameError(ErrorKind::FileAccess, platform::pathText(noteFile),
                        "(not a commit note karnwick wrote: move it away to read the folder)");
    const bool forward = canGoForward(folder, *entries);
    if (const std::string missing = settleFiles(folder, *entries, forward); !missing.empty()) {
        throw GameError(ErrorKind::FileAccess, platform::pathText(folder),
                        "(a set of game files there was left half replaced, and neither the "
                        "old nor the new version can be put back for:" +
                            missing + ")");
    }
    // The old files are now either replaced for good or back in place: only
    // once that lasts do their kept links go, and the note last of all.
    if (const int error = syncFolder(folder))
        throw GameError(ErrorKind::FileAccess, platform::pathText(folder),
                        reason("cannot sync the folder", error));
    for (const NoteEntry& e : *entries) {
        if (e.backup.empty()) continue;
        const fs::path backup = folder / platform::pathFromText(e.backup);
        if (forward || inodeAt(folder / platform::pathFromText(e.target)) == e.oldInode)
            sys::removeFile(backup);
    }
    if (sys::removeFile(noteFile) != 0 && errno != ENOENT)
        throw GameError(ErrorKind::FileWrite, platform::pathText(noteFile), reason(errno));
    // A note that comes back after a power cut is only settled once more.
    (void)syncFolder(folder);
}

void settleGameFolder(const fs::path& given) {
    const fs::path folder = given.empty() ? fs::path(".") : given;
    if (!hasInterruptedSet(folder)) return;
    // A commit of this very process (a reader inside a writer) is not
    // interrupted; any other is finished by taking the lock.
    if (FolderLock::isHeldHere(folder)) return;
    const FolderLock lock(folder, FolderAccess::Read);
}

}  // namespace karnwick
