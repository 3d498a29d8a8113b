#include "data/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <map>
#include <mutex>
#include <utility>

#include "data/errors.h"
#include "data/file_writer.h"

namespace karnwick {

namespace fs = std::filesystem;

struct FolderLock::Key {
    dev_t device;
    ino_t inode;
    auto operator<=>(const Key&) const = default;
};

namespace {

// The folders this process holds: one descriptor each, whatever the number
// of holders, so a reader and a writer inside one command never wait for
// each other.
struct Held {
    int fd = -1;
    int readers = 0;
    int writers = 0;
};

std::mutex& registryMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<FolderLock::Key, Held>& registry() {
    static std::map<FolderLock::Key, Held> held;
    return held;
}

std::function<void(const fs::path&)>& waitNote() {
    static std::function<void(const fs::path&)> note = [](const fs::path& folder) {
        std::error_code error;
        fs::path shown = fs::absolute(folder, error).lexically_normal();
        if (!shown.has_filename() && shown.has_relative_path()) shown = shown.parent_path();
        std::cerr << "karnwick: waiting for another karnwick command to finish in "
                  << shown.string() << std::endl;
    };
    return note;
}

fs::path folderName(const fs::path& folder) {
    return folder.empty() ? fs::path(".") : folder;
}

[[noreturn]] void failLock(const fs::path& folder, int error) {
    throw GameError(ErrorKind::FileAccess, folder.string(),
                    "(cannot lock the folder: " + std::string(std::strerror(error)) + ")");
}

// Polls rather than blocks, so the note can be given after a second; the
// pause grows to 10 ms, short beside the commit being waited for. Returns 0
// or the error of a file system that cannot lock at all.
int waitForLock(int fd, int operation, const fs::path& folder) {
    if (::flock(fd, operation | LOCK_NB) == 0) return 0;
    if (errno != EWOULDBLOCK && errno != EINTR) return errno;
    const auto start = std::chrono::steady_clock::now();
    bool noted = false;
    for (useconds_t pause = 200;; pause = std::min<useconds_t>(pause * 2, 10000)) {
        ::usleep(pause);
        if (::flock(fd, operation | LOCK_NB) == 0) return 0;
        if (errno != EWOULDBLOCK && errno != EINTR) return errno;
        if (!noted && std::chrono::steady_clock::now() - start >= std::chrono::seconds(1)) {
            noted = true;
            if (waitNote()) waitNote()(folder);
        }
    }
}

void lockOrThrow(int fd, int operation, const fs::path& folder) {
    if (const int error = waitForLock(fd, operation, folder)) failLock(folder, error);
}

// Under the exclusive lock: a set commit left by a killed command is
// finished (or undone) before anyone reads or writes the folder.
void settleHeld(Held& held, int current, const fs::path& folder) {
    while (hasInterruptedSet(folder)) {
        if (current != LOCK_EX) lockOrThrow(held.fd, LOCK_EX, folder);
        finishInterruptedSet(folder);
        if (current != LOCK_EX) lockOrThrow(held.fd, current, folder);
    }
}

}  // namespace

FolderLock::FolderLock(const fs::path& given, FolderAccess access) : m_access(access) {
    const fs::path folder = folderName(given);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        const int error = errno;
        if (fd >= 0) ::close(fd);
        if (access == FolderAccess::Read) return;
        failLock(folder, error);
    }
    const Key key{status.st_dev, status.st_ino};
    const int wanted = access == FolderAccess::Write ? LOCK_EX : LOCK_SH;
    std::lock_guard guard(registryMutex());
    auto found = registry().find(key);
    try {
        if (found != registry().end()) {
            ::close(fd);
            Held& held = found->second;
            if (access == FolderAccess::Write && held.writers == 0) {
                // Not atomic: other readers finish first, and a writer may
                // commit (or be killed) in between, so settle again.
                lockOrThrow(held.fd, LOCK_EX, folder);
                settleHeld(held, LOCK_EX, folder);
            }
        } else {
            if (const int error = waitForLock(fd, wanted, folder)) {
                ::close(fd);
                if (access == FolderAccess::Write) failLock(folder, error);
                // A file system without locks still reads; it only cannot
                // keep a reader from a writer.
                if (hasInterruptedSet(folder)) finishInterruptedSet(folder);
                return;
            }
            Held held{fd};
            try {
                settleHeld(held, wanted, folder);
            } catch (...) {
                ::close(fd);
                throw;
            }
            found = registry().emplace(key, held).first;
        }
    } catch (...) {
        if (found != registry().end() && found->second.readers + found->second.writers > 0 &&
            found->second.writers == 0)
            ::flock(found->second.fd, LOCK_SH);  // back to what the other holders had
        throw;
    }
    ++(access == FolderAccess::Write ? found->second.writers : found->second.readers);
    m_key = std::make_unique<Key>(key);
}

FolderLock::~FolderLock() {
    if (!m_key) return;
    std::lock_guard guard(registryMutex());
    const auto found = registry().find(*m_key);
    if (found == registry().end()) return;
    Held& held = found->second;
    --(m_access == FolderAccess::Write ? held.writers : held.readers);
    if (held.readers + held.writers == 0) {
        ::close(held.fd);  // releases the lock
        registry().erase(found);
    } else if (m_access == FolderAccess::Write && held.writers == 0) {
        ::flock(held.fd, LOCK_SH);
    }
}

std::unique_ptr<FolderLock> FolderLock::tryWrite(const fs::path& given) {
    const fs::path folder = folderName(given);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat status {};
    if (fd < 0) return nullptr;
    if (::fstat(fd, &status) != 0) {
        ::close(fd);
        return nullptr;
    }
    const Key key{status.st_dev, status.st_ino};
    std::lock_guard guard(registryMutex());
    auto found = registry().find(key);
    if (found != registry().end()) {
        ::close(fd);
        // A shared lock of this process is never turned over without waiting.
        if (found->second.writers == 0) return nullptr;
    } else {
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return nullptr;
        }
        found = registry().emplace(key, Held{fd}).first;
    }
    ++found->second.writers;
    std::unique_ptr<FolderLock> lock(new FolderLock());
    lock->m_access = FolderAccess::Write;
    lock->m_key = std::make_unique<Key>(key);
    return lock;
}

void settleGameFolder(const fs::path& folder) {
    if (!hasInterruptedSet(folderName(folder))) return;
    // A commit of this very process (a reader inside a writer) is not
    // interrupted; any other is finished by taking the lock.
    struct stat status {};
    if (::stat(folderName(folder).c_str(), &status) == 0) {
        std::lock_guard guard(registryMutex());
        if (registry().contains(FolderLock::Key{status.st_dev, status.st_ino})) return;
    }
    const FolderLock lock(folder, FolderAccess::Read);
}

void setLockWaitNote(std::function<void(const fs::path&)> note) {
    waitNote() = std::move(note);
}

}  // namespace karnwick
