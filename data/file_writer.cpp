// The atomic single file: a temporary file beside the target, renamed over it.
#include "data/file_writer.h"

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

#include "data/errors.h"
#include "data/platform.h"
#include "data/stale_files.h"
#include "data/system_calls.h"
#include "data/temporary_registry.h"
#include "data/write_checks.h"
#include "data/writer_calls.h"

namespace karnwick {

namespace fs = std::filesystem;
using namespace writer;

void checkWritable(const fs::path& target, Existing existing) {
    if (isNullDevice(target)) return;
    checkTarget(target, existing);
    checkFolder(folderOf(target), platform::pathText(target));
}

AtomicFile::AtomicFile(fs::path target, Existing existing)
    : AtomicFile(std::move(target), existing, true) {}

AtomicFile::AtomicFile(fs::path target, Existing existing, bool cleanFolder)
    : m_target(std::move(target)), m_slot(kUntracked) {
    if (isNullDevice(m_target)) {
        // Written straight, every write still checked; nothing to rename.
        m_nullDevice = true;
        m_fd = sys::openAt(m_target, sys::Open::Write);
        if (m_fd < 0) fail("", errno);
        return;
    }
    sys::Status old;
    const bool replacing = checkTarget(m_target, existing, &old);
    const fs::path folder = folderOf(m_target);
    checkFolder(folder, platform::pathText(m_target));
    if (cleanFolder) removeStaleTemporariesIfIdle(folder);
    // The name is known to the signal handler before the file exists, so a
    // Ctrl-C at any moment finds it.
    const std::string stem = platform::pathText(
        folder / ('.' + m_target.filename().string() + std::string(kTemporaryTag)));
    for (int attempt = 0; m_fd < 0; ++attempt) {
        const std::string name = stem + randomSuffix();
        m_slot = track(name);
        m_fd = sys::openAt(platform::pathFromText(name), sys::Open::CreateNew);
        if (m_fd >= 0) {
            m_temporary = platform::pathFromText(name);
            break;
        }
        const int error = errno;
        untrack(m_slot);
        if (error != EEXIST || attempt == 100) fail("cannot create a temporary file", error);
    }
    // The lock tells every other command that this file is being written,
    // not left over; it is held until the file has its real name.
    if (sys::tryLock(m_fd) != 0) fail("cannot lock the temporary file", errno);
    // A replaced file keeps its owner and group, which only root can give
    // away: a user's edit of a file someone else owns leaves the file theirs.
    // The owner goes first, since fchown clears the set-id bits.
    if (replacing && sys::giveOwner(m_fd, old) != 0 && sys::isSuperUser())
        fail("cannot give the new file the old one's owner", errno);
    // A replaced file keeps its permissions; a new one gets the usual mode.
    const std::uint32_t mode = replacing ? old.mode : 0666 & ~sys::fileModeMask();
    if (sys::setMode(m_fd, mode) != 0) fail("", errno);
}

AtomicFile::~AtomicFile() {
    if (!m_committed) discard();
}

void AtomicFile::releaseLock() noexcept {
    if (m_lockFd >= 0) sys::closeFile(m_lockFd);
    m_lockFd = -1;
}

void AtomicFile::discard() noexcept {
    if (m_fd >= 0) sys::closeFile(m_fd);
    m_fd = -1;
    if (!m_temporary.empty()) sys::removeFile(m_temporary);
    // Unlocked only once the name is gone, so no other command removes it first.
    releaseLock();
    untrack(m_slot);
    m_temporary.clear();
}

void AtomicFile::fail(const std::string& what, int error) {
    discard();
    throw GameError(ErrorKind::FileWrite, platform::pathText(m_target),
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
    sys::Status status;
    if (sys::statusOf(source, status) != 0) fail("cannot read the file it replaces", errno);
    const std::int64_t length = status.size;
    std::int64_t copied = 0;
    std::vector<unsigned char> buffer;
    // Copies [from, to) of the source; in the kernel where it can, through a
    // buffer where it cannot (another file system, an old kernel).
    auto copyRange = [&](std::int64_t from, std::int64_t to) {
        off_t in = static_cast<off_t>(from), out = static_cast<off_t>(from);
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
            const std::int64_t n =
                sys::readAt(source, buffer.data(),
                            std::min(buffer.size(), static_cast<std::size_t>(to - in)), in);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) fail("cannot read the file it replaces", errno);
            if (n == 0) break;
            writeAt(in, {buffer.data(), static_cast<std::size_t>(n)});
            in += n;
        }
        copied += in - from;
    };
    std::int64_t at = 0;
    while (at < length) {
        std::int64_t data = sys::nextData(source, at);
        std::int64_t hole = length;
        if (data < 0 && errno == ENXIO) break;  // nothing but a hole from here
        if (data < 0) {
            data = at;  // a file system that cannot tell: copy everything
        } else {
            hole = sys::nextHole(source, data);
            if (hole < 0 || hole > length) hole = length;
        }
        copyRange(data, hole);
        at = hole;
    }
    if (!m_nullDevice && sys::truncate(m_fd, length) != 0) fail("", errno);
    return copied;
}

void AtomicFile::finishTemporary() {
    if (m_fd < 0) fail("the file is already closed", EBADF);
    if (writerCalls().fsync(m_fd) != 0) fail("", errno);
    sys::Status status;
    if (sys::statusOf(m_fd, status) != 0) fail("", errno);
    m_inode = status.index;
    // A second descriptor keeps the lock (which belongs to the open file,
    // not the descriptor) while the first one's close is checked.
    m_lockFd = sys::duplicate(m_fd);
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
    if (writerCalls().rename(platform::pathText(m_temporary).c_str(),
                             platform::pathText(m_target).c_str()) != 0)
        fail("", errno);
    untrack(m_slot);
    releaseLock();
    m_temporary.clear();
    m_committed = true;
    if (const int error = syncFolder(folderOf(m_target)))
        throw GameError(ErrorKind::FileWrite, platform::pathText(m_target),
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

}  // namespace karnwick
