// The file set's whole-folder commit: a new folder built beside the old one
// and swapped in, with the user's other files carried over.
#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "data/errors.h"
#include "data/file_set.h"
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

namespace {

// Entries the writer itself keeps in a folder, never the user's.
bool isWriterName(std::string_view name) {
    return isTemporaryName(name) || name == kCommitNoteName || name == kFolderGateName;
}

// Whether `folder` (on `device`) can be swapped for a new folder built
// beside it: a folder of its own at that name, in a parent on the same file
// system that may be written.
bool canSwapFolder(const fs::path& folder, std::uint64_t device) {
    sys::Status named, parent;
    const fs::path name = folder.filename();
    return name != "." && name != ".." && sys::statusAt(folder, named, false) == 0 &&
           named.kind == sys::Kind::Folder && sys::statusAt(folderOf(folder), parent, true) == 0 &&
           parent.volume == device && sys::mayWriteIn(folderOf(folder)) == 0;
}

}  // namespace

void FileSet::startWholeFolder(std::uint64_t device) {
    const fs::path parent = folderOf(m_folder);
    m_build = canSwapFolder(m_folder, device) ? Build::Beside : Build::Inside;
    if (m_build == Build::Beside) {
        removeStaleTemporariesIfIdle(parent);
        makeBuildFolder(parent / ('.' + m_folder.filename().string()));
    } else {
        makeBuildFolder(m_folder / ".set");
    }
}

void FileSet::commitBuilt() {
    try {
        // What the folder holds now decides, not what it held at the start.
        for (const Placed& file : m_files) checkTarget(m_folder / file.name, m_existing);
        removeStaleTemporaries(m_folder);
        if (m_build == Build::Beside && carryOtherFiles()) return swapIn();
    } catch (...) {
        discard();
        throw;
    }
    moveBuiltIntoFolder();
    commitIntoFolder();
}

// Links every entry of the folder but the set's own files into the new
// folder; false (and nothing linked) when one cannot be carried so.
bool FileSet::carryOtherFiles() {
    const int dirFd = sys::openAt(m_folder, sys::Open::Folder);
    if (dirFd < 0) return false;
    std::vector<std::string> names;
    for (const Placed& file : m_files) names.push_back(pathText(file.name));
    std::vector<std::string> entries;
    bool whole = sys::listFolder(dirFd, entries) == 0;
    for (const std::string& name : entries) {
        if (!whole) break;
        if (isWriterName(name) || std::find(names.begin(), names.end(), name) != names.end())
            continue;
        sys::Status status;
        const fs::path from = m_folder / pathFromText(name),
                       to = m_writeFolder / pathFromText(name);
        if (sys::statusIn(dirFd, name, status) != 0 || status.kind == sys::Kind::Folder ||
            writerCalls().link(pathText(from).c_str(), pathText(to).c_str()) != 0) {
            whole = false;
            break;
        }
        m_carried.push_back(pathText(to));
        m_carriedInodes.push_back(status.index);
    }
    sys::closeFile(dirFd);
    if (!whole) {
        for (const std::string& carried : m_carried) sys::removeFile(pathFromText(carried));
        m_carried.clear();
        m_carriedInodes.clear();
    }
    return whole;
}

void FileSet::swapIn() {
    nameBuiltFiles();
    auto fail = [&](const std::string& what, int error) {
        discard();
        throw GameError(ErrorKind::FileWrite, pathText(m_folder), reason(what, error));
    };
    sys::Status old;
    if (sys::statusAt(m_folder, old, true) != 0) fail("cannot read the folder", errno);
    // The new folder is the old one to everyone else: its owner (which only
    // root may give) and its permissions.
    if (sys::isSuperUser() && sys::giveOwner(m_buildFd, old) != 0)
        fail("cannot give the new folder the old one's owner", errno);
    if (sys::setMode(m_buildFd, old.mode) != 0)
        fail("cannot give the new folder the old one's permissions", errno);
    if (const int error = syncFolder(m_writeFolder)) fail("cannot sync the new folder", error);
    if (writerCalls().exchange(pathText(m_writeFolder).c_str(), pathText(m_folder).c_str()) != 0) {
        const int error = errno;
        // A file system (or a system) that cannot swap two folders takes the
        // set in place.
        if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP && error != ENOTSUP)
            fail("cannot swap in the new folder", error);
        moveBuiltIntoFolder();
        return commitIntoFolder();
    }
    // From here the folder is the new one, whole; the old one is at the
    // hidden name, still locked by this command, and goes.
    m_committed = true;
    for (Placed& file : m_files) untrack(file.slot);
    untrack(m_buildSlot);
    sys::closeFile(m_buildFd);
    m_buildFd = -1;
    m_carried.clear();
    const int error = syncFolder(folderOf(m_folder));
    removeSwappedOut(m_writeFolder);
    if (error)
        throw GameError(ErrorKind::FileWrite, pathText(m_folder),
                        reason("written, but the folder could not be synced", error));
}

// Empties and removes the folder swapped out: its old pictures and the
// second names of what was carried go; anything else came in after the
// carrying (another program's file, a single file being written) and is
// moved over into the folder, or, when its name is taken there, left with
// the old folder.
void FileSet::removeSwappedOut(const fs::path& old) noexcept {
    const int dirFd = sys::openAt(old, sys::Open::Folder);
    if (dirFd < 0) return;
    std::vector<std::string> entries;
    if (sys::listFolder(dirFd, entries) != 0) entries.clear();
    for (const std::string& name : entries) {
        sys::Status status;
        if (sys::statusIn(dirFd, name, status) != 0) continue;
        const bool replaced = std::any_of(m_files.begin(), m_files.end(), [&](const Placed& file) {
            return file.name == pathFromText(name);
        });
        const bool carried = std::find(m_carriedInodes.begin(), m_carriedInodes.end(),
                                       status.index) != m_carriedInodes.end();
        const bool writers = name == kCommitNoteName || name == kFolderGateName;
        if (status.kind != sys::Kind::Folder && (replaced || carried || writers)) {
            sys::removeIn(dirFd, name, false);
            continue;
        }
        writerCalls().renameNoReplace(pathText(old / pathFromText(name)).c_str(),
                                      pathText(m_folder / pathFromText(name)).c_str());
    }
    sys::closeFile(dirFd);
    sys::removeFolder(old);
}

// The folder takes the set in place after all: each built file goes to a
// temporary name in the folder itself, and the hidden folder goes.
void FileSet::moveBuiltIntoFolder() {
    for (const std::string& carried : m_carried) sys::removeFile(pathFromText(carried));
    m_carried.clear();
    for (Placed& file : m_files) {
        const std::string stem =
            pathText(m_folder / ('.' + file.name.filename().string() + std::string(kTemporaryTag)));
        for (int attempt = 0;; ++attempt) {
            const std::string name = stem + randomSuffix();
            std::size_t slot = track(name);
            if (writerCalls().renameNoReplace(file.temporary.c_str(), name.c_str()) == 0) {
                untrack(file.slot);
                file.slot = slot;
                file.temporary = name;
                break;
            }
            const int error = errno;
            untrack(slot);
            if (error != EEXIST || attempt == 100) {
                discard();
                throw GameError(ErrorKind::FileWrite, pathText(m_folder / file.name),
                                reason(error));
            }
        }
    }
    sys::closeFile(m_buildFd);
    m_buildFd = -1;
    sys::removeFolder(m_writeFolder);
    untrack(m_buildSlot);
    m_writeFolder = m_folder;
    m_build = Build::InFolder;
}

}  // namespace karnwick
