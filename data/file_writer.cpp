#include "data/file_writer.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <random>
#include <unordered_map>
#include <utility>
#include <vector>

#include "data/errors.h"

namespace karnwick {

namespace fs = std::filesystem;

WriterCalls& writerCalls() {
    static WriterCalls calls{::write, ::fsync, ::close, ::rename, ::link, ::mkdir};
    return calls;
}

namespace {

constexpr std::string_view kTemporaryTag = ".karnwick-";

std::string reason(int error) {
    return std::string("(") + std::strerror(error) + ")";
}

std::string reason(const std::string& what, int error) {
    return "(" + what + ": " + std::strerror(error) + ")";
}

fs::path folderOf(const fs::path& target) {
    const fs::path parent = target.parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

// ---------------------------------------------------------------------------
// The live temporary files and created folders, for the signal handler. The
// handler may run at any moment, on any thread, so it only reads atomics and
// calls unlink, rmdir, signal and raise. Slots live in chunks that are never
// freed; the mutex only orders the threads that add and remove entries.

struct Slot {
    std::atomic<char*> path{nullptr};
    std::atomic<bool> folder{false};
};

constexpr std::size_t kSlotsPerChunk = 1024;
constexpr std::size_t kChunks = 1024;
std::atomic<Slot*> g_chunks[kChunks];
std::atomic<std::size_t> g_slotsUsed{0};
std::mutex g_registryMutex;
std::vector<std::size_t>& freeSlots() {
    static std::vector<std::size_t> slots;
    return slots;
}

Slot& slotAt(std::size_t index) {
    return g_chunks[index / kSlotsPerChunk].load()[index % kSlotsPerChunk];
}

void removeRegistered() noexcept {
    const std::size_t used = g_slotsUsed.load();
    for (std::size_t i = 0; i < used; ++i) {
        const Slot& slot = slotAt(i);
        const char* path = slot.path.load();
        if (path && !slot.folder.load()) ::unlink(path);
    }
    // Folders were registered parents first: remove children first.
    for (std::size_t i = used; i-- > 0;) {
        const Slot& slot = slotAt(i);
        const char* path = slot.path.load();
        if (path && slot.folder.load()) ::rmdir(path);
    }
}

extern "C" void removeTemporariesAndEnd(int signal) {
    removeRegistered();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Only a signal that would end the program is taken over; one the program
// ignores (started with nohup) or handles itself is left alone.
void installSignalHandlers() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        if (::sigaction(signal, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_handler = removeTemporariesAndEnd;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
}

std::size_t registerPath(const std::string& path, bool folder) {
    static std::once_flag installed;
    std::call_once(installed, installSignalHandlers);
    std::lock_guard lock(g_registryMutex);
    std::size_t index;
    if (!freeSlots().empty()) {
        index = freeSlots().back();
        freeSlots().pop_back();
    } else {
        index = g_slotsUsed.load();
        if (index / kSlotsPerChunk >= kChunks)
            return SIZE_MAX;  // untracked, still removed on failure
        if (!g_chunks[index / kSlotsPerChunk].load())
            g_chunks[index / kSlotsPerChunk].store(new Slot[kSlotsPerChunk]);
        g_slotsUsed.store(index + 1);
    }
    slotAt(index).folder.store(folder);
    slotAt(index).path.store(::strdup(path.c_str()));
    return index;
}

void unregisterPath(std::size_t index) noexcept {
    if (index == SIZE_MAX) return;
    std::lock_guard lock(g_registryMutex);
    std::free(slotAt(index).path.exchange(nullptr));
    freeSlots().push_back(index);
}

// The registry's slot of every tracked path, for removing it again.
std::unordered_map<std::string, std::size_t>& trackedSlots() {
    static std::unordered_map<std::string, std::size_t> slots;
    return slots;
}

void track(const std::string& path, bool folder = false) {
    const std::size_t index = registerPath(path, folder);
    std::lock_guard lock(g_registryMutex);
    trackedSlots()[path] = index;
}

void untrack(const std::string& path) noexcept {
    std::size_t index = SIZE_MAX;
    {
        std::lock_guard lock(g_registryMutex);
        const auto found = trackedSlots().find(path);
        if (found == trackedSlots().end()) return;
        index = found->second;
        trackedSlots().erase(found);
    }
    unregisterPath(index);
}

// ---------------------------------------------------------------------------

bool isTemporaryName(std::string_view name) {
    if (name.size() < 2 || name[0] != '.') return false;
    if (name.ends_with("-old")) name.remove_suffix(4);
    const std::size_t tag = name.rfind(kTemporaryTag);
    return tag != std::string_view::npos && tag > 1 &&
           name.size() == tag + kTemporaryTag.size() + 6;
}

// Whether this program is writing the file now (a file of a pending set
// holds no lock once it is written).
bool isTracked(const fs::path& path) {
    std::lock_guard lock(g_registryMutex);
    return trackedSlots().contains(path.string());
}

// A temporary file nobody holds a lock on was left by a writer that ended
// without cleaning up (kill -9, a power cut): its target was never touched,
// so it is only clutter.
void removeStaleTemporaries(const fs::path& folder) noexcept {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (!isTemporaryName(entry->d_name) || isTracked(folder / entry->d_name)) continue;
        const int fd = ::openat(dirFd, entry->d_name,
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) continue;
        struct stat status {};
        if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(dirFd, entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

std::string randomSuffix() {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::string suffix(6, ' ');
    for (char& c : suffix) c = kLetters[random() % (sizeof kLetters - 1)];
    return suffix;
}

mode_t fileModeMask() {
    static const mode_t mask = [] {
        const mode_t m = ::umask(0);
        ::umask(m);
        return m;
    }();
    return mask;
}

void checkFolder(const fs::path& folder, const std::string& name) {
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0) {
        if (errno == ENOENT)
            throw GameError(ErrorKind::FileWrite, name,
                            "(the folder " + folder.string() + " does not exist)");
        throw GameError(ErrorKind::FileWrite, name, reason(folder.string(), errno));
    }
    if (!S_ISDIR(status.st_mode))
        throw GameError(ErrorKind::FileWrite, name, "(" + folder.string() + " is not a folder)");
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        throw GameError(ErrorKind::FileWrite, name, reason(folder.string(), errno));
}

// Throws unless the entry at `target` may be replaced; returns whether a
// regular file is there (its mode in `mode`).
bool checkTarget(const fs::path& target, Existing existing, mode_t* mode = nullptr) {
    const std::string name = target.string();
    if (name.empty()) throw GameError(ErrorKind::FileWrite, "\"\"", "(the file name is empty)");
    if (!target.has_filename() || target.filename() == "." || target.filename() == "..")
        throw GameError(ErrorKind::NotRegularFile, name, "(it names a folder)");
    struct stat status {};
    if (::lstat(target.c_str(), &status) == 0) {
        if (!S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode))
            throw GameError(ErrorKind::NotRegularFile, name,
                            S_ISDIR(status.st_mode) ? "(it is a folder)" : "");
        if (existing == Existing::Refuse)
            throw GameError(ErrorKind::FileExists, name, "(use --force to replace it)");
        if (mode && S_ISREG(status.st_mode)) *mode = status.st_mode & 07777;
        return S_ISREG(status.st_mode);
    }
    if (errno != ENOENT && errno != ENOTDIR)
        throw GameError(ErrorKind::FileWrite, name, reason(errno));
    return false;
}

int syncFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    int error = 0;
    // Some file systems cannot sync a folder at all; that is no failure.
    if (writerCalls().fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP) error = errno;
    ::close(fd);
    return error;
}

}  // namespace

void checkWritable(const fs::path& target, Existing existing) {
    checkTarget(target, existing);
    checkFolder(folderOf(target), target.string());
}

AtomicFile::AtomicFile(fs::path target, Existing existing)
    : AtomicFile(std::move(target), existing, true) {}

AtomicFile::AtomicFile(fs::path target, Existing existing, bool cleanFolder)
    : m_target(std::move(target)) {
    mode_t mode = 0666 & ~fileModeMask();
    checkTarget(m_target, existing, &mode);
    const fs::path folder = folderOf(m_target);
    checkFolder(folder, m_target.string());
    if (cleanFolder) removeStaleTemporaries(folder);
    // The name is known to the signal handler before the file exists, so a
    // Ctrl-C at any moment finds it.
    const std::string stem =
        (folder / ('.' + m_target.filename().string() + std::string(kTemporaryTag))).string();
    for (int attempt = 0; m_fd < 0; ++attempt) {
        const std::string name = stem + randomSuffix();
        track(name);
        m_fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (m_fd >= 0) {
            m_temporary = name;
            break;
        }
        const int error = errno;
        untrack(name);
        if (error != EEXIST || attempt == 100) fail("cannot create a temporary file", error);
    }
    // The lock tells a later writer that this file is being written, not left over.
    ::flock(m_fd, LOCK_EX | LOCK_NB);
    // A replaced file keeps its permissions; a new one gets the usual mode.
    if (::fchmod(m_fd, mode) != 0) fail("", errno);
}

AtomicFile::~AtomicFile() {
    if (!m_committed) discard();
}

void AtomicFile::discard() noexcept {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_temporary.empty()) {
        ::unlink(m_temporary.c_str());
        untrack(m_temporary.string());
    }
    m_temporary.clear();
}

void AtomicFile::fail(const std::string& what, int error) {
    discard();
    throw GameError(ErrorKind::FileWrite, m_target.string(),
                    what.empty() ? reason(error) : reason(what, error));
}

void AtomicFile::write(std::span<const unsigned char> bytes) {
    if (m_fd < 0) fail("the file is already closed", EBADF);
    const unsigned char* at = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = writerCalls().write(m_fd, at, left);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("", errno);
        if (n == 0) fail("", EIO);
        at += n;
        left -= static_cast<std::size_t>(n);
    }
}

void AtomicFile::write(std::string_view text) {
    write({reinterpret_cast<const unsigned char*>(text.data()), text.size()});
}

void AtomicFile::setMode(unsigned mode) {
    if (::fchmod(m_fd, static_cast<mode_t>(mode & 07777)) != 0) fail("", errno);
}

void AtomicFile::writeAt(std::int64_t offset, std::span<const unsigned char> bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(m_fd, bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("", errno);
        done += static_cast<std::size_t>(n);
    }
}

std::int64_t AtomicFile::copySparse(int source) {
    struct stat status {};
    if (::fstat(source, &status) != 0) fail("cannot read the file it replaces", errno);
    const off_t length = status.st_size;
    std::int64_t copied = 0;
    std::vector<unsigned char> buffer;
    // Copies [from, to) of the source; in the kernel where it can, through a
    // buffer where it cannot (another file system, an old kernel).
    auto copyRange = [&](off_t from, off_t to) {
        off_t in = from, out = from;
        while (in < to && buffer.empty()) {
            const ssize_t n =
                ::copy_file_range(source, &in, m_fd, &out, static_cast<std::size_t>(to - in), 0);
            if (n > 0) continue;
            if (n == 0) break;  // the source shrank meanwhile
            if (errno == EINTR) continue;
            if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
                fail("", errno);
            buffer.resize(std::size_t{1} << 20);
        }
        while (in < to && !buffer.empty()) {
            const ssize_t n =
                ::pread(source, buffer.data(),
                        std::min(buffer.size(), static_cast<std::size_t>(to - in)), in);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) fail("cannot read the file it replaces", errno);
            if (n == 0) break;
            writeAt(in, {buffer.data(), static_cast<std::size_t>(n)});
            in += n;
        }
        copied += in - from;
    };
    off_t at = 0;
    while (at < length) {
        off_t data = ::lseek(source, at, SEEK_DATA);
        off_t hole = length;
        if (data < 0 && errno == ENXIO) break;  // nothing but a hole from here
        if (data < 0) {
            data = at;  // a file system that cannot tell: copy everything
        } else {
            hole = ::lseek(source, data, SEEK_HOLE);
            if (hole < 0 || hole > length) hole = length;
        }
        copyRange(data, hole);
        at = hole;
    }
    if (::ftruncate(m_fd, length) != 0) fail("", errno);
    return copied;
}

