#pragma once
// `karnwick import sprite N FILE.png`: monster N's sprite from a 90 x 100
// image, index for index when the image carries the game palette, else colour
// by colour.

#include <filesystem>
#include <ostream>

namespace karnwick::cli {

struct ImportRequest;

// The monster is named by index or by name (see resolveMonster).
int importSprite(const ImportRequest& request, const std::filesystem::path& dir, std::ostream& out);

}  // namespace karnwick::cli
