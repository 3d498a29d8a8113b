#include "data/folder_lock.h"

#include <condition_variable>
#include <iostream>
#include <map>
#include <mutex>
#include <utility>

#include "data/errors.h"
#include "data/platform.h"

namespace karnwick {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;
using platform::Handle;
using platform::kNoHandle;
using Waiting = platform::LockWait;

struct FolderLock::Key : platform::FileIdentity {};

namespace {

// The folders this process holds: one descriptor each, whatever the number
// of holders, so a reader and a writer inside one command never wait for
// each other. While `busy`, one thread is waiting for the file lock with the
// registry's mutex released; the others wait for it to finish.
struct Held {
    Handle handle = kNoHandle;
    int readers = 0;
    int writers = 0;
    bool exclusive = false;
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
                  << platform::pathText(shown) << std::endl;
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

}  // namespace

bool platform::LockWait::keepWaiting() {
    const auto now = Clock::now();
    if (deadline && now >= *deadline) return false;
    if (!noted && now - start >= std::chrono::seconds(1)) {
        noted = true;
        if (waitNote()) waitNote()(folder);
    }
    return true;
}

namespace {

[[noreturn]] void failLock(const fs::path& folder, const std::error_code& error) {
    throw GameError(ErrorKind::FileAccess, platform::pathText(folder),
                    "(cannot lock the folder: " + error.message() + ")");
}

// Under the exclusive lock: a set commit left by a killed command is
// finished (or undone) before anyone reads or writes the folder. Returns no
// error or the error of a lock that could not be had.
std::error_code settleHeld(Held& held, Waiting& waiting) {
    while (hasSetToSettle(waiting.folder)) {
        if (!held.exclusive) {
            platform::unlockFolder(held.handle);
            if (const auto error = platform::lockFolder(held.handle, true, waiting)) return error;
        }
        g_settler.finish(waiting.folder);
        if (!held.exclusive) {
            platform::unlockFolder(held.handle);
            if (const auto error = platform::lockFolder(held.handle, false, waiting)) return error;
        }
    }
    return {};
}

bool namesFolder(const fs::path& folder, const FolderLock::Key& key) {
    const auto identity = platform::identityOf(folder);
    return identity && *identity == key;
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
Claim claimHold(const FolderLock::Key& key, Handle& fd, bool writing, Deadline deadline) {
    std::unique_lock guard(registryMutex());
    for (;;) {
        const auto found = registry().find(key);
        if (found == registry().end()) {
            auto held = std::make_shared<Held>();
            held->handle = std::exchange(fd, kNoHandle);
            held->busy = true;
            registry().emplace(key, held);
            return {Claim::MustTake, std::move(held)};
        }
        if (found->second->busy) {
            if (!deadline) {
                registryChanged().wait(guard);
            } else if (registryChanged().wait_until(guard, *deadline) == std::cv_status::timeout) {
                platform::closeHandle(std::exchange(fd, kNoHandle));
                return {Claim::TimedOut, nullptr};
            }
            continue;
        }
        platform::closeHandle(std::exchange(fd, kNoHandle));
        const std::shared_ptr<Held>& held = found->second;
        if (!writing || held->exclusive) {
            ++(writing ? held->writers : held->readers);
            return {Claim::Counted, nullptr};
        }
        held->busy = true;  // this process's readers give way to its writer
        return {Claim::MustTake, held, held->readers > 0};
    }
}

// Takes the file lock of a busy hold and settles the folder. Returns no
// error or the error; `moved` when the name now gives another folder, to be
// locked afresh. An upgrade that fails leaves the process's readers their lock.
std::error_code takeHold(Held& held, const FolderLock::Key& key, bool writing, bool upgrade,
                         Waiting& waiting, bool& moved) {
    if (upgrade) platform::unlockFolder(held.handle);
    std::error_code error = platform::lockFolder(held.handle, writing, waiting);
    if (!error) {
        held.exclusive = writing;
        moved = !upgrade && !namesFolder(waiting.folder, key);
        if (!moved) error = settleHeld(held, waiting);
    }
    if (error && upgrade) {
        held.exclusive = false;
        Waiting again{waiting.folder, std::nullopt};
        platform::lockFolder(held.handle, false, again);
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
        Key key;
        std::error_code openError;
        Handle fd = platform::openFolderLock(folder, writing, key, openError);
        if (fd == kNoHandle) {
            if (!writing) return true;
            failLock(folder, openError);
        }
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
                platform::closeHandle(held.handle);
                registry().erase(key);
            }
            registryChanged().notify_all();
        };
        std::error_code error;
        bool moved = false;
        try {
            error = takeHold(held, key, writing, claim.upgrade, waiting, moved);
        } catch (...) {
            finish(false);
            throw;
        }
        finish(!error && !moved);
        if (moved) {
            // Replaced at its name while this waited: lock the folder there now.
            if (attempt < 100) continue;
            failLock(folder, std::make_error_code(std::errc::resource_unavailable_try_again));
        }
        if (!error) return true;
        if (error == platform::timedOut()) return false;
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
        platform::closeHandle(held.handle);  // releases the lock
        registry().erase(found);
        registryChanged().notify_all();
    }
}

std::unique_ptr<FolderLock> FolderLock::tryWrite(const fs::path& given) {
    const fs::path folder = folderName(given);
    Key key;
    std::error_code error;
    const Handle fd = platform::openFolderLock(folder, true, key, error);
    if (fd == kNoHandle) return nullptr;
    std::lock_guard guard(registryMutex());
    auto found = registry().find(key);
    if (found != registry().end()) {
        platform::closeHandle(fd);
        // A shared lock of this process is never turned over without waiting.
        if (found->second->busy || !found->second->exclusive) return nullptr;
    } else {
        if (!platform::tryLockFolder(fd)) {
            platform::closeHandle(fd);
            return nullptr;
        }
        auto held = std::make_shared<Held>();
        held->handle = fd;
        held->exclusive = true;
        found = registry().emplace(key, std::move(held)).first;
    }
    ++found->second->writers;
    std::unique_ptr<FolderLock> lock(new FolderLock());
    lock->m_access = FolderAccess::Write;
    lock->m_key = std::make_unique<Key>(key);
    return lock;
}

bool FolderLock::isHeldHere(const fs::path& folder) {
    const auto identity = platform::identityOf(folderName(folder));
    if (!identity) return false;
    std::lock_guard guard(registryMutex());
    return registry().contains(Key{*identity});
}

void setFolderSettler(FolderSettler settler) {
    g_settler = settler;
}

void setLockWaitNote(std::function<void(const fs::path&)> note) {
    waitNote() = std::move(note);
}

}  // namespace karnwick
