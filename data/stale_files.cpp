// Temporary names, and the clean-up of those killed writers left.
#include "data/stale_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "data/folder_lock.h"
#include "data/set_recovery.h"
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
void removeStaleBuild(int dirFd, const char* name) noexcept {
    const int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        if (DIR* inside = ::fdopendir(::dup(fd))) {
            while (const dirent* entry = ::readdir(inside)) {
                struct stat status {};
                if (::fstatat(fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                    !S_ISDIR(status.st_mode))
                    ::unlinkat(fd, entry->d_name, 0);
            }
            ::closedir(inside);
        }
        ::unlinkat(dirFd, name, AT_REMOVEDIR);
    }
    ::close(fd);
}

// A temporary file or build folder nobody holds a lock on.
void removeIfStale(int dirFd, const char* name) noexcept {
    const int fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return;
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
        removeStaleBuild(dirFd, name);
    } else if (S_ISREG(status.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        ::unlinkat(dirFd, name, 0);
    }
    ::close(fd);
}

}  // namespace

// A temporary file nobody holds a lock on was left by a writer that ended
// without cleaning up (kill -9, a power cut): its target was never touched,
// so it is only clutter. Holding the folder exclusively, no set of another
// command is between its writes and its commit; a set whose commit was
// interrupted names its files in its note and is left alone.
void removeStaleTemporaries(const fs::path& folder) noexcept {
    if (hasInterruptedSet(folder)) return;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        if (isTemporaryName(entry->d_name) && !isTracked(folder / entry->d_name))
            removeIfStale(::dirfd(dir), entry->d_name);
    }
    ::closedir(dir);
}

void removeStaleTemporariesIfIdle(const fs::path& folder) noexcept {
    try {
        if (const auto lock = FolderLock::tryWrite(folder)) removeStaleTemporaries(folder);
    } catch (...) {
    }
}

}  // namespace karnwick::writer
