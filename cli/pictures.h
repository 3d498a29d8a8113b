#pragma once
// What the commands draw or read as pictures, behind one table. Qt's graphics
// libraries take longer to load than most commands take to run, so the
// karnwick program loads them with this table (karnwick-pictures.so) only
// for a command that draws; the tests and the fuzzers link them in.

#include <QCoreApplication>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "battle/odds.h"
#include "charts/sweep_curve.h"
#include "cli/commands.h"

namespace karnwick::cli {

struct ImportRequest;

using SweepChartRequest = charts::SweepCurve;

struct Pictures {
    // The application of a process that draws: a QGuiApplication, offscreen
    // unless QT_QPA_PLATFORM names a platform.
    std::unique_ptr<QCoreApplication> (*startApplication)(int& argc, char** argv);
    CommandFunction runExport;
    // `karnwick import sprite MONSTER FILE` (see import_sprite_command.h).
    int (*importSprite)(const ImportRequest& request, const std::filesystem::path& dir,
                        std::ostream& out);
    // The chart as PNG bytes; throws a CommandError when it cannot be drawn.
    std::string (*sweepChartPng)(const SweepChartRequest& request);
    // Throws a CommandError when the heat map of monsters with these labels
    // cannot be drawn within `budget` bytes.
    void (*requireHeatMapFits)(const std::vector<std::string>& labels, std::uint64_t budget);
    // The heat map (oneWins[a * n + b] for row a, column b) in the format
    // `file`'s suffix names, PNG when Qt cannot write that one.
    std::string (*heatMapImage)(const std::vector<std::string>& labels, std::vector<double> oneWins,
                                const std::filesystem::path& file);
};

// The table. In the karnwick program the first call loads it and throws a
// CommandError when it cannot be loaded.
const Pictures& pictures();

// The table as linked into this binary.
const Pictures& linkedPictures();

}  // namespace karnwick::cli
