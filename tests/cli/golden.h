#pragma once
// Golden transcripts: what `karnwick` commands print and write for a small
// game set whose numbers were checked by hand, kept under tests/golden/ so
// that any change to an output shows as a diff in review. Run the tests with
// KARNWICK_UPDATE_GOLDEN=1 to rewrite the files after an intended change.

#include <QStringList>
#include <filesystem>
#include <string>

#include "game_files.h"

namespace karnwick::testing {

struct GoldenStep {
    QStringList arguments;  // after "karnwick"
    // Files or folders the command writes, described after its output:
    // images by their decoded pixels, other files by size and hash.
    QStringList writes = {};
};

// The hand-checked set: seven records whose fields all differ from each
// other (a name with "ü", a capped pair, a monster starting below 1 HP, one
// with level 100) and ten sprites, so monsters 7 to 9 fight with zero-filled
// records and exported names need no padding.
void writeGoldenSet(const GameFolder& folder);

// Runs each step in the current folder and renders what it printed, its
// status when not 0, and what it wrote, with the folder's path shown as $DIR.
std::string goldenTranscript(const GameFolder& folder, std::initializer_list<GoldenStep> steps);

// Compares `transcript` with tests/golden/NAME.txt (or rewrites the file in
// update mode); a failure shows both texts.
void expectGolden(const std::string& name, const std::string& transcript);

}  // namespace karnwick::testing
