// The writer's checks of its targets and folders.
#include "data/write_checks.h"

#include <cerrno>
#include <cstring>

#include "data/errors.h"
#include "data/platform.h"

namespace karnwick::writer {

namespace fs = std::filesystem;

std::string reason(int error) {
    // The system's own words for it say little ("Resource device" on Windows).
    if (error == EBUSY) return "(another program is using it)";
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
    sys::Status status;
    if (sys::statusAt(folder, status, true) != 0) {
        if (errno == ENOENT)
            throw GameError(ErrorKind::FileWrite, name,
                            "(the folder " + platform::pathText(folder) + " does not exist)");
        throw GameError(ErrorKind::FileWrite, name, reason(platform::pathText(folder), errno));
    }
    if (status.kind != sys::Kind::Folder)
        throw GameError(ErrorKind::FileWrite, name,
                        "(" + platform::pathText(folder) + " is not a folder)");
    if (sys::mayWriteIn(folder) != 0)
        throw GameError(ErrorKind::FileWrite, name, reason(platform::pathText(folder), errno));
}

namespace {

// Whether the user may not write the regular file `path` (whose status is
// `status`): root passes every permission check, so for root a file without
// any write bit counts as protected, as it does for everyone else.
bool isWriteProtected(const fs::path& path, const sys::Status& status) {
    if (sys::isSuperUser()) return (status.mode & 0222) == 0;
    return sys::mayWrite(path) != 0 && errno == EACCES;
}

}  // namespace

bool checkTarget(const fs::path& target, Existing existing, sys::Status* found) {
    const std::string name = platform::pathText(target);
    if (name.empty()) throw GameError(ErrorKind::FileWrite, "\"\"", "(the file name is empty)");
    if (!target.has_filename() || target.filename() == "." || target.filename() == "..")
        throw GameError(ErrorKind::NotRegularFile, name, "(it names a folder)");
    sys::Status status;
    if (sys::statusAt(target, status, false) == 0) {
        if (status.kind != sys::Kind::Regular && status.kind != sys::Kind::Link)
            throw GameError(ErrorKind::NotRegularFile, name,
                            status.kind == sys::Kind::Folder ? "(it is a folder)" : "");
        if (existing == Existing::Refuse)
            throw GameError(ErrorKind::FileExists, name, "(use --force to replace it)");
        if (status.kind != sys::Kind::Regular) return false;
        if (existing == Existing::ReplaceUnprotected && isWriteProtected(target, status))
            throw GameError(ErrorKind::WriteProtected, name, "(use --force to replace it)");
        if (found) *found = status;
        return true;
    }
    if (errno != ENOENT && errno != ENOTDIR)
        throw GameError(ErrorKind::FileWrite, name, reason(errno));
    return false;
}

std::uint64_t inodeAt(const fs::path& path) {
    sys::Status status;
    return sys::statusAt(path, status, false) == 0 ? status.index : 0;
}

}  // namespace karnwick::writer
