#pragma once
// Which folder the arena starts in: the folder named on the command line, else
// the current folder when it holds the palette, else the last folder where the
// arena started, else the current folder again, which then fails and asks the
// player for a folder.

#include <filesystem>

namespace arena {

// True when `folder` holds the game file `name` as a regular file.
bool holdsGameFile(const std::filesystem::path& folder, const char* name);

// True when `folder` holds all three game files.
bool holdsGameFiles(const std::filesystem::path& folder);

// The folder to start in, by the rules above; `remembered` may be empty.
std::filesystem::path chooseStartFolder(const std::filesystem::path& argument,
                                        const std::filesystem::path& current,
                                        const std::filesystem::path& remembered);

}  // namespace arena
