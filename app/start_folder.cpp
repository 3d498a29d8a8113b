#include "app/start_folder.h"

#include "data/monster_stats.h"
#include "data/palette.h"
#include "data/sprite.h"

namespace arena {

namespace fs = std::filesystem;

bool holdsGameFile(const fs::path& folder, const char* name) {
    std::error_code error;
    return fs::is_regular_file(folder / name, error);
}

bool holdsGameFiles(const fs::path& folder) {
    return holdsGameFile(folder, karnwick::kPaletteFileName) &&
           holdsGameFile(folder, karnwick::kSpriteFileName) &&
           holdsGameFile(folder, karnwick::kStatsFileName);
}

fs::path chooseStartFolder(const fs::path& argument, const fs::path& current,
                           const fs::path& remembered) {
    if (!argument.empty()) return argument;
    // The menu entry starts the arena in the home folder: a palette here means
    // the player started it in a game folder on purpose.
    if (holdsGameFile(current, karnwick::kPaletteFileName)) return current;
    if (!remembered.empty() && holdsGameFiles(remembered)) return remembered;
    return current;
}

}  // namespace arena
