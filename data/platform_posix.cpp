// The POSIX side of the platform layer (platform.h): descriptors, stat and
// flock on the game folder itself.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "data/folder_lock.h"
#include "data/platform.h"

namespace karnwick::platform {

namespace fs = std::filesystem;

namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

FileIdentity identityOf(const struct stat& status) {
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

int descriptor(Handle handle) {
    return static_cast<int>(handle);
}

}  // namespace

void closeHandle(Handle handle) noexcept {
    if (handle != kNoHandle) ::close(descriptor(handle));
}

std::optional<FileIdentity> identityOf(const fs::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return identityOf(status);
}

std::string pathText(const fs::path& path) {
    return path.string();
}

fs::path pathFromText(const std::string& text) {
    return text;
}

OpenedFile openForReading(const fs::path& path) {
    OpenedFile opened;
    // O_NONBLOCK keeps a FIFO without a writer from hanging the open; it is
    // cleared again once the file is known to be a regular one.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        opened.missing = errno == ENOENT;
        opened.error = lastError();
        return opened;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        opened.error = lastError();
        ::close(fd);
        return opened;
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        opened.notRegular = true;
        return opened;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        opened.error = lastError();
        ::close(fd);
        return opened;
    }
    opened.handle = fd;
    return opened;
}

std::int64_t fileSize(Handle handle, std::error_code& error) {
    struct stat info {};
    if (::fstat(descriptor(handle), &info) != 0) {
        error = lastError();
        return -1;
    }
    return info.st_size;
}

std::int64_t readAt(Handle handle, std::int64_t offset, unsigned char* bytes, std::size_t count,
                    std::error_code& error) {
    for (;;) {
        const ssize_t n = ::pread(descriptor(handle), bytes, count, static_cast<off_t>(offset));
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        error = lastError();
        return -1;
    }
}

// The lock is flock(2) on the folder itself, so a reader needs no write
// permission and creates nothing; the gate is a file of its own.

namespace {

// Polls rather than blocks, so the note can be given after a second and a
// deadline kept; the pause grows to 10 ms, short beside the commit being
// waited for.
std::error_code pollLock(int fd, int operation, LockWait& waiting) {
    for (useconds_t pause = 200;; pause = std::min<useconds_t>(pause * 2, 10000)) {
        if (::flock(fd, operation | LOCK_NB) == 0) return {};
        if (errno != EWOULDBLOCK && errno != EINTR) return lastError();
        if (!waiting.keepWaiting()) return timedOut();
        ::usleep(pause);
    }
}

// The gate of the folder open at `dirFd`, or -1 when there is none (a writer
// creates it). Never a link or anything but a regular file, and never a
// wait on a FIFO put in its place.
int openGate(int dirFd, bool create) {
    constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    for (int attempt = 0; attempt < 100; ++attempt) {
        int fd = ::openat(dirFd, kFolderGateName, kFlags);
        if (fd < 0 && errno == ENOENT && create)
            fd = ::openat(dirFd, kFolderGateName, kFlags | O_CREAT | O_EXCL, 0644);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) return -1;
        struct stat status {};
        if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) return fd;
        ::close(fd);
        return -1;
    }
    return -1;
}

// Whether `gate` still is the folder's gate: the writer it let in removes
// it, and the next writer makes a new one.
bool isCurrentGate(int dirFd, int gate) {
    struct stat named {
    }, open{};
    return ::fstatat(dirFd, kFolderGateName, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           ::fstat(gate, &open) == 0 && named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

// A writer closes the gate behind the readers present, then waits for them.
std::error_code takeExclusive(int fd, LockWait& waiting) {
    int gate = -1;
    while ((gate = openGate(fd, true)) >= 0) {
        if (const std::error_code error = pollLock(gate, LOCK_EX, waiting)) {
            ::close(gate);
            if (error == timedOut()) return error;
            gate = -1;  // a gate that cannot be locked: go without
            break;
        }
        if (isCurrentGate(fd, gate)) break;
        ::close(gate);
    }
    const std::error_code error = pollLock(fd, LOCK_EX, waiting);
    if (gate >= 0) {
        // Held exclusively and still at its name, so the name is ours to
        // remove: the folder keeps no trace of the wait.
        ::unlinkat(fd, kFolderGateName, 0);
        ::close(gate);
    }
    return error;
}

// A reader waits at the gate while a writer holds it.
std::error_code takeShared(int fd, LockWait& waiting) {
    for (int gate; (gate = openGate(fd, false)) >= 0;) {
        const std::error_code error = pollLock(gate, LOCK_SH, waiting);
        const bool passed = error || isCurrentGate(fd, gate);
        ::close(gate);
        if (error == timedOut()) return error;
        if (passed) break;
    }
    return pollLock(fd, LOCK_SH, waiting);
}

}  // namespace

Handle openFolderLock(const fs::path& folder, bool, FileIdentity& identity,
                      std::error_code& error) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        error = lastError();
        if (fd >= 0) ::close(fd);
        return kNoHandle;
    }
    identity = identityOf(status);
    return fd;
}

std::error_code lockFolder(Handle handle, bool exclusive, LockWait& waiting) {
    return exclusive ? takeExclusive(descriptor(handle), waiting)
                     : takeShared(descriptor(handle), waiting);
}

bool mayHoldFolderLock(const fs::path&) {
    return true;
}

bool tryLockFolder(Handle handle) {
    return ::flock(descriptor(handle), LOCK_EX | LOCK_NB) == 0;
}

void unlockFolder(Handle handle) noexcept {
    ::flock(descriptor(handle), LOCK_UN);
}

}  // namespace karnwick::platform
