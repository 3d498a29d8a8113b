#pragma once
// `karnwick import sprite N FILE.png`: monster N's sprite from a 90 x 100
// image, index for index when the image carries the game palette, else colour
// by colour.

#include <QString>
#include <filesystem>
#include <ostream>

namespace karnwick::cli {

int importSprite(const QString& monster, const QString& imageName, bool nearest,
                 const std::filesystem::path& dir, std::ostream& out);

}  // namespace karnwick::cli
