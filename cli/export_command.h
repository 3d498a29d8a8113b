#pragma once
// `karnwick export`: the game's pictures as ordinary PNG images. A sprite is an
// indexed image whose colour table is the game palette, so an image editor
// keeps every palette index; a sheet is a preview page exactly as the arena's
// preview window draws it; the palette is a 16 x 16 grid of swatches. Files are
// written whole or not at all, and never over an existing file without --force.
// Drawing needs a QGuiApplication (the offscreen platform will do).

#include <QStringList>
#include <ostream>

#include "cli/commands.h"

namespace karnwick::cli {

// `arguments` are those after the word "export". Returns 0, or 2 for a wrong
// command line, game files that cannot be read, a file in the way or a failed
// write.
int runExportCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                     std::ostream& err);

}  // namespace karnwick::cli
