#pragma once
// The roster's heat map, for `karnwick matrix --png` and the arena's Roster
// tab: Monster One's chance of winning for every pair, rows Monster One and
// columns Monster Two, with the names on both axes and a colour legend.
// Needs a QGuiApplication for its text.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "charts/chart_palette.h"

namespace karnwick::charts {

// labels[i] names monster i; oneWins[a * n + b] is row a, column b. A pair
// not worked out yet (a window's roster still filling) is NaN. undecided, when
// given, is each pair's chance of ending in a run-time error or the turn cap:
// neither side's loss.
struct HeatMap {
    std::vector<std::string> labels;
    std::vector<double> oneWins;
    std::vector<double> undecided{};
    // Monsters whose names are marked: what-if changes touch their records.
    std::vector<int16_t> marked{};
    // "What if: 5.hp=120" after the title; empty without changes.
    std::string whatIf{};
};

// The colour of a chance: blue for a sure loss, white for an even battle,
// red for a sure win; grey for a chance not worked out yet (NaN).
QColor chanceColour(double chance);
// The colour of cell `at` of the map.
QColor cellColour(const HeatMap& map, std::size_t at);

// The size the map is drawn at for a file: cells as large as a name can be
// read beside, up to about 900 pixels across.
QSize heatMapSize(const std::vector<std::string>& labels);

struct HeatMapLayout;

// Where a map of these monsters goes when painted into `area`: its file size
// scaled to fit, keeping its shape, at the area's top left. Measuring the
// names is most of the cost of a drawing, so a window keeps one placement
// while its roster and size stay, and repaints only the cells that changed.
class HeatMapPlacement {
  public:
    // `smallestText` is the least height in pixels of the names' text as
    // painted: larger text means every step-th name only.
    HeatMapPlacement(const std::vector<std::string>& labels, const QRect& area,
                     int smallestText = 0);
    // The height in pixels of the names' text as painted.
    double textPixels() const;

    // The whole map.
    void paint(QPainter& painter, const HeatMap& map) const;
    // Only the cells at these places of map.oneWins, over an earlier drawing.
    void paintCells(QPainter& painter, const HeatMap& map,
                    const std::vector<std::size_t>& cells) const;
    // The pair (row, column) whose cell holds `point`; nothing outside the grid.
    std::optional<std::pair<int, int>> cellAt(QPointF point) const;
    QRectF cell(int row, int column) const;

  private:
    std::shared_ptr<const HeatMapLayout> m_layout;
    double m_scale = 0.0;
    QPointF m_origin;
};

// The map drawn into `area` of any paint device, as HeatMapPlacement places it.
void paintHeatMap(QPainter& painter, const QRect& area, const HeatMap& map);

// The pair (row, column) whose cell holds `point` of a map painted into
// `area`; nothing outside the grid.
std::optional<std::pair<int, int>> heatMapCellAt(const std::vector<std::string>& labels,
                                                 const QRect& area, QPointF point);

// The cell of the pair (row, column) of a map painted into `area`.
QRectF heatMapCell(const std::vector<std::string>& labels, const QRect& area, int row, int column);

// The map as a picture of heatMapSize.
QImage drawHeatMap(const HeatMap& map);

// What drawing the heat map of these monsters needs in memory: the picture
// and the grid of chances it is drawn from, in bytes.
std::uint64_t heatMapMemory(const std::vector<std::string>& labels);

// Refuses, with a CommandError giving the figures, the heat map of monsters
// that cannot be drawn here: the whole grid is held while it is drawn, and may
// take at most `budget` bytes.
void requireHeatMapFits(const std::vector<std::string>& labels, std::uint64_t budget);

}  // namespace karnwick::charts
