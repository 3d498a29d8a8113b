// The file set's whole-folder commit: a new folder built beside the old one
// and swapped in, with the user's other files carried over.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "data/errors.h"
#include "data/file_set.h"
#include "data/set_recovery.h"
#include "data/stale_files.h"
#include "data/temporary_registry.h"
#include "data/write_checks.h"
#include "data/writer_calls.h"

namespace karnwick {

namespace fs = std::filesystem;
using namespace writer;

namespace {

// Entries the writer itself keeps in a folder, never the user's.
bool isWriterName(std::string_view name) {
    return isTemporaryName(name) || name == kCommitNoteName || name == kFolderGateName;
}

// Whether `folder` (on `device`) can be swapped for a new folder built
// beside it: a folder of its own at that name, in a parent on the same file
// system that may be written.
bool canSwapFolder(const fs::path& folder, std::uint64_t device) {
    struct stat named {
    }, parent{};
    const fs::path name = folder.filename();
    return name != "." && name != ".." && ::lstat(folder.c_str(), &named) == 0 &&
           S_ISDIR(named.st_mode) && ::stat(folderOf(folder).c_str(), &parent) == 0 &&
           parent.st_dev == device && ::access(folderOf(folder).c_str(), W_OK | X_OK) == 0;
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
    DIR* dir = ::opendir(m_folder.c_str());
    if (!dir) return false;
    std::vector<std::string> names;
    for (const Placed& file : m_files) names.push_back(file.name.string());
    bool whole = true;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." || isWriterName(name) ||
            std::find(names.begin(), names.end(), name) != names.end())
            continue;
        struct stat status {};
        const fs::path from = m_folder / entry->d_name, to = m_writeFolder / entry->d_name;
        if (::fstatat(::dirfd(dir), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            S_ISDIR(status.st_mode) || writerCalls().link(from.c_str(), to.c_str()) != 0) {
            whole = false;
            break;
        }
        m_carried.push_back(to.string());
        m_carriedInodes.push_back(status.st_ino);
    }
    ::closedir(dir);
    if (!whole) {
        for (const std::string& carried : m_carried) ::unlink(carried.c_str());
        m_carried.clear();
        m_carriedInodes.clear();
    }
    return whole;
}

void FileSet::swapIn() {
    nameBuiltFiles();
    auto fail = [&](const std::string& what, int error) {
        discard();
        throw GameError(ErrorKind::FileWrite, m_folder.string(), reason(what, error));
    };
    struct stat old {};
    if (::stat(m_folder.c_str(), &old) != 0) fail("cannot read the folder", errno);
    // The new folder is the old one to everyone else: its owner (which only
    // root may give) and its permissions.
    if (::geteuid() == 0 && ::fchown(m_buildFd, old.st_uid, old.st_gid) != 0)
        fail("cannot give the new folder the old one's owner", errno);
    if (::fchmod(m_buildFd, old.st_mode & 07777) != 0)
        fail("cannot give the new folder the old one's permissions", errno);
    if (const int error = syncFolder(m_writeFolder)) fail("cannot sync the new folder", error);
    if (writerCalls().exchange(m_writeFolder.c_str(), m_folder.c_str()) != 0) {
        const int error = errno;
        // A file system that cannot swap two folders takes the set in place.
        if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP)
            fail("cannot swap in the new folder", error);
        moveBuiltIntoFolder();
        return commitIntoFolder();
    }
    // From here the folder is the new one, whole; the old one is at the
    // hidden name, still locked by this command, and goes.
    m_committed = true;
    for (Placed& file : m_files) untrack(file.slot);
    untrack(m_buildSlot);
    ::close(m_buildFd);
    m_buildFd = -1;
    m_carried.clear();
    const int error = syncFolder(folderOf(m_folder));
    removeSwappedOut(m_writeFolder);
    if (error)
        throw GameError(ErrorKind::FileWrite, m_folder.string(),
                        reason("written, but the folder could not be synced", error));
}

// Empties and removes the folder swapped out: its old pictures and the
// second names of what was carried go; anything else came in after the
// carrying (another program's file, a single file being written) and is
// moved over into the folder, or, when its name is taken there, left with
// the old folder.
void FileSet::removeSwappedOut(const fs::path& old) noexcept {
    DIR* dir = ::opendir(old.c_str());
    if (!dir) return;
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat status {};
        if (::fstatat(dirFd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
        const bool replaced = std::any_of(m_files.begin(), m_files.end(),
                                          [&](const Placed& file) { return file.name == name; });
        const bool carried = std::find(m_carriedInodes.begin(), m_carriedInodes.end(),
                                       status.st_ino) != m_carriedInodes.end();
        const bool writers = name == kCommitNoteName || name == kFolderGateName;
        if (!S_ISDIR(status.st_mode) && (replaced || carried || writers)) {
            ::unlinkat(dirFd, entry->d_name, 0);
            continue;
        }
        writerCalls().renameNoReplace((old / entry->d_name).c_str(),
                                      (m_folder / entry->d_name).c_str());
    }
    ::closedir(dir);
    ::rmdir(old.c_str());
}

// The folder takes the set in place after all: each built file goes to a
// temporary name in the folder itself, and the hidden folder goes.
void FileSet::moveBuiltIntoFolder() {
    for (const std::string& carried : m_carried) ::unlink(carried.c_str());
    m_carried.clear();
    for (Placed& file : m_files) {
        const std::string stem =
            (m_folder / ('.' + file.name.filename().string() + std::string(kTemporaryTag)))
                .string();
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
                throw GameError(ErrorKind::FileWrite, (m_folder / file.name).string(),
                                reason(error));
            }
        }
    }
    ::close(m_buildFd);
    m_buildFd = -1;
    ::rmdir(m_writeFolder.c_str());
    untrack(m_buildSlot);
    m_writeFolder = m_folder;
    m_build = Build::InFolder;
}

}  // namespace karnwick
