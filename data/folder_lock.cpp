#include "data/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <iostream>
#include <map>
#include <mutex>
#include <utility>

#include "data/errors.h"

namespace karnwick {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;

struct FolderLock::Key {
    dev_t device;
    ino_t inode;
    auto operator<=>(const Key&) const = default;
};

namespace {

// The folders this process holds: one descriptor each, whatever the number
// of holders, so a reader and a writer inside one command never wait for
// each other. While `busy`, one thread is waiting for the file lock with the
// registry's mutex released; the others wait for it to finish.
struct Held {
    int fd = -1;
    int readers = 0;
    int writers = 0;
    int mode = 0;  // LOCK_SH or LOCK_EX
    bool busy = false;
};

std::mutex& registryMutex() {
    static std::mutex mutex;
    return mutex;
}

std::condition_variable& registryChanged() {
    static std::condition_variable changed;
    return changed;
}

std::map<FolderLock::Key, std::shared_ptr<Held>>& registry() {
    static std::map<FolderLock::Key, std::shared_ptr<Held>> held;
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

// Constant-initialised, so it is there before any installer runs.
FolderSettler g_settler;

bool hasSetToSettle(const fs::path& folder) {
    return g_settler.interrupted && g_settler.interrupted(folder);
}

fs::path folderName(const fs::path& folder) {
    return folder.empty() ? fs::path(".") : folder;
}

[[noreturn]] void failLock(const fs::path& folder, int error) {
    throw GameError(ErrorKind::FileAccess, folder.string(),
                    "(cannot lock the folder: " + std::string(std::strerror(error)) + ")");
}

// One wait for a folder, across the gate and the lock and every retry.
struct Waiting {
    fs::path folder;
    Deadline deadline;
    Clock::time_point start = Clock::now();
    bool noted = false;
};

// Polls rather than blocks, so the note can be given after a second and a
// deadline kept; the pause grows to 10 ms, short beside the commit being
// waited for. Returns 0, ETIMEDOUT, or the error of a file system that
// cannot lock at all.
int pollLock(int fd, int operation, Waiting& waiting) {
    for (useconds_t pause = 200;; pause = std::min<useconds_t>(pause * 2, 10000)) {
        if (::flock(fd, operation | LOCK_NB) == 0) return 0;
        if (errno != EWOULDBLOCK && errno != EINTR) return errno;
        const auto now = Clock::now();
        if (waiting.deadline && now >= *waiting.deadline) return ETIMEDOUT;
        if (!waiting.noted && now - waiting.start >= std::chrono::seconds(1)) {
            waiting.noted = true;
            if (waitNote()) waitNote()(waiting.folder);
        }
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
int takeExclusive(int fd, Waiting& waiting) {
    int gate = -1;
    while ((gate = openGate(fd, true)) >= 0) {
        if (const int error = pollLock(gate, LOCK_EX, waiting)) {
            ::close(gate);
            if (error == ETIMEDOUT) return error;
            gate = -1;  // a gate that cannot be locked: go without
            break;
        }
        if (isCurrentGate(fd, gate)) break;
        ::close(gate);
    }
    const int error = pollLock(fd, LOCK_EX, waiting);
    if (gate >= 0) {
        // Held exclusively and still at its name, so the name is ours to
        // remove: the folder keeps no trace of the wait.
        ::unlinkat(fd, kFolderGateName, 0);
        ::close(gate);
    }
    return error;
}

// A reader waits at the gate while a writer holds it.
int takeShared(int fd, Waiting& waiting) {
    for (int gate; (gate = openGate(fd, false)) >= 0;) {
        const int error = pollLock(gate, LOCK_SH, waiting);
        const bool passed = error != 0 || isCurrentGate(fd, gate);
        ::close(gate);
        if (error == ETIMEDOUT) return error;
        if (passed) break;
    }
    return pollLock(fd, LOCK_SH, waiting);
}

int takeLock(int fd, int mode, Waiting& waiting) {
    return mode == LOCK_EX ? takeExclusive(fd, waiting) : takeShared(fd, waiting);
}

// Under the exclusive lock: a set commit left by a killed command is
// finished (or undone) before anyone reads or writes the folder. Returns 0
// or the error of a lock that could not be had.
int settleHeld(Held& held, Waiting& waiting) {
    while (hasSetToSettle(waiting.folder)) {
        if (held.mode != LOCK_EX) {
            ::flock(held.fd, LOCK_UN);
            if (const int error = takeExclusive(held.fd, waiting)) return error;
        }
        g_settler.finish(waiting.folder);
        if (held.mode != LOCK_EX) {
            ::flock(held.fd, LOCK_UN);
            if (const int error = takeShared(held.fd, waiting)) return error;
        }
    }
    return 0;
}

bool namesFolder(const fs::path& folder, const FolderLock::Key& key) {
    struct stat status {};
    return ::stat(folder.c_str(), &status) == 0 &&
           FolderLock::Key{status.st_dev, status.st_ino} == key;
}

// How a lock asked for meets the locks this process already holds.
struct Claim {
    enum Outcome { Counted, MustTake, TimedOut } outcome;
    std::shared_ptr<Held> held;  // busy, for this thread to take, when MustTake
    bool upgrade = false;        // the process's readers hold it and give way
};

// Counts a lock the process's hold already covers, or marks the hold busy
// for this thread to take the file lock (a new hold takes `fd`), waiting
// while another thread is taking it. Closes `fd` unless a new hold took it.
Claim claimHold(const FolderLock::Key& key, int& fd, bool writing, Deadline deadline) {
    std::unique_lock guard(registryMutex());
    for (;;) {
        const auto found = registry().find(key);
        if (found == registry().end()) {
            auto held = std::make_shared<Held>();
            held->fd = std::exchange(fd, -1);
            held->busy = true;
            registry().emplace(key, held);
            return {Claim::MustTake, std::move(held)};
        }
        if (found->second->busy) {
            if (!deadline) {
                registryChanged().wait(guard);
            } else if (registryChanged().wait_until(guard, *deadline) == std::cv_status::timeout) {
                if (fd >= 0) ::close(std::exchange(fd, -1));
                return {Claim::TimedOut, nullptr};
            }
            continue;
        }
        if (fd >= 0) ::close(std::exchange(fd, -1));
        const std::shared_ptr<Held>& held = found->second;
        if (!writing || held->mode == LOCK_EX) {
            ++(writing ? held->writers : held->readers);
            return {Claim::Counted, nullptr};
        }
        held->busy = true;  // this process's readers give way to its writer
        return {Claim::MustTake, held, held->readers > 0};
    }
}

// Takes the file lock of a busy hold and settles the folder. Returns 0 or
// the error; `moved` when the name now gives another folder, to be locked
// afresh. An upgrade that fails leaves the process's readers their lock.
int takeHold(Held& held, const FolderLock::Key& key, bool writing, bool upgrade,
             Waiting& waiting, bool& moved) {
    if (upgrade) ::flock(held.fd, LOCK_UN);
    int error = takeLock(held.fd, writing ? LOCK_EX : LOCK_SH, waiting);
    if (error == 0) {
        held.mode = writing ? LOCK_EX : LOCK_SH;
        moved = !upgrade && !namesFolder(waiting.folder, key);
        if (!moved) error = settleHeld(held, waiting);
    }
    if (error && upgrade) {
        held.mode = LOCK_SH;
        Waiting again{waiting.folder, std::nullopt};
        takeShared(held.fd, again);
    }
    return error;
}

}  // namespace

FolderLock::FolderLock(const fs::path& folder, FolderAccess access) : m_access(access) {
    acquire(folderName(folder), std::nullopt);
}

std::unique_ptr<FolderLock> FolderLock::tryFor(const fs::path& folder, FolderAccess access,
                                               std::chrono::milliseconds patience) {
    std::unique_ptr<FolderLock> lock(new FolderLock());
    lock->m_access = access;
    if (!lock->acquire(folderName(folder), Clock::now() + patience)) return nullptr;
    return lock;
}

bool FolderLock::acquire(const fs::path& folder, Deadline deadline) {
    Waiting waiting{folder, deadline};
    const bool writing = m_access == FolderAccess::Write;
    for (int attempt = 0;; ++attempt) {
        int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat status {};
        if (fd < 0 || ::fstat(fd, &status) != 0) {
            const int error = errno;
            if (fd >= 0) ::close(fd);
            if (!writing) return true;
            failLock(folder, error);
        }
        const Key key{status.st_dev, status.st_ino};
        const Claim claim = claimHold(key, fd, writing, deadline);
        if (claim.outcome == Claim::TimedOut) return false;
        if (claim.outcome == Claim::Counted) {
            m_key = std::make_unique<Key>(key);
            return true;
        }
        Held& held = *claim.held;
        // Ends the wait: the lock kept (counted) or given back.
        auto finish = [&](bool keep) {
            std::lock_guard relock(registryMutex());
            held.busy = false;
            if (keep) {
                ++(writing ? held.writers : held.readers);
                m_key = std::make_unique<Key>(key);
            } else if (held.readers + held.writers == 0) {
                ::close(held.fd);
                registry().erase(key);
            }
            registryChanged().notify_all();
        };
        int error = 0;
        bool moved = false;
        try {
            error = takeHold(held, key, writing, claim.upgrade, waiting, moved);
        } catch (...) {
            finish(false);
            throw;
        }
        finish(error == 0 && !moved);
        if (moved) {
            // Replaced at its name while this waited: lock the folder there now.
            if (attempt < 100) continue;
            failLock(folder, EAGAIN);
        }
        if (error == 0) return true;
        if (error == ETIMEDOUT) return false;
        if (writing) failLock(folder, error);
        // A file system without locks still reads; it only cannot keep a
        // reader from a writer.
        if (hasSetToSettle(folder)) g_settler.finish(folder);
        return true;
    }
}

FolderLock::~FolderLock() {
    if (!m_key) return;
    std::lock_guard guard(registryMutex());
    const auto found = registry().find(*m_key);
    if (found == registry().end()) return;
    Held& held = *found->second;
    --(m_access == FolderAccess::Write ? held.writers : held.readers);
    // A writer waiting on behalf of this process closes it when it is done.
    if (held.readers + held.writers == 0 && !held.busy) {
        ::close(held.fd);  // releases the lock
        registry().erase(found);
        registryChanged().notify_all();
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
        if (found->second->busy || found->second->mode != LOCK_EX) return nullptr;
    } else {
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return nullptr;
        }
        auto held = std::make_shared<Held>();
        held->fd = fd;
        held->mode = LOCK_EX;
        found = registry().emplace(key, std::move(held)).first;
    }
    ++found->second->writers;
    std::unique_ptr<FolderLock> lock(new FolderLock());
    lock->m_access = FolderAccess::Write;
    lock->m_key = std::make_unique<Key>(key);
    return lock;
}

bool FolderLock::isHeldHere(const fs::path& folder) {
    struct stat status {};
    if (::stat(folderName(folder).c_str(), &status) != 0) return false;
    std::lock_guard guard(registryMutex());
    return registry().contains(Key{status.st_dev, status.st_ino});
}

void setFolderSettler(FolderSettler settler) {
    g_settler = settler;
}

void setLockWaitNote(std::function<void(const fs::path&)> note) {
    waitNote() = std::move(note);
}

}  // namespace karnwick
