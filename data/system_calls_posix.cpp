// The writer's file system calls on POSIX (system_calls.h): the calls themselves.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "data/system_calls.h"

namespace karnwick::sys {

namespace {

Kind kindOf(mode_t mode) {
    if (S_ISREG(mode)) return Kind::Regular;
    if (S_ISDIR(mode)) return Kind::Folder;
    if (S_ISLNK(mode)) return Kind::Link;
    if (S_ISFIFO(mode)) return Kind::Fifo;
    if (S_ISSOCK(mode)) return Kind::Socket;
    if (S_ISCHR(mode) || S_ISBLK(mode)) return Kind::Device;
    return Kind::Other;
}

int fill(int result, const struct stat& from, Status& status) {
    if (result != 0) return result;
    status.kind = kindOf(from.st_mode);
    status.size = from.st_size;
    status.links = from.st_nlink;
    status.volume = from.st_dev;
    status.index = from.st_ino;
    status.mode = from.st_mode & 07777;
    status.owner = from.st_uid;
    status.group = from.st_gid;
    status.modifiedSeconds = from.st_mtim.tv_sec;
    status.modifiedNanoseconds = from.st_mtim.tv_nsec;
    return 0;
}

int flagsOf(Open how) {
    switch (how) {
        case Open::Read:
            return O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
        case Open::ReadThrough:
            return O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
        case Open::ReadInput:
            return O_RDONLY | O_CLOEXEC | O_NOCTTY;
        case Open::FolderThrough:
            return O_RDONLY | O_DIRECTORY | O_CLOEXEC;
        case Open::Write:
            return O_WRONLY | O_CLOEXEC | O_NOCTTY;
        case Open::CreateNew:
            return O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC;
        case Open::Folder:
        case Open::HeldFolder:
            break;
    }
    return O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
}

}  // namespace

int statusOf(int fd, Status& status) {
    struct stat found {};
    return fill(::fstat(fd, &found), found, status);
}

int statusAt(const fs::path& path, Status& status, bool followLinks) {
    struct stat found {};
    return fill(followLinks ? ::stat(path.c_str(), &found) : ::lstat(path.c_str(), &found), found,
                status);
}

int statusIn(int dirFd, const std::string& name, Status& status, bool followLinks) {
    struct stat found {};
    return fill(::fstatat(dirFd, name.c_str(), &found, followLinks ? 0 : AT_SYMLINK_NOFOLLOW),
                found, status);
}

int openAt(const fs::path& path, Open how) {
    return ::open(path.c_str(), flagsOf(how), 0600);
}

int openIn(int dirFd, const std::string& name, Open how) {
    return ::openat(dirFd, name.c_str(), flagsOf(how), 0600);
}

int closeFile(int fd) {
    return ::close(fd);
}

int duplicate(int fd) {
    return ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

int listFolder(int dirFd, std::vector<std::string>& names) {
    // A copy of the descriptor, read from the start: the caller's stays its own.
    const int copy = ::fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return -1;
    DIR* dir = ::fdopendir(copy);
    if (!dir) {
        const int error = errno;
        ::close(copy);
        errno = error;
        return -1;
    }
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    ::closedir(dir);
    return 0;
}

int rename(const fs::path& from, const fs::path& to) {
    return ::rename(from.c_str(), to.c_str());
}

int renameNoReplace(const fs::path& from, const fs::path& to) {
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
}

int renameNoReplaceIn(int dirFd, const std::string& from, const std::string& to) {
    return ::renameat2(dirFd, from.c_str(), dirFd, to.c_str(), RENAME_NOREPLACE);
}

int removeFile(const fs::path& path) {
    return ::unlink(path.c_str());
}

int removeFolder(const fs::path& path) {
    return ::rmdir(path.c_str());
}

int removeIn(int dirFd, const std::string& name, bool folder) {
    return ::unlinkat(dirFd, name.c_str(), folder ? AT_REMOVEDIR : 0);
}

int removeHeldFolder(int dirFd, const std::string& name, int) {
    return ::unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
}

int makeFolderIn(int dirFd, const std::string& name) {
    return ::mkdirat(dirFd, name.c_str(), 0777);
}

int tryLock(int fd) {
    return ::flock(fd, LOCK_EX | LOCK_NB);
}

std::int64_t readSome(int fd, void* bytes, std::size_t count) {
    return ::read(fd, bytes, count);
}

std::int64_t readAt(int fd, void* bytes, std::size_t count, std::int64_t offset) {
    return ::pread(fd, bytes, count, static_cast<off_t>(offset));
}

int truncate(int fd, std::int64_t length) {
    return ::ftruncate(fd, static_cast<off_t>(length));
}

std::int64_t nextData(int fd, std::int64_t at) {
    return ::lseek(fd, static_cast<off_t>(at), SEEK_DATA);
}

std::int64_t nextHole(int fd, std::int64_t at) {
    return ::lseek(fd, static_cast<off_t>(at), SEEK_HOLE);
}

bool isSuperUser() {
    return ::geteuid() == 0;
}

std::uint32_t fileModeMask() {
    static const mode_t mask = [] {
        const mode_t m = ::umask(0);
        ::umask(m);
        return m;
    }();
    return mask;
}

int giveOwner(int fd, const Status& status) {
    return ::fchown(fd, status.owner, status.group);
}

int giveOwnerIn(int dirFd, const std::string& name, const Status& status) {
    return ::fchownat(dirFd, name.c_str(), status.owner, status.group, AT_SYMLINK_NOFOLLOW);
}

int setMode(int fd, std::uint32_t mode) {
    return ::fchmod(fd, static_cast<mode_t>(mode));
}

int setModeIn(int dirFd, const std::string& name, std::uint32_t mode) {
    return ::fchmodat(dirFd, name.c_str(), static_cast<mode_t>(mode), 0);
}

int mayWrite(const fs::path& path) {
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS);
}

int mayWriteIn(const fs::path& folder) {
    return ::access(folder.c_str(), W_OK | X_OK);
}

// Known by its device number, so only /dev/null itself or another node of it
// qualifies.
bool isNullDevice(const fs::path& path) {
    struct stat at {
    }, null{};
    return ::lstat(path.c_str(), &at) == 0 && S_ISCHR(at.st_mode) &&
           ::stat("/dev/null", &null) == 0 && S_ISCHR(null.st_mode) && at.st_rdev == null.st_rdev;
}

int failWithLastError() {
    return -1;
}

void removeFileNow(const char* path) noexcept {
    ::unlink(path);
}

void removeFolderNow(const char* path) noexcept {
    ::rmdir(path);
}

void onEndingEvents(void (*handler)(int event)) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        if (::sigaction(signal, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_handler = handler;
        // A signal held back returns to whatever the thread it landed on was doing.
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
}

void endProgramFor(int event) noexcept {
    ::signal(event, SIG_DFL);
    ::raise(event);
}

void waitForever() noexcept {
    for (;;) ::pause();
}

static_assert(sizeof(sigset_t) <= sizeof(HeldEvents::saved));

void holdEndingEvents(HeldEvents& previous) noexcept {
    sigset_t ending, old;
    sigemptyset(&ending);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ending, signal);
    ::pthread_sigmask(SIG_BLOCK, &ending, &old);
    std::memcpy(previous.saved, &old, sizeof old);
}

void releaseEndingEvents(const HeldEvents& previous) noexcept {
    sigset_t old;
    std::memcpy(&old, previous.saved, sizeof old);
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

}  // namespace karnwick::sys
