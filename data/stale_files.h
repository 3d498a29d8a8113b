#pragma once
// The writer's temporary names (".<target>.karnwick-XXXXXX", "-old" for a
// kept old file), and the removal of those a writer that was killed outright
// left behind. Only the writer's own files include this.

#include <filesystem>
#include <string>
#include <string_view>

namespace karnwick::writer {

inline constexpr std::string_view kTemporaryTag = ".karnwick-";

// The six letters that end a temporary name, new each call.
std::string randomSuffix();

// Whether `name` has the form of one of the writer's temporary names.
bool isTemporaryName(std::string_view name);

// Removes the temporary files (and hidden build folders) of `folder` that
// no writer holds a lock on. The caller holds the folder exclusively; a set
// whose commit was interrupted is left for its recovery.
void removeStaleTemporaries(const std::filesystem::path& folder) noexcept;

// The same, only when no other command holds the folder: a busy folder
// keeps its leftovers until a later write.
void removeStaleTemporariesIfIdle(const std::filesystem::path& folder) noexcept;

}  // namespace karnwick::writer
