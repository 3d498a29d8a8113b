#pragma once
// `--set INDEX.FIELD=VALUE` as every command that plays battles offers it;
// the texts are read by the engine's parser, which the arena shares.

#include <QCommandLineOption>
#include <QStringList>
#include <filesystem>
#include <vector>

#include "battle/record_override.h"

namespace karnwick::cli {

// The option as every command that plays battles offers it.
QCommandLineOption recordOverrideOption();

// One INDEX.FIELD text, INDEX a monster's index or its name in `statsFile`
// (the field is what follows the last dot, since a name may hold dots), as
// --set reads it before the equals sign. Throws CommandError saying what is
// wrong, for the caller to put after the text as it names it.
RecordNumber parseRecordNumber(const QString& text, int lastIndex,
                               const std::filesystem::path& statsFile);

// Reads the texts of every --set; lastIndex is the highest monster index and
// `statsFile` holds the names INDEX may give instead (the field is what
// follows the last dot). Throws CommandError naming the text and what is
// wrong with it.
std::vector<RecordOverride> parseRecordOverrides(const QStringList& texts, int lastIndex,
                                                 const std::filesystem::path& statsFile);

}  // namespace karnwick::cli
