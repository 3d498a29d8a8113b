#pragma once
// The heat map of `karnwick matrix --png`: Monster One's chance of winning
// for every pair, rows Monster One and columns Monster Two, with the names on
// both axes and a colour legend. Needs a QGuiApplication for its text.

#include <QImage>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// labels[i] names monster i; oneWins[a * n + b] is row a, column b.
QImage drawHeatMap(const std::vector<std::string>& labels, const std::vector<double>& oneWins);

// What drawing the heat map of these monsters needs in memory: the picture
// and the grid of chances it is drawn from, in bytes.
std::uint64_t heatMapMemory(const std::vector<std::string>& labels);

// Why the heat map of these monsters cannot be drawn here, with the figures,
// or nothing when it fits: the whole grid is held while it is drawn, and may
// take at most `budget` bytes.
std::optional<std::string> heatMapTooLarge(const std::vector<std::string>& labels,
                                           std::uint64_t budget);
