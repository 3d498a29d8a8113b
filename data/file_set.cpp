// The file set: written into its folder in place, or as a new folder.
#include "data/file_set.h"

#include <cerrno>
#include <utility>

#include "data/errors.h"
#include "data/platform.h"
#include "data/set_recovery.h"
#include "data/stale_files.h"
#include "data/system_calls.h"
#include "data/temporary_registry.h"
#include "data/write_checks.h"
#include "data/writer_calls.h"

namespace karnwick {

namespace fs = std::filesystem;
using namespace writer;
using platform::pathFromText;
using platform::pathText;

void checkSetWritable(const fs::path& folder, std::span<const fs::path> names, Existing existing) {
    sys::Status status;
    if (sys::statusAt(folder, status, true) == 0) {
        if (status.kind != sys::Kind::Folder)
            throw GameError(ErrorKind::FileWrite, pathText(folder), "(it is not a folder)");
        for (const fs::path& name : names) checkTarget(folder / name, existing);
        checkFolder(folder, pathText(folder));
        return;
    }
    // A folder still to be made: its nearest existing parent must take it.
    fs::path parent = folder.parent_path();
    while (!parent.empty() && sys::statusAt(parent, status, true) != 0 && errno == ENOENT)
        parent = parent.parent_path();
    if (parent.empty()) parent = ".";
    checkFolder(parent, pathText(folder));
}

namespace {

// "out/" names the folder "out".
fs::path setFolder(fs::path folder) {
    folder = folder.lexically_normal();
    if (folder.empty()) return ".";
    if (!folder.has_filename() && folder.has_parent_path()) folder = folder.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

}  // namespace

FileSet::FileSet(fs::path folder, Existing existing, SetCommit how)
    : m_folder(setFolder(std::move(folder))), m_existing(existing), m_buildSlot(kUntracked) {
    sys::Status status;
    if (sys::statusAt(m_folder, status, true) == 0) {
        if (status.kind != sys::Kind::Folder)
            throw GameError(ErrorKind::FileWrite, pathText(m_folder),
                            "(" + pathText(m_folder) + " is not a folder)");
        checkFolder(m_folder, pathText(m_folder));
        if (how == SetCommit::InPlace) {
            m_lock = std::make_unique<FolderLock>(m_folder, FolderAccess::Write);
            removeStaleTemporaries(m_folder);
            m_writeFolder = m_folder;
            return;
        }
        try {
            startWholeFolder(status.volume);
        } catch (...) {
            discard();
            throw;
        }
        return;
    }
    if (errno != ENOENT && errno != ENOTDIR)
        throw GameError(ErrorKind::FileWrite, pathText(m_folder), reason(errno));
    const fs::path parent = folderOf(m_folder);
    m_build = Build::NewFolder;
    try {
        makeParents(parent);
        checkFolder(parent, pathText(m_folder));
        removeStaleTemporariesIfIdle(parent);
        makeBuildFolder(parent / ('.' + m_folder.filename().string()));
    } catch (...) {
        discard();
        throw;
    }
}

// The hidden folder "<stem>.karnwick-XXXXXX" the set is built in, locked
// while it is built so no other command takes it for the leftover of a
// killed one. Until it is locked another command may do just that; it is
// then made again under another name.
void FileSet::makeBuildFolder(const fs::path& stem) {
    for (int attempt = 0;; ++attempt) {
        const std::string name = pathText(stem) + std::string(kTemporaryTag) + randomSuffix();
        m_buildSlot = track(name, true);
        int error = 0;
        if (writerCalls().mkdir(name.c_str(), 0777) != 0) {
            error = errno;
        } else {
            m_writeFolder = pathFromText(name);
            m_buildFd = sys::openAt(m_writeFolder, sys::Open::HeldFolder);
            sys::Status open, named;
            if (m_buildFd >= 0 && sys::tryLock(m_buildFd) == 0 &&
                sys::statusOf(m_buildFd, open) == 0 &&
                sys::statusAt(m_writeFolder, named, false) == 0 && open.index == named.index &&
                open.volume == named.volume)
                return;
            if (m_buildFd >= 0) sys::closeFile(m_buildFd);
            m_buildFd = -1;
            sys::removeFolder(m_writeFolder);
            m_writeFolder.clear();
            error = attempt < 100 ? EEXIST : EAGAIN;  // taken away meanwhile: another name
        }
        untrack(m_buildSlot);
        if (error != EEXIST || attempt == 100)
            throw GameError(ErrorKind::FileWrite, pathText(m_folder),
                            reason("cannot create the folder " + pathText(m_folder), error));
    }
}

void FileSet::makeParents(const fs::path& parent) {
    fs::path prefix;
    for (const fs::path& part : parent) {
        prefix /= part;
        if (writerCalls().mkdir(pathText(prefix).c_str(), 0777) == 0) {
            m_createdFolders.emplace_back(pathText(prefix), track(pathText(prefix), true));
            continue;
        }
        const int error = errno;
        sys::Status status;
        if (sys::statusAt(prefix, status, true) == 0 && status.kind == sys::Kind::Folder) continue;
        if (error == EEXIST)
            throw GameError(ErrorKind::FileWrite, pathText(m_folder),
                            "(" + pathText(prefix) + " is not a folder)");
        throw GameError(ErrorKind::FileWrite, pathText(m_folder),
                        reason("cannot create the folder " + pathText(prefix), error));
    }
}

FileSet::~FileSet() {
    if (!m_committed) discard();
}

void FileSet::discard() noexcept {
    for (const std::string& carried : m_carried) sys::removeFile(pathFromText(carried));
    m_carried.clear();
    for (Placed& file : m_files) {
        if (!file.temporary.empty()) sys::removeFile(pathFromText(file.temporary));
        untrack(file.slot);
    }
    m_files.clear();
    if (m_buildFd >= 0) sys::closeFile(m_buildFd);
    m_buildFd = -1;
    if (m_buildSlot != kUntracked) {
        sys::removeFolder(m_writeFolder);
        untrack(m_buildSlot);
    }
    for (auto it = m_createdFolders.rbegin(); it != m_createdFolders.rend(); ++it) {
        sys::removeFolder(pathFromText(it->first));
        untrack(it->second);
    }
    m_createdFolders.clear();
}

void FileSet::add(const fs::path& name, std::span<const unsigned char> bytes) {
    try {
        AtomicFile file(m_writeFolder / name, m_existing, false);
        file.write(bytes);
        file.finishTemporary();
        // The set owns the temporary file from here on; the folder lock (or
        // the hidden folder's) keeps it from other commands, so its own lock
        // goes and a set of thousands of files needs no descriptor each.
        m_files.push_back({name, pathText(file.m_temporary), file.m_slot, file.m_inode, 0, {}});
        file.m_slot = kUntracked;
        file.m_temporary.clear();
        file.m_committed = true;
        file.releaseLock();
    } catch (...) {
        discard();
        throw;
    }
}

void FileSet::add(const fs::path& name, std::string_view text) {
    add(name, {reinterpret_cast<const unsigned char*>(text.data()), text.size()});
}

void FileSet::commit() {
    if (m_build == Build::Beside || m_build == Build::Inside) {
        // Waited for before the signals are held back: a command that waits
        // can still be stopped.
        m_lock = std::make_unique<FolderLock>(m_folder, FolderAccess::Write);
    }
    const HeldBackSignals heldBack;
    switch (m_build) {
        case Build::InFolder:
            return commitIntoFolder();
        case Build::NewFolder:
            return commitNewFolder();
        case Build::Beside:
        case Build::Inside:
            return commitBuilt();
    }
}

void FileSet::writeCommitNote() {
    std::vector<NoteEntry> entries;
    for (const Placed& file : m_files) {
        entries.push_back(
            {file.newInode, file.oldInode, pathText(file.name),
             pathFromText(file.temporary).filename().string(),
             file.backup.empty() ? std::string() : pathFromText(file.backup).filename().string()});
    }
    const fs::path noteFile = m_folder / kCommitNoteName;
    AtomicFile out(noteFile, Existing::Replace, false);
    out.write(commitNoteText(entries));
    out.finishTemporary();
    if (writerCalls().rename(pathText(out.m_temporary).c_str(), pathText(noteFile).c_str()) != 0) {
        const int error = errno;
        throw GameError(ErrorKind::FileWrite, pathText(m_folder / m_files.front().name),
                        reason("cannot write the commit note", error));
    }
    untrack(out.m_slot);
    out.m_temporary.clear();
    out.m_committed = true;
    out.releaseLock();
}

bool FileSet::rollBack(std::size_t placed) noexcept {
    bool whole = true;
    for (std::size_t i = 0; i < placed; ++i) {
        const Placed& file = m_files[i];
        const fs::path target = m_folder / file.name;
        if (!file.backup.empty())
            whole = sys::rename(pathFromText(file.backup), target) == 0 && whole;
        else
            whole = sys::removeFile(target) == 0 && whole;
    }
    return whole;
}

void FileSet::removeBackups() noexcept {
    for (Placed& file : m_files) {
        if (!file.backup.empty()) sys::removeFile(pathFromText(file.backup));
        file.backup.clear();
    }
}

void FileSet::commitIntoFolder() {
    if (m_files.empty()) {
        m_committed = true;
        return;
    }
    const fs::path noteFile = m_folder / kCommitNoteName;
    auto undo = [&](const std::string& target, const std::string& detail) {
        removeBackups();
        sys::removeFile(noteFile);
        discard();
        return GameError(ErrorKind::FileWrite, target, detail);
    };
    for (Placed& file : m_files) {
        file.oldInode = inodeAt(m_folder / file.name);
        if (file.oldInode != 0) file.backup = file.temporary + "-old";
    }
    try {
        writeCommitNote();
    } catch (...) {
        removeBackups();
        discard();
        throw;
    }
    // A second link to every file about to be replaced (a link stays a
    // link), so the old set can be put back until the whole new one is in.
    for (Placed& file : m_files) {
        if (file.backup.empty()) continue;
        const fs::path target = m_folder / file.name;
        if (writerCalls().link(pathText(target).c_str(), file.backup.c_str()) != 0) {
            const int error = errno;
            file.backup.clear();
            throw undo(pathText(target), reason("cannot keep the old file", error));
        }
    }
    if (const int error = syncFolder(m_folder))
        throw undo(pathText(m_folder), reason("cannot sync the folder", error));
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        Placed& file = m_files[i];
        const fs::path target = m_folder / file.name;
        if (writerCalls().rename(file.temporary.c_str(), pathText(target).c_str()) != 0) {
            const int error = errno;
            if (rollBack(i)) throw undo(pathText(target), reason(error));
            // The note stays: the next command to open the folder finishes
            // or undoes the set.
            throw GameError(ErrorKind::FileWrite, pathText(target),
                            reason(error) + " (and the old files could not all be put back)");
        }
        file.temporary.clear();
        untrack(file.slot);
    }
    m_committed = true;
    const int error = syncFolder(m_folder);
    removeBackups();
    sys::removeFile(noteFile);
    if (error)
        throw GameError(ErrorKind::FileWrite, pathText(m_folder),
                        reason("written, but the folder could not be synced", error));
}

// Inside the hidden folder nobody reads: each file gets its own name.
void FileSet::nameBuiltFiles() {
    for (Placed& file : m_files) {
        const fs::path named = m_writeFolder / file.name;
        if (writerCalls().rename(file.temporary.c_str(), pathText(named).c_str()) != 0) {
            const int error = errno;
            const std::string target = pathText(m_folder / file.name);
            discard();
            throw GameError(ErrorKind::FileWrite, target, reason(error));
        }
        untrack(file.slot);
        file.temporary = pathText(named);
        file.slot = track(file.temporary);
    }
}

void FileSet::commitNewFolder() {
    nameBuiltFiles();
    int error = syncFolder(m_writeFolder);
    if (!error && writerCalls().renameNoReplace(pathText(m_writeFolder).c_str(),
                                                pathText(m_folder).c_str()) != 0)
        error = errno;
    if (error) {
        discard();
        throw GameError(ErrorKind::FileWrite, pathText(m_folder),
                        error == EEXIST || error == ENOTEMPTY
                            ? std::string("(it was made by someone else meanwhile)")
                            : reason(error));
    }
    m_committed = true;
    for (Placed& file : m_files) untrack(file.slot);
    untrack(m_buildSlot);
    for (auto& created : m_createdFolders) untrack(created.second);
    sys::closeFile(m_buildFd);
    m_buildFd = -1;
    error = syncFolder(folderOf(m_folder));
    // A new parent's own entry lives in its parent.
    if (!error && !m_createdFolders.empty())
        error = syncFolder(folderOf(pathFromText(m_createdFolders.front().first)));
    if (error)
        throw GameError(ErrorKind::FileWrite, pathText(m_folder),
                        reason("written, but the folder could not be synced", error));
}

void writeFileSet(const fs::path& folder, std::span<const SetFile> files, Existing existing) {
    std::vector<fs::path> names;
    for (const SetFile& file : files) names.push_back(file.name);
    checkSetWritable(folder, names, existing);
    FileSet set(folder, existing);
    for (const SetFile& file : files) set.add(file.name, file.bytes);
    set.commit();
}

}  // namespace karnwick
