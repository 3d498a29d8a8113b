#include "data/game_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "data/errors.h"

namespace karnwick {

namespace {
[[noreturn]] void raiseAccess(const std::string& name, const char* action, int error) {
    throw GameError(ErrorKind::FileAccess, name,
                    name + ": cannot " + action + " (" + std::strerror(error) + ")");
}
}  // namespace

GameFile::GameFile(const std::filesystem::path& path) : m_name(path.string()) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        if (errno == ENOENT) return;  // a missing game file reads as an empty one
        raiseAccess(m_name, "open", errno);
    }
    struct stat info {};
    if (::fstat(m_fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(m_fd);
        m_fd = -1;
        raiseAccess(m_name, "read", EISDIR);
    }
}

GameFile::~GameFile() {
    if (m_fd >= 0) ::close(m_fd);
}

std::int64_t GameFile::size() const {
    if (m_fd < 0) return 0;
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) raiseAccess(m_name, "measure", errno);
    return info.st_size;
}

void GameFile::readAt(std::int64_t offset, std::span<unsigned char> out) const {
    std::fill(out.begin(), out.end(), 0);
    if (m_fd < 0) return;
    // Bytes before the start of the file stay 0, like those past its end.
    std::size_t skip = 0;
    if (offset < 0) {
        if (-offset >= static_cast<std::int64_t>(out.size())) return;
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
            raiseAccess(m_name, "read", errno);
        }
        if (n == 0) break;  // end of file: the rest stays 0
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace karnwick
