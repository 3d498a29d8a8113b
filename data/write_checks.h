#pragma once
// What the writer checks before it writes a file or a set (may this target
// be replaced, may this folder be written), and how its errors read. Only
// the writer's own files include this.

#include <cstdint>
#include <filesystem>
#include <string>

#include "data/file_writer.h"
#include "data/system_calls.h"

namespace karnwick::writer {

// "(No space left on device)", or "(what: No space left on device)".
std::string reason(int error);
std::string reason(const std::string& what, int error);

// The folder a target is written in: "." for a bare file name.
std::filesystem::path folderOf(const std::filesystem::path& target);

// Throws a GameError naming `name` unless `folder` is a folder that may be
// written.
void checkFolder(const std::filesystem::path& folder, const std::string& name);

// Throws unless the entry at `target` may be replaced; returns whether a
// regular file is there (its status in `found`).
bool checkTarget(const std::filesystem::path& target, Existing existing,
                 sys::Status* found = nullptr);

// The null device: the one target that is no regular file and still taken
// (`-o /dev/null`, to run a command for its checks alone).
using sys::isNullDevice;

// The inode at `path` (not following a link), or 0 when nothing is there.
std::uint64_t inodeAt(const std::filesystem::path& path);

}  // namespace karnwick::writer
