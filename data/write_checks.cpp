// The writer's checks of its targets and folders.
#include "data/write_checks.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "data/errors.h"

namespace karnwick::writer {

namespace fs = std::filesystem;

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

namespace {

// Whether the user may not write the regular file `path` (whose status is
// `status`): root passes every permission check, so for root a file without
// any write bit counts as protected, as it does for everyone else.
bool isWriteProtected(const fs::path& path, const struct stat& status) {
    if (::geteuid() == 0) return (status.st_mode & 0222) == 0;
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES;
}

}  // namespace

bool checkTarget(const fs::path& target, Existing existing, struct stat* found) {
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

bool isNullDevice(const fs::path& target) {
    struct stat at {
    }, null{};
    return ::lstat(target.c_str(), &at) == 0 && S_ISCHR(at.st_mode) &&
           ::stat("/dev/null", &null) == 0 && S_ISCHR(null.st_mode) && at.st_rdev == null.st_rdev;
}

std::uint64_t inodeAt(const fs::path& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

}  // namespace karnwick::writer
