#include "data/file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <vector>

#include "data/errors.h"

namespace karnwick {

namespace {

std::string reason(int error) {
    return std::string("(") + std::strerror(error) + ")";
}

std::filesystem::path folderOf(const std::filesystem::path& target) {
    const std::filesystem::path parent = target.parent_path();
    return parent.empty() ? std::filesystem::path(".") : parent;
}

}  // namespace

void checkWritable(const std::filesystem::path& target, Existing existing) {
    const std::string name = target.string();
    if (name.empty() || !target.has_filename())
        throw GameError(ErrorKind::FileWrite, name.empty() ? "\"\"" : name, "(no file name)");
    struct stat status {};
    if (::lstat(target.c_str(), &status) == 0) {
        if (!S_ISREG(status.st_mode) && !S_ISLNK(status.st_mode))
            throw GameError(ErrorKind::NotRegularFile, name);
        if (existing == Existing::Refuse)
            throw GameError(ErrorKind::FileExists, name, "(use --force to replace it)");
    } else if (errno != ENOENT) {
        throw GameError(ErrorKind::FileWrite, name, reason(errno));
    }
    const std::filesystem::path folder = folderOf(target);
    struct stat folderStatus {};
    if (::stat(folder.c_str(), &folderStatus) != 0)
        throw GameError(ErrorKind::FileWrite, name, reason(errno));
    if (!S_ISDIR(folderStatus.st_mode))
        throw GameError(ErrorKind::FileWrite, name, reason(ENOTDIR));
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        throw GameError(ErrorKind::FileWrite, name, reason(errno));
}

AtomicFile::AtomicFile(std::filesystem::path target, Existing existing)
    : m_target(std::move(target)) {
    checkWritable(m_target, existing);
    // Hidden, beside the target, unique: ".monsters.tat.XXXXXX".
    std::string pattern =
        (folderOf(m_target) / ('.' + m_target.filename().string() + ".XXXXXX")).string();
    m_fd = ::mkstemp(pattern.data());
    if (m_fd < 0) fail("cannot create a temporary file", errno);
    m_temporary = pattern;
    // mkstemp makes the file 0600; a written file gets the usual mode.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(m_fd, 0666 & ~mask);
}

AtomicFile::~AtomicFile() {
    if (!m_committed) discard();
}

void AtomicFile::discard() noexcept {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
    m_temporary.clear();
}

void AtomicFile::fail(const std::string& what, int error) {
    discard();
    throw GameError(ErrorKind::FileWrite, m_target.string(),
                    what.empty() ? reason(error) : "(" + what + ": " + std::strerror(error) + ")");
}

void AtomicFile::write(std::span<const unsigned char> bytes) {
    const unsigned char* at = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, at, left);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("", errno);
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

void AtomicFile::commit() {
    if (::fsync(m_fd) != 0) fail("", errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) fail("", errno);
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) fail("", errno);
    m_temporary.clear();
    m_committed = true;
    // The rename is in place; a folder that cannot be synced loses nothing
    // that was there before.
    const int folder = ::open(folderOf(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

void writeFileAtomically(const std::filesystem::path& target, std::span<const unsigned char> bytes,
                         Existing existing) {
    AtomicFile file(target, existing);
    file.write(bytes);
    file.commit();
}

void writeFileAtomically(const std::filesystem::path& target, std::string_view text,
                         Existing existing) {
    AtomicFile file(target, existing);
    file.write(text);
    file.commit();
}

}  // namespace karnwick
