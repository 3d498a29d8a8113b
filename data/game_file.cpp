#include "data/game_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "data/errors.h"
#include "data/set_recovery.h"

namespace karnwick {

namespace {

[[noreturn]] void raiseAccess(const std::string& name, int error) {
    throw GameError(ErrorKind::FileAccess, name, "(" + std::string(std::strerror(error)) + ")");
}

}  // namespace

GameFile::GameFile(const std::filesystem::path& path) : m_name(path.string()) {
    // Every reader of a game file comes through here, so a set that a killed
    // command left half replaced is finished before any of it is read.
    settleGameFolder(path.parent_path());
    // O_NONBLOCK keeps a FIFO without a writer from hanging the open; it is
    // cleared again once the file is known to be a regular one.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT) return;  // a missing game file reads as an empty one
        raiseAccess(m_name, errno);
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        raiseAccess(m_name, error);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        throw GameError(ErrorKind::NotRegularFile, m_name);
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd);
        raiseAccess(m_name, error);
    }
    m_fd = fd;
}

GameFile::~GameFile() {
    if (m_fd >= 0) ::close(m_fd);
}

std::int64_t GameFile::size() const {
    if (m_fd < 0) return 0;
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) raiseAccess(m_name, errno);
    return info.st_size;
}

std::size_t GameFile::readAt(std::int64_t offset, std::span<unsigned char> out) const {
    std::fill(out.begin(), out.end(), 0);
    if (m_fd < 0) return 0;
    // Bytes before the start of the file stay 0, like those past its end.
    std::size_t skip = 0;
    if (offset < 0) {
        if (-offset >= static_cast<std::int64_t>(out.size())) return 0;
        skip = static_cast<std::size_t>(-offset);
        offset = 0;
    }
    std::size_t done = skip;
    while (done < out.size()) {
        const ssize_t n =
            ::pread(m_fd, out.data() + done, out.size() - done,
                    static_cast<off_t>(offset + static_cast<std::int64_t>(done - skip)));
        if (n < 0) {
            if (errno == EINTR) continue;
            raiseAccess(m_name, errno);
        }
        if (n == 0) break;  // end of file: the rest stays 0
        done += static_cast<std::size_t>(n);
    }
    return done - skip;
}

}  // namespace karnwick
