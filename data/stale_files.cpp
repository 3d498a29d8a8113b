// Temporary names, and the clean-up of those killed writers left.
#include "data/stale_files.h"

#include <random>
#include <vector>

#include "data/folder_lock.h"
#include "data/platform.h"
#include "data/set_recovery.h"
#include "data/system_calls.h"
#include "data/temporary_registry.h"

namespace karnwick::writer {

namespace fs = std::filesystem;

std::string randomSuffix() {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::string suffix(6, ' ');
    for (char& c : suffix) c = kLetters[random() % (sizeof kLetters - 1)];
    return suffix;
}

bool isTemporaryName(std::string_view name) {
    if (name.size() < 2 || name[0] != '.') return false;
    if (name.ends_with("-old")) name.remove_suffix(4);
    const std::size_t tag = name.rfind(kTemporaryTag);
    return tag != std::string_view::npos && tag > 1 &&
           name.size() == tag + kTemporaryTag.size() + 6;
}

namespace {

// Removes a hidden folder a killed `export all` was building, when nobody
// holds its lock: the regular files in it, then the folder.
void removeStaleBuild(int dirFd, const std::string& name) noexcept {
    const int fd = sys::openIn(dirFd, name, sys::Open::HeldFolder);
    if (fd < 0) return;
    std::vector<std::string> inside;
    if (sys::tryLock(fd) == 0) {
        if (sys::listFolder(fd, inside) == 0) {
            for (const std::string& entry : inside) {
                sys::Status status;
                if (sys::statusIn(fd, entry, status) == 0 && status.kind != sys::Kind::Folder)
                    sys::removeIn(fd, entry, false);
            }
        }
        sys::removeHeldFolder(dirFd, name, fd);
    }
    sys::closeFile(fd);
}

// A temporary file or build folder nobody holds a lock on.
void removeIfStale(int dirFd, const std::string& name) noexcept {
    const int fd = sys::openIn(dirFd, name, sys::Open::Read);
    if (fd < 0) return;
    sys::Status status;
    if (sys::statusOf(fd, status) == 0 && status.kind == sys::Kind::Folder) {
        removeStaleBuild(dirFd, name);
    } else if (status.kind == sys::Kind::Regular && sys::tryLock(fd) == 0) {
        sys::removeIn(dirFd, name, false);
    }
    sys::closeFile(fd);
}

}  // namespace

// A temporary file nobody holds a lock on was left by a writer that ended
// without cleaning up (kill -9, a power cut): its target was never touched,
// so it is only clutter. Holding the folder exclusively, no set of another
// command is between its writes and its commit; a set whose commit was
// interrupted names its files in its note and is left alone.
void removeStaleTemporaries(const fs::path& folder) noexcept {
    if (hasInterruptedSet(folder)) return;
    const int dirFd = sys::openAt(folder, sys::Open::Folder);
    if (dirFd < 0) return;
    std::vector<std::string> names;
    if (sys::listFolder(dirFd, names) == 0) {
        for (const std::string& name : names) {
            if (isTemporaryName(name) && !isTracked(folder / platform::pathFromText(name)))
                removeIfStale(dirFd, name);
        }
    }
    sys::closeFile(dirFd);
}

void removeStaleTemporariesIfIdle(const fs::path& folder) noexcept {
    try {
        if (!platform::mayHoldFolderLock(folder)) {
            removeStaleTemporaries(folder);
        } else if (const auto lock = FolderLock::tryWrite(folder)) {
            removeStaleTemporaries(folder);
        }
    } catch (...) {
    }
}

}  // namespace karnwick::writer
