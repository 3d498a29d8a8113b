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
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "data/errors.h"

namespace karnwick {

namespace fs = std::filesystem;

WriterCalls& writerCalls() {
    static WriterCalls calls{
        ::write,
        ::fsync,
        ::close,
        ::rename,
        ::link,
        ::mkdir,
        ::pwrite,
        ::copy_file_range,
        [](const char* from, const char* to) {
            return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
        },
        [](const char* a, const char* b) {
            return ::renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE);
        },
    };
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
// freed; the mutex only orders the threads that add and remove entries. A
// path is freed only when no handler has started: one that has started ends
// the program, so the path it may be reading is simply never freed.

struct Slot {
    std::atomic<char*> path{nullptr};
    std::atomic<bool> folder{false};
};

constexpr std::size_t kUntracked = SIZE_MAX;
constexpr std::size_t kSlotsPerChunk = 1024;
constexpr std::size_t kChunks = 1024;
std::atomic<Slot*> g_chunks[kChunks];
std::atomic<std::size_t> g_slotsUsed{0};
std::atomic<bool> g_handlerStarted{false};
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

void endProgram(int signal) noexcept {
    g_handlerStarted.store(true);
    removeRegistered();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Commits going on now, on any thread, and an ending signal that came
// meanwhile: the last commit to finish ends the program for it. A signal
// mask covers only its own thread, and in the arena a signal may land on
// any of several, so the handler itself holds the signal back.
std::atomic<int> g_commits{0};
std::atomic<int> g_heldSignal{0};

extern "C" void removeTemporariesAndEnd(int signal) {
    if (g_commits.load() > 0) {
        g_heldSignal.store(signal);
        if (g_commits.load() > 0) return;
        // The last commit ended meanwhile and may not have seen it.
        signal = g_heldSignal.exchange(0);
        if (signal == 0) return;
    }
    endProgram(signal);
}

// Only a signal that would end the program is taken over; one the program
// ignores (started with nohup) or handles itself is left alone.
void installSignalHandlers() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        if (::sigaction(signal, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_handler = removeTemporariesAndEnd;
        // A signal held back returns to whatever the thread it landed on was doing.
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
}

// Returns the slot to give back to untrack.
std::size_t track(const std::string& path, bool folder = false) {
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
            return kUntracked;  // still removed on a failure, only not on a signal
        if (!g_chunks[index / kSlotsPerChunk].load())
            g_chunks[index / kSlotsPerChunk].store(new Slot[kSlotsPerChunk]);
        g_slotsUsed.store(index + 1);
    }
    slotAt(index).folder.store(folder);
    slotAt(index).path.store(::strdup(path.c_str()));
    return index;
}

void untrack(std::size_t& index) noexcept {
    if (index == kUntracked) return;
    std::lock_guard lock(g_registryMutex);
    char* path = slotAt(index).path.exchange(nullptr);
    if (!g_handlerStarted.load()) std::free(path);
    freeSlots().push_back(index);
    index = kUntracked;
}

// From the first change of a set's commit to its last, the ending signals
// wait, on every thread, so a Ctrl-C never leaves a folder half old, half
// new; one that came meanwhile ends the program once the set is whole.
class HeldBackSignals {
  public:
    HeldBackSignals() {
        sigset_t ending;
        sigemptyset(&ending);
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ending, signal);
        ::pthread_sigmask(SIG_BLOCK, &ending, &m_previous);
        g_commits.fetch_add(1);
        // A handler already at work ends the program before this commit starts.
        while (g_handlerStarted.load()) ::pause();
    }
    ~HeldBackSignals() {
        const bool last = g_commits.fetch_sub(1) == 1;
        ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
        if (last)
            if (const int signal = g_heldSignal.exchange(0)) endProgram(signal);
    }
    HeldBackSignals(const HeldBackSignals&) = delete;
    HeldBackSignals& operator=(const HeldBackSignals&) = delete;

  private:
    sigset_t m_previous;
};

// Whether this program is writing the file now (a file of a pending set
// holds no lock of its own once it is written).
bool isTracked(const fs::path& path) {
    const std::string name = path.string();
    std::lock_guard lock(g_registryMutex);
    const std::size_t used = g_slotsUsed.load();
    for (std::size_t i = 0; i < used; ++i) {
        const char* tracked = slotAt(i).path.load();
        if (tracked && name == tracked) return true;
    }
    return false;
}

// ---------------------------------------------------------------------------

constexpr const char* kCommitNote = ".karnwick-commit";

bool isTemporaryName(std::string_view name) {
    if (name.size() < 2 || name[0] != '.') return false;
    if (name.ends_with("-old")) name.remove_suffix(4);
    const std::size_t tag = name.rfind(kTemporaryTag);
    return tag != std::string_view::npos && tag > 1 &&
           name.size() == tag + kTemporaryTag.size() + 6;
}

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

// A temporary file nobody holds a lock on was left by a writer that ended
// without cleaning up (kill -9, a power cut): its target was never touched,
// so it is only clutter. The caller holds the folder exclusively, so no set
// of another command is between its writes and its commit; a set whose
// commit was interrupted names its files in its note and is left alone.
void removeStaleTemporaries(const fs::path& folder) noexcept {
    if (hasInterruptedSet(folder)) return;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    const int dirFd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (!isTemporaryName(entry->d_name) || isTracked(folder / entry->d_name)) continue;
        const int fd = ::openat(dirFd, entry->d_name,
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) continue;
        struct stat status {};
        if (::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
            removeStaleBuild(dirFd, entry->d_name);
        } else if (S_ISREG(status.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            ::unlinkat(dirFd, entry->d_name, 0);
        }
        ::close(fd);
    }
    ::closedir(dir);
}

// Clears leftovers beside a single file's write, only when no other command
// holds the folder: a busy folder keeps them until a later write.
void removeStaleTemporariesIfIdle(const fs::path& folder) noexcept {
    try {
        if (const auto lock = FolderLock::tryWrite(folder)) removeStaleTemporaries(folder);
    } catch (...) {
    }
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

// Whether the user may not write the regular file `path` (whose status is
// `status`): root passes every permission check, so for root a file without
// any write bit counts as protected, as it does for everyone else.
bool isWriteProtected(const fs::path& path, const struct stat& status) {
    if (::geteuid() == 0) return (status.st_mode & 0222) == 0;
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES;
}

// Throws unless the entry at `target` may be replaced; returns whether a
// regular file is there (its status in `found`).
bool checkTarget(const fs::path& target, Existing existing, struct stat* found = nullptr) {
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
        if (!S_ISREG(status.st_mode)) return false;
        if (existing == Existing::ReplaceUnprotected && isWriteProtected(target, status))
            throw GameError(ErrorKind::WriteProtected, name, "(use --force to replace it)");
        if (found) *found = status;
        return true;
    }
    if (errno != ENOENT && errno != ENOTDIR)
        throw GameError(ErrorKind::FileWrite, name, reason(errno));
    return false;
}

// The null device: the one target that is no regular file and still taken
// (`-o /dev/null`, to run a command for its checks alone). Known by its
// device number, so only /dev/null itself or another node of it qualifies.
bool isNullDevice(const fs::path& target) {
    struct stat at {
    }, null{};
    return ::lstat(target.c_str(), &at) == 0 && S_ISCHR(at.st_mode) &&
           ::stat("/dev/null", &null) == 0 && S_ISCHR(null.st_mode) && at.st_rdev == null.st_rdev;
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
    if (isNullDevice(target)) return;
    checkTarget(target, existing);
    checkFolder(folderOf(target), target.string());
}

AtomicFile::AtomicFile(fs::path target, Existing existing)
    : AtomicFile(std::move(target), existing, true) {}

AtomicFile::AtomicFile(fs::path target, Existing existing, bool cleanFolder)
    : m_target(std::move(target)), m_slot(kUntracked) {
    if (isNullDevice(m_target)) {
        // Written straight, every write still checked; nothing to rename.
        m_nullDevice = true;
        m_fd = ::open(m_target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (m_fd < 0) fail("", errno);
        return;
    }
    struct stat old {};
    const bool replacing = checkTarget(m_target, existing, &old);
    const fs::path folder = folderOf(m_target);
    checkFolder(folder, m_target.string());
    if (cleanFolder) removeStaleTemporariesIfIdle(folder);
    // The name is known to the signal handler before the file exists, so a
    // Ctrl-C at any moment finds it.
    const std::string stem =
        (folder / ('.' + m_target.filename().string() + std::string(kTemporaryTag))).string();
    for (int attempt = 0; m_fd < 0; ++attempt) {
        const std::string name = stem + randomSuffix();
        m_slot = track(name);
        m_fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (m_fd >= 0) {
            m_temporary = name;
            break;
        }
        const int error = errno;
        untrack(m_slot);
        if (error != EEXIST || attempt == 100) fail("cannot create a temporary file", error);
    }
    // The lock tells every other command that this file is being written,
    // not left over; it is held until the file has its real name.
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) fail("cannot lock the temporary file", errno);
    // A replaced file keeps its owner and group, which only root can give
    // away: a user's edit of a file someone else owns leaves the file theirs.
    // The owner goes first, since fchown clears the set-id bits.
    if (replacing && ::fchown(m_fd, old.st_uid, old.st_gid) != 0 && ::geteuid() == 0)
        fail("cannot give the new file the old one's owner", errno);
    // A replaced file keeps its permissions; a new one gets the usual mode.
    const mode_t mode = replacing ? old.st_mode & 07777 : 0666 & ~fileModeMask();
    if (::fchmod(m_fd, mode) != 0) fail("", errno);
}

AtomicFile::~AtomicFile() {
    if (!m_committed) discard();
}

void AtomicFile::releaseLock() noexcept {
    if (m_lockFd >= 0) ::close(m_lockFd);
    m_lockFd = -1;
}

void AtomicFile::discard() noexcept {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
    // Unlocked only once the name is gone, so no other command removes it first.
    releaseLock();
    untrack(m_slot);
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

void AtomicFile::writeAt(std::int64_t offset, std::span<const unsigned char> bytes) {
    if (m_fd < 0) fail("the file is already closed", EBADF);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            writerCalls().pwrite(m_fd, bytes.data() + done, bytes.size() - done,
                                 static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("", errno);
        if (n == 0) fail("", EIO);
        done += static_cast<std::size_t>(n);
    }
}

std::int64_t AtomicFile::copySparse(int source) {
    if (m_fd < 0) fail("the file is already closed", EBADF);
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
            const ssize_t n = writerCalls().copyFileRange(source, &in, m_fd, &out,
                                                          static_cast<std::size_t>(to - in), 0);
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
    if (!m_nullDevice && ::ftruncate(m_fd, length) != 0) fail("", errno);
    return copied;
}

void AtomicFile::finishTemporary() {
    if (m_fd < 0) fail("the file is already closed", EBADF);
    if (writerCalls().fsync(m_fd) != 0) fail("", errno);
    struct stat status {};
    if (::fstat(m_fd, &status) != 0) fail("", errno);
    m_inode = status.st_ino;
    // A second descriptor keeps the lock (which belongs to the open file,
    // not the descriptor) while the first one's close is checked.
    m_lockFd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    if (m_lockFd < 0) fail("", errno);
    const int fd = std::exchange(m_fd, -1);
    // Even a failed close has released the descriptor: never close it twice.
    if (writerCalls().close(fd) != 0) fail("", errno);
}

void AtomicFile::commit() {
    if (m_nullDevice) {
        const int fd = std::exchange(m_fd, -1);
        m_committed = true;
        if (writerCalls().close(fd) != 0) fail("", errno);
        return;
    }
    finishTemporary();
    if (writerCalls().rename(m_temporary.c_str(), m_target.c_str()) != 0) fail("", errno);
    untrack(m_slot);
    releaseLock();
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
// The commit note of a set: a header line, then one line per file,
//   <new inode> <old inode or 0> <length>:<target><length>:<temporary><length>:<backup>
// with every name relative to the folder, so any bytes a name holds survive.

namespace {

constexpr std::string_view kNoteHeader = "karnwick set commit\n";

struct NoteEntry {
    std::uint64_t newInode = 0;
    std::uint64_t oldInode = 0;
    std::string target, temporary, backup;
};

void appendName(std::string& note, const std::string& name) {
    note += std::to_string(name.size());
    note += ':';
    note += name;
}

// A name of an entry of the folder itself: no path, no "." or "..".
bool isPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

std::optional<std::vector<NoteEntry>> parseNote(std::string_view note) {
    if (!note.starts_with(kNoteHeader)) return std::nullopt;
    note.remove_prefix(kNoteHeader.size());
    auto number = [&](char end) -> std::optional<std::uint64_t> {
        const std::size_t stop = note.find(end);
        if (stop == 0 || stop == std::string_view::npos || stop > 20) return std::nullopt;
        std::uint64_t value = 0;
        for (const char c : note.substr(0, stop)) {
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + static_cast<std::uint64_t>(c - '0');
        }
        note.remove_prefix(stop + 1);
        return value;
    };
    auto name = [&]() -> std::optional<std::string> {
        const auto length = number(':');
        if (!length || *length > note.size()) return std::nullopt;
        std::string text(note.substr(0, *length));
        note.remove_prefix(*length);
        return text;
    };
    std::vector<NoteEntry> entries;
    while (!note.empty()) {
        NoteEntry entry;
        const auto newInode = number(' '), oldInode = number(' ');
        if (!newInode || !oldInode) return std::nullopt;
        entry.newInode = *newInode;
        entry.oldInode = *oldInode;
        auto target = name(), temporary = name(), backup = name();
        // A folder from anyone may carry a note: it names files of this
        // folder only, and the writer's own names for the kept ones, or it
        // is no note of ours.
        auto writers = [](const std::string& kept) {
            return isPlainName(kept) && isTemporaryName(kept);
        };
        if (!target || !temporary || !backup || !isPlainName(*target) || !writers(*temporary) ||
            (!backup->empty() && !writers(*backup)) || !note.starts_with('\n'))
            return std::nullopt;
        note.remove_prefix(1);
        entry.target = std::move(*target);
        entry.temporary = std::move(*temporary);
        entry.backup = std::move(*backup);
        entries.push_back(std::move(entry));
    }
    return entries;
}

// The inode at `path` (not following a link), or 0 when nothing is there.
std::uint64_t inodeAt(const fs::path& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

std::string readNote(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw GameError(ErrorKind::FileAccess, file.string(), reason(errno));
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            throw GameError(ErrorKind::FileAccess, file.string(), reason(error));
        }
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

}  // namespace

bool hasInterruptedSet(const fs::path& folder) {
    return ::faccessat(AT_FDCWD, (folder / kCommitNote).c_str(), F_OK, AT_SYMLINK_NOFOLLOW) == 0;
}

void finishInterruptedSet(const fs::path& folder) {
    const fs::path noteFile = folder / kCommitNote;
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        throw GameError(ErrorKind::FileAccess, folder.string(),
                        "(a karnwick command that stopped left a set of game files half "
                        "replaced there, and the folder cannot be written to finish it: " +
                            std::string(std::strerror(errno)) + ")");
    }
    const auto entries = parseNote(readNote(noteFile));
    if (!entries)
        throw GameError(ErrorKind::FileAccess, noteFile.string(),
                        "(not a commit note karnwick wrote: move it away to read the folder)");
    // Forward when every new file is in place or whole in its temporary file
    // (each was fsync'ed before the note was written); otherwise back.
    bool forward = true;
    for (const NoteEntry& e : *entries) {
        const bool placed = inodeAt(folder / e.target) == e.newInode;
        const bool waiting = inodeAt(folder / e.temporary) == e.newInode;
        forward = forward && (placed || waiting);
    }
    std::string missing;
    for (const NoteEntry& e : *entries) {
        const fs::path target = folder / e.target, temporary = folder / e.temporary;
        const bool placed = inodeAt(target) == e.newInode;
        if (forward) {
            if (!placed && writerCalls().rename(temporary.c_str(), target.c_str()) != 0)
                missing += " " + e.target;
        } else if (placed) {
            const fs::path backup = folder / e.backup;
            if (e.oldInode == 0)
                ::unlink(target.c_str());
            else if (!e.backup.empty() && inodeAt(backup) == e.oldInode)
                writerCalls().rename(backup.c_str(), target.c_str());
            if (inodeAt(target) != e.oldInode) missing += " " + e.target;
        } else {
            ::unlink(temporary.c_str());
        }
    }
    if (!missing.empty()) {
        throw GameError(ErrorKind::FileAccess, folder.string(),
                        "(a set of game files there was left half replaced, and neither the "
                        "old nor the new version can be put back for:" +
                            missing + ")");
    }
    syncFolder(folder);
    // The old files are now either replaced for good or back in place: only
    // then do their kept links go, and the note last of all.
    for (const NoteEntry& e : *entries) {
        if (e.backup.empty()) continue;
        const fs::path backup = folder / e.backup;
        if (forward || inodeAt(folder / e.target) == e.oldInode) ::unlink(backup.c_str());
    }
    if (::unlink(noteFile.c_str()) != 0 && errno != ENOENT)
        throw GameError(ErrorKind::FileWrite, noteFile.string(), reason(errno));
    syncFolder(folder);
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

namespace {

// "out/" names the folder "out".
fs::path setFolder(fs::path folder) {
    folder = folder.lexically_normal();
    if (folder.empty()) return ".";
    if (!folder.has_filename() && folder.has_parent_path()) folder = folder.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

}  // namespace

// Whether `folder` (whose status is `status`) can be swapped for a new
// folder built beside it: a folder of its own at that name, in a parent on
// the same file system that may be written.
bool canSwapFolder(const fs::path& folder, const struct stat& status) {
    struct stat named {
    }, parent{};
    const fs::path name = folder.filename();
    return name != "." && name != ".." && ::lstat(folder.c_str(), &named) == 0 &&
           S_ISDIR(named.st_mode) && ::stat(folderOf(folder).c_str(), &parent) == 0 &&
           parent.st_dev == status.st_dev && ::access(folderOf(folder).c_str(), W_OK | X_OK) == 0;
}

FileSet::FileSet(fs::path folder, Existing existing, SetCommit how)
    : m_folder(setFolder(std::move(folder))), m_existing(existing), m_buildSlot(kUntracked) {
    struct stat status {};
    if (::stat(m_folder.c_str(), &status) == 0) {
        if (!S_ISDIR(status.st_mode))
            throw GameError(ErrorKind::FileWrite, m_folder.string(),
                            "(" + m_folder.string() + " is not a folder)");
        checkFolder(m_folder, m_folder.string());
        if (how == SetCommit::InPlace) {
            m_lock = std::make_unique<FolderLock>(m_folder, FolderAccess::Write);
            removeStaleTemporaries(m_folder);
            m_writeFolder = m_folder;
            return;
        }
        try {
            const fs::path parent = folderOf(m_folder);
            m_build = canSwapFolder(m_folder, status) ? Build::Beside : Build::Inside;
            if (m_build == Build::Beside) {
                removeStaleTemporariesIfIdle(parent);
                makeBuildFolder(parent / ('.' + m_folder.filename().string()));
            } else {
                makeBuildFolder(m_folder / ".set");
            }
        } catch (...) {
            discard();
            throw;
        }
        return;
    }
    if (errno != ENOENT && errno != ENOTDIR)
        throw GameError(ErrorKind::FileWrite, m_folder.string(), reason(errno));
    const fs::path parent = folderOf(m_folder);
    m_build = Build::NewFolder;
    try {
        makeParents(parent);
        checkFolder(parent, m_folder.string());
        removeStaleTemporariesIfIdle(parent);
        makeBuildFolder(parent / ('.' + m_folder.filename().string()));
    } catch (...) {
        discard();
        throw;
    }
}

// The hidden folder "<stem>.karnwick-XXXXXX" the set is built in, locked
// while it is built so no other command takes it for the leftover of a
// killed one. Until it is locked another command may do just that; it is
// then made again under another name.
void FileSet::makeBuildFolder(const fs::path& stem) {
    for (int attempt = 0;; ++attempt) {
        const std::string name = stem.string() + std::string(kTemporaryTag) + randomSuffix();
        m_buildSlot = track(name, true);
        int error = 0;
        if (writerCalls().mkdir(name.c_str(), 0777) != 0) {
            error = errno;
        } else {
            m_writeFolder = name;
            m_buildFd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            struct stat open {
            }, named{};
            if (m_buildFd >= 0 && ::flock(m_buildFd, LOCK_EX | LOCK_NB) == 0 &&
                ::fstat(m_buildFd, &open) == 0 && ::lstat(name.c_str(), &named) == 0 &&
                open.st_ino == named.st_ino && open.st_dev == named.st_dev)
                return;
            if (m_buildFd >= 0) ::close(m_buildFd);
            m_buildFd = -1;
            ::rmdir(name.c_str());
            m_writeFolder.clear();
            error = attempt < 100 ? EEXIST : EAGAIN;  // taken away meanwhile: another name
        }
        untrack(m_buildSlot);
        if (error != EEXIST || attempt == 100)
            throw GameError(ErrorKind::FileWrite, m_folder.string(),
                            reason("cannot create the folder " + m_folder.string(), error));
    }
}

void FileSet::makeParents(const fs::path& parent) {
    fs::path prefix;
    for (const fs::path& part : parent) {
        prefix /= part;
        if (writerCalls().mkdir(prefix.c_str(), 0777) == 0) {
            m_createdFolders.emplace_back(prefix.string(), track(prefix.string(), true));
            continue;
        }
        const int error = errno;
        struct stat status {};
        if (::stat(prefix.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) continue;
        if (error == EEXIST)
            throw GameError(ErrorKind::FileWrite, m_folder.string(),
                            "(" + prefix.string() + " is not a folder)");
        throw GameError(ErrorKind::FileWrite, m_folder.string(),
                        reason("cannot create the folder " + prefix.string(), error));
    }
}

FileSet::~FileSet() {
    if (!m_committed) discard();
}

void FileSet::discard() noexcept {
    for (const std::string& carried : m_carried) ::unlink(carried.c_str());
    m_carried.clear();
    for (Placed& file : m_files) {
        if (!file.temporary.empty()) ::unlink(file.temporary.c_str());
        untrack(file.slot);
    }
    m_files.clear();
    if (m_buildFd >= 0) ::close(m_buildFd);
    m_buildFd = -1;
    if (m_buildSlot != kUntracked) {
        ::rmdir(m_writeFolder.c_str());
        untrack(m_buildSlot);
    }
    for (auto it = m_createdFolders.rbegin(); it != m_createdFolders.rend(); ++it) {
        ::rmdir(it->first.c_str());
        untrack(it->second);
    }
    m_createdFolders.clear();
}

void FileSet::add(const fs::path& name, std::span<const unsigned char> bytes) {
    try {
        AtomicFile file(m_writeFolder / name, m_existing, false);
        file.write(bytes);
        file.finishTemporary();
        // The set owns the temporary file from here on; the folder lock (or
        // the hidden folder's) keeps it from other commands, so its own lock
        // goes and a set of thousands of files needs no descriptor each.
        m_files.push_back({name, file.m_temporary.string(), file.m_slot, file.m_inode, 0, {}});
        file.m_slot = kUntracked;
        file.m_temporary.clear();
        file.m_committed = true;
        file.releaseLock();
    } catch (...) {
        discard();
        throw;
    }
}

void FileSet::add(const fs::path& name, std::string_view text) {
    add(name, {reinterpret_cast<const unsigned char*>(text.data()), text.size()});
}

void FileSet::commit() {
    if (m_build == Build::Beside || m_build == Build::Inside) {
        // Waited for before the signals are held back: a command that waits
        // can still be stopped.
        m_lock = std::make_unique<FolderLock>(m_folder, FolderAccess::Write);
    }
    const HeldBackSignals heldBack;
    switch (m_build) {
        case Build::InFolder:
            return commitIntoFolder();
        case Build::NewFolder:
            return commitNewFolder();
        case Build::Beside:
        case Build::Inside:
            return commitBuilt();
    }
}

void FileSet::writeCommitNote() {
    std::string note(kNoteHeader);
    for (const Placed& file : m_files) {
        note += std::to_string(file.newInode) + ' ' + std::to_string(file.oldInode) + ' ';
        appendName(note, file.name.string());
        appendName(note, fs::path(file.temporary).filename().string());
        appendName(note,
                   file.backup.empty() ? std::string() : fs::path(file.backup).filename().string());
        note += '\n';
    }
    const fs::path noteFile = m_folder / kCommitNote;
    AtomicFile out(noteFile, Existing::Replace, false);
    out.write(note);
    out.finishTemporary();
    if (writerCalls().rename(out.m_temporary.c_str(), noteFile.c_str()) != 0) {
        const int error = errno;
        throw GameError(ErrorKind::FileWrite, (m_folder / m_files.front().name).string(),
                        reason("cannot write the commit note", error));
    }
    untrack(out.m_slot);
    out.m_temporary.clear();
    out.m_committed = true;
    out.releaseLock();
}

bool FileSet::rollBack(std::size_t placed) noexcept {
    bool whole = true;
    for (std::size_t i = 0; i < placed; ++i) {
        const Placed& file = m_files[i];
        const fs::path target = m_folder / file.name;
        if (!file.backup.empty())
            whole = ::rename(file.backup.c_str(), target.c_str()) == 0 && whole;
        else
            whole = ::unlink(target.c_str()) == 0 && whole;
    }
    return whole;
}

void FileSet::removeBackups() noexcept {
    for (Placed& file : m_files) {
        if (!file.backup.empty()) ::unlink(file.backup.c_str());
        file.backup.clear();
    }
}

void FileSet::commitIntoFolder() {
    if (m_files.empty()) {
        m_committed = true;
        return;
    }
    const fs::path noteFile = m_folder / kCommitNote;
    auto undo = [&](const std::string& target, const std::string& detail) {
        removeBackups();
        ::unlink(noteFile.c_str());
        discard();
        return GameError(ErrorKind::FileWrite, target, detail);
    };
    for (Placed& file : m_files) {
        file.oldInode = inodeAt(m_folder / file.name);
        if (file.oldInode != 0) file.backup = file.temporary + "-old";
    }
    try {
        writeCommitNote();
    } catch (...) {
        removeBackups();
        discard();
        throw;
    }
    // A second link to every file about to be replaced (a link stays a
    // link), so the old set can be put back until the whole new one is in.
    for (Placed& file : m_files) {
        if (file.backup.empty()) continue;
        const fs::path target = m_folder / file.name;
        if (writerCalls().link(target.c_str(), file.backup.c_str()) != 0) {
            const int error = errno;
            file.backup.clear();
            throw undo(target.string(), reason("cannot keep the old file", error));
        }
    }
    if (const int error = syncFolder(m_folder))
        throw undo(m_folder.string(), reason("cannot sync the folder", error));
    for (std::size_t i = 0; i < m_files.size(); ++i) {
        Placed& file = m_files[i];
        const fs::path target = m_folder / file.name;
        if (writerCalls().rename(file.temporary.c_str(), target.c_str()) != 0) {
            const int error = errno;
            if (rollBack(i)) throw undo(target.string(), reason(error));
            // The note stays: the next command to open the folder finishes
            // or undoes the set.
            throw GameError(ErrorKind::FileWrite, target.string(),
                            reason(error) + " (and the old files could not all be put back)");
        }
        file.temporary.clear();
        untrack(file.slot);
    }
    m_committed = true;
    const int error = syncFolder(m_folder);
    removeBackups();
    ::unlink(noteFile.c_str());
    if (error)
        throw GameError(ErrorKind::FileWrite, m_folder.string(),
                        reason("written, but the folder could not be synced", error));
}

// Inside the hidden folder nobody reads: each file gets its own name.
void FileSet::nameBuiltFiles() {
    for (Placed& file : m_files) {
        const fs::path named = m_writeFolder / file.name;
        if (writerCalls().rename(file.temporary.c_str(), named.c_str()) != 0) {
            const int error = errno;
            const std::string target = (m_folder / file.name).string();
            discard();
            throw GameError(ErrorKind::FileWrite, target, reason(error));
        }
        untrack(file.slot);
        file.temporary = named.string();
        file.slot = track(file.temporary);
    }
}

void FileSet::commitNewFolder() {
    nameBuiltFiles();
    int error = syncFolder(m_writeFolder);
    if (!error && writerCalls().renameNoReplace(m_writeFolder.c_str(), m_folder.c_str()) != 0)
        error = errno;
    if (error) {
        discard();
        throw GameError(ErrorKind::FileWrite, m_folder.string(),
                        error == EEXIST || error == ENOTEMPTY
                            ? std::string("(it was made by someone else meanwhile)")
                            : reason(error));
    }
    m_committed = true;
    for (Placed& file : m_files) untrack(file.slot);
    untrack(m_buildSlot);
    for (auto& created : m_createdFolders) untrack(created.second);
    ::close(m_buildFd);
    m_buildFd = -1;
    error = syncFolder(folderOf(m_folder));
    // A new parent's own entry lives in its parent.
    if (!error && !m_createdFolders.empty())
        error = syncFolder(folderOf(fs::path(m_createdFolders.front().first)));
    if (error)
        throw GameError(ErrorKind::FileWrite, m_folder.string(),
                        reason("written, but the folder could not be synced", error));
}

namespace {

// Entries the writer itself keeps in a folder, never the user's.
bool isWriterName(std::string_view name) {
    return isTemporaryName(name) || name == kCommitNote || name == kFolderGateName;
}

}  // namespace

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
        const bool writers = name == kCommitNote || name == kFolderGateName;
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

void writeFileSet(const fs::path& folder, std::span<const SetFile> files, Existing existing) {
    std::vector<fs::path> names;
    for (const SetFile& file : files) names.push_back(file.name);
    checkSetWritable(folder, names, existing);
    FileSet set(folder, existing);
    for (const SetFile& file : files) set.add(file.name, file.bytes);
    set.commit();
}

}  // namespace karnwick