void AtomicFile::finishTemporary() {
    if (m_fd < 0) fail("the file is already closed", EBADF);
    if (writerCalls().fsync(m_fd) != 0) fail("", errno);
    const int fd = std::exchange(m_fd, -1);
    // Even a failed close has released the descriptor: never close it twice.
    if (writerCalls().close(fd) != 0) fail("", errno);
}

void AtomicFile::commit() {
    finishTemporary();
    if (writerCalls().rename(m_temporary.c_str(), m_target.c_str()) != 0) fail("", errno);
    untrack(m_temporary.string());
    m_temporary.clear();
    m_committed = true;
    if (const int error = syncFolder(folderOf(m_target)))
        throw GameError(ErrorKind::FileWrite, m_target.string(),
                        reason("written, but the folder could not be synced", error));
}

void writeFileAtomically(const fs::path& target, std::span<const unsigned char> bytes,
                         Existing existing) {
    AtomicFile file(target, existing);
    file.write(bytes);
    file.commit();
}

void writeFileAtomically(const fs::path& target, std::string_view text, Existing existing) {
    AtomicFile file(target, existing);
    file.write(text);
    file.commit();
}

// ---------------------------------------------------------------------------

void checkSetWritable(const fs::path& folder, std::span<const fs::path> names, Existing existing) {
    struct stat status {};
    if (::stat(folder.c_str(), &status) == 0) {
        if (!S_ISDIR(status.st_mode))
            throw GameError(ErrorKind::FileWrite, folder.string(), "(it is not a folder)");
        for (const fs::path& name : names) checkTarget(folder / name, existing);
        checkFolder(folder, folder.string());
        return;
    }
    // A folder still to be made: its nearest existing parent must take it.
    fs::path parent = folder.parent_path();
    while (!parent.empty() && ::stat(parent.c_str(), &status) != 0 && errno == ENOENT)
        parent = parent.parent_path();
    if (parent.empty()) parent = ".";
    checkFolder(parent, folder.string());
}

