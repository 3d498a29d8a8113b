#pragma once
// `--set INDEX.FIELD=VALUE` as every command that plays battles offers it;
// the texts are read by the engine's parser, which the arena shares.

#include <QCommandLineOption>
#include <QStringList>
#include <filesystem>
#include <vector>

#include "data/record_override.h"

namespace karnwick::cli {

// The option as every command that plays battles offers it.
QCommandLineOption recordOverrideOption();

// Reads the texts of every --set; lastIndex is the highest monster index and
// `statsFile` holds the names INDEX may give instead (the field is what
// follows the last dot). Throws CommandError naming the text and what is
// wrong with it.
std::vector<RecordOverride> parseRecordOverrides(const QStringList& texts, int lastIndex,
                                                 const std::filesystem::path& statsFile);

}  // namespace karnwick::cli
