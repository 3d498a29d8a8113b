#include "cli/game_edit.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/command_line.h"
#include "data/file_writer.h"
#include "data/game_file.h"

namespace karnwick::cli {

GameFolderLock::GameFolderLock(const std::filesystem::path& dir) {
    const std::filesystem::path folder = dir.empty() ? std::filesystem::path(".") : dir;
    m_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int result = m_fd < 0 ? -1 : 0;
    while (result == 0 && ::flock(m_fd, LOCK_EX) != 0) {
        if (errno != EINTR) result = -1;
    }
    if (result != 0) {
        const int error = errno;
        if (m_fd >= 0) ::close(m_fd);
        throw CommandError("cannot lock the game folder " + folder.string() + " (" +
                           std::strerror(error) + ")");
    }
}

GameFolderLock::~GameFolderLock() {
    ::close(m_fd);  // releases the lock
}

void requireOwnGameFile(const std::filesystem::path& dir, const char* name) {
    const std::filesystem::path file = dir / name;
    std::error_code error;
    if (!std::filesystem::is_symlink(file, error)) {
        requireGameFiles(dir, {name});
        return;
    }
    const std::filesystem::path target = std::filesystem::read_symlink(file, error);
    const std::filesystem::path shown =
        std::filesystem::weakly_canonical(target.is_absolute() ? target : dir / target, error);
    throw CommandError(std::string(name) + " is a link to " + shown.string() +
                       ": pass --dir with " + shown.string() + "'s folder");
}

std::vector<unsigned char> readWholeFile(const std::filesystem::path& file) {
    const GameFile game(file);
    std::vector<unsigned char> bytes(static_cast<std::size_t>(game.size()));
    game.readAt(0, bytes);
    return bytes;
}

unsigned fileMode(const std::filesystem::path& file) {
    struct stat status {};
    return ::stat(file.c_str(), &status) == 0 ? static_cast<unsigned>(status.st_mode & 07777)
                                              : 0644u;
}

void rewriteGameFile(const std::filesystem::path& file, std::span<const unsigned char> bytes) {
    AtomicFile out(file, Existing::Replace);
    out.setMode(fileMode(file));
    out.write(bytes);
    out.commit();
}

void commitAfterReport(std::ostream& out, const std::function<void()>& commit) {
    try {
        out.flush();
    } catch (const ReaderGone&) {
        commit();
        throw;
    }
    commit();
}

}  // namespace karnwick::cli