FileSet::FileSet(fs::path folder, Existing existing)
    : m_folder(std::move(folder)), m_existing(existing) {
    if (m_folder.empty()) m_folder = ".";
    fs::path prefix;
    for (const fs::path& part : m_folder) {
        prefix /= part;
        if (writerCalls().mkdir(prefix.c_str(), 0777) == 0) {
            m_createdFolders.push_back(prefix.string());
            track(prefix.string(), true);
            continue;
        }
        const int error = errno;
        struct stat status {};
        if (::stat(prefix.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) continue;
        discard();
        if (error == EEXIST)
            throw GameError(ErrorKind::FileWrite, m_folder.string(),
                            "(" + prefix.string() + " is not a folder)");
        throw GameError(ErrorKind::FileWrite, m_folder.string(),
                        reason("cannot create the folder " + prefix.string(), error));
    }
    checkFolder(m_folder, m_folder.string());
    removeStaleTemporaries(m_folder);
}

FileSet::~FileSet() {
    if (!m_committed) discard();
}

void FileSet::discard() noexcept {
    for (Placed& file : m_files) {
        if (!file.temporary.empty()) {
            ::unlink(file.temporary.c_str());
            untrack(file.temporary);
        }
        if (!file.backup.empty()) ::unlink(file.backup.c_str());
    }
    m_files.clear();
    for (auto it = m_createdFolders.rbegin(); it != m_createdFolders.rend(); ++it) {
        ::rmdir(it->c_str());
        untrack(*it);
    }
    m_createdFolders.clear();
}

void FileSet::add(const fs::path& name, std::span<const unsigned char> bytes) {
    try {
        AtomicFile file(m_folder / name, m_existing, false);
        file.write(bytes);
        file.finishTemporary();
        // The set owns the temporary file from here on.
        m_files.push_back({file.m_target, file.m_temporary.string(), {}});
        file.m_temporary.clear();
        file.m_committed = true;
    } catch (...) {
        discard();
        throw;
    }
}

void FileSet::add(const fs::path& name, std::string_view text) {
    add(name, {reinterpret_cast<const unsigned char*>(text.data()), text.size()});
}

void FileSet::rollBack(std::size_t placed) noexcept {
    for (std::size_t i = 0; i < placed; ++i) {
        Placed& file = m_files[i];
        if (!file.backup.empty()) {
            if (::rename(file.backup.c_str(), file.target.c_str()) == 0) file.backup.clear();
        } else {
            ::unlink(file.target.c_str());
        }
    }
}

void FileSet::commit() {
    // From the first kept link to the last rename the ending signals are
    // held back, so a Ctrl-C never leaves the folder half old, half new.
    sigset_t ending, previous;
    sigemptyset(&ending);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ending, signal);
    ::pthread_sigmask(SIG_BLOCK, &ending, &previous);
    // Keep a second link to every file about to be replaced (a link stays a
    // link), so a failed rename can put the old set back.
    for (Placed& file : m_files) {
        struct stat status {};
        if (::lstat(file.target.c_str(), &status) != 0) continue;
        std::string backup = file.temporary + "-old";
        if (writerCalls().link(file.target.c_str(), backup.c_str()) != 0) {
            const int error = errno;
            const std::string target = file.target.string();
            discard();
            ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
            throw GameError(ErrorKind::FileWrite, target,
                            reason("cannot keep the old file", error));
        }
        file.backup = std::move(backup);
    }
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        Placed& file = m_files[i];
        if (writerCalls().rename(file.temporary.c_str(), file.target.c_str()) != 0) {
            const int error = errno;
            const std::string target = file.target.string();
            rollBack(i);
            discard();
            ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
            throw GameError(ErrorKind::FileWrite, target, reason(error));
        }
        untrack(file.temporary);
        file.temporary.clear();
    }
    m_committed = true;
    for (Placed& file : m_files)
        if (!file.backup.empty()) ::unlink(file.backup.c_str());
    for (const std::string& created : m_createdFolders) untrack(created);
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    int error = syncFolder(m_folder);
    // A new folder's own entry lives in its parent.
    if (!error && !m_createdFolders.empty())
        error = syncFolder(folderOf(fs::path(m_createdFolders.front())));
    if (error)
        throw GameError(ErrorKind::FileWrite, m_folder.string(),
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
