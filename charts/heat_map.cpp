#include "charts/heat_map.h"

#include "battle/outcome_columns.h"
#include "data/errors.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace karnwick::charts {

QColor chanceColour(double chance) {
    if (std::isnan(chance)) return unknownColour();
    const double t = std::clamp(chance, 0.0, 1.0);
    const QColor loss = sideColour(1), even = evenColour(), win = sideColour(0);
    const QColor& from = t < 0.5 ? loss : even;
    const QColor& to = t < 0.5 ? even : win;
    const double s = t < 0.5 ? t * 2.0 : (t - 0.5) * 2.0;
    auto mix = [s](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * s)); };
    return QColor(mix(from.red(), to.red()), mix(from.green(), to.green()),
                  mix(from.blue(), to.blue()));
}

QColor cellColour(const HeatMap& map, std::size_t at) {
    // Most of the battles decide nothing: no shade of win or loss fits.
    if (at < map.undecided.size() && map.undecided[at] > 0.5) return undecidedColour();
    return chanceColour(map.oneWins[at]);
}

// The title block's lines, and the undecided colour's legend entry that
// follows the second.
std::string titleText() {
    return "Chance that " + std::string(sideName(0)) + " wins (exact odds after a fresh choice)";
}
QString axesText() {
    return QString::fromStdString("Rows: " + std::string(sideName(0)) +
                                  ". Columns: " + std::string(sideName(1)) + ".");
}
constexpr const char* kUndecided = "Mostly a run-time error or the turn cap";

// Where everything goes: cells as large as a name can be read beside, up
// to about 900 pixels; with many monsters only every step-th name fits. A
// window that shows the map smaller asks for larger text, so that its names
// stay readable once scaled down, and fewer of them.
struct HeatMapLayout {
    explicit HeatMapLayout(const std::vector<std::string>& labels, int textPixels = 0)
        : n(static_cast<int>(labels.size())),
          cell(std::clamp(900 / std::max(n, 1), 2, 14)),
          font("DejaVu Sans") {
        font.setPixelSize(std::max(std::clamp(cell - 2, 9, 11), textPixels));
        const QFontMetrics metrics(font);
        lineHeight = metrics.height();
        step = std::max(1, (lineHeight + cell - 1) / cell);
        for (int i = 0; i < n; i += step)
            labelWidth =
                std::max(labelWidth, metrics.horizontalAdvance(QString::fromStdString(labels[i])));
        gridLeft = kMargin + labelWidth + kGap;
        // Text enlarged for a window leaves no room for the undecided entry
        // beside the axes: it takes a line of its own.
        undecidedBelow = textPixels > 0;
        gridTop = kMargin + (undecidedBelow ? 3 : 2) * lineHeight + kGap + labelWidth + kGap;
        legendLeft = gridLeft + n * cell + 3 * kGap;
        legendHeight = std::max(n * cell, 10 * lineHeight);
        width = legendLeft + kLegendWidth + kGap + metrics.horizontalAdvance("100%") + kMargin;
        height = gridTop + legendHeight + kMargin;
    }
    static constexpr int kMargin = 12, kGap = 6, kLegendWidth = 16;
    int n;
    int cell;
    QFont font;
    int lineHeight = 0, step = 1, labelWidth = 0;
    bool undecidedBelow = false;
    int gridLeft = 0, gridTop = 0, legendLeft = 0, legendHeight = 0, width = 0, height = 0;
};

namespace {

using Layout = HeatMapLayout;

void drawNames(QPainter& painter, const Layout& at, const HeatMap& map) {
    const std::vector<std::string>& labels = map.labels;
    for (int i = 0; i < at.n; i += at.step) {
        const QString text = QString::fromStdString(labels[static_cast<std::size_t>(i)]);
        const bool marked = std::find(map.marked.begin(), map.marked.end(), i) != map.marked.end();
        painter.setPen(marked ? markedColour() : QColor(Qt::black));
        const int middle = i * at.cell + at.cell / 2;
        // Row names right-aligned against the grid, column names read upwards.
        painter.drawText(QRect(Layout::kMargin, at.gridTop + middle - at.lineHeight / 2,
                               at.labelWidth, at.lineHeight),
                         Qt::AlignRight | Qt::AlignVCenter, text);
        painter.save();
        painter.translate(at.gridLeft + middle, at.gridTop - Layout::kGap);
        painter.rotate(-90);
        painter.drawText(QRect(0, -at.lineHeight / 2, at.labelWidth, at.lineHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, text);
        painter.restore();
    }
}

// 100% at the top, 0% at the foot.
void drawLegend(QPainter& painter, const Layout& at) {
    const int left = at.legendLeft, top = at.gridTop, height = at.legendHeight;
    for (int y = 0; y < height; ++y)
        painter.fillRect(left, top + y, Layout::kLegendWidth, 1,
                         chanceColour(1.0 - static_cast<double>(y) / (height - 1)));
    painter.drawRect(left, top, Layout::kLegendWidth - 1, height - 1);
    for (int percent = 0; percent <= 100; percent += 25) {
        const int y = top + (height - 1) * (100 - percent) / 100;
        painter.drawLine(left + Layout::kLegendWidth, y, left + Layout::kLegendWidth + 3, y);
        painter.drawText(QRect(left + Layout::kLegendWidth + Layout::kGap, y - at.lineHeight / 2,
                               at.width, at.lineHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, QString::number(percent) + "%");
    }
}

// The legend of the undecided colour, after the line naming the axes.
void drawUndecidedEntry(QPainter& painter, const Layout& at, const QString& axes) {
    const QFontMetrics metrics(at.font);
    const int left = at.undecidedBelow
                         ? Layout::kMargin
                         : Layout::kMargin + metrics.horizontalAdvance(axes) + 3 * Layout::kGap;
    const int top = Layout::kMargin + (at.undecidedBelow ? 2 : 1) * at.lineHeight;
    const int side = at.lineHeight - 2;
    painter.fillRect(left, top + 1, side, side, undecidedColour());
    painter.drawRect(left, top + 1, side - 1, side - 1);
    painter.drawText(left + side + Layout::kGap, top + metrics.ascent(), kUndecided);
}

// Cells in a row that share a colour are filled as one, so a row not worked
// out yet is one fill.
void fillRow(QPainter& painter, const Layout& at, const HeatMap& map, std::size_t row) {
    const auto n = static_cast<std::size_t>(at.n);
    std::size_t first = 0;
    QColor colour = cellColour(map, row * n);
    for (std::size_t b = 1; b <= n; ++b) {
        const QColor next = b < n ? cellColour(map, row * n + b) : QColor();
        if (b < n && next == colour) continue;
        painter.fillRect(at.gridLeft + static_cast<int>(first) * at.cell,
                         at.gridTop + static_cast<int>(row) * at.cell,
                         static_cast<int>(b - first) * at.cell, at.cell, colour);
        first = b;
        colour = next;
    }
}

}  // namespace

QSize heatMapSize(const std::vector<std::string>& labels) {
    const Layout at(labels);
    return {at.width, at.height};
}

HeatMapPlacement::HeatMapPlacement(const std::vector<std::string>& labels, const QRect& area,
                                   int smallestText)
    : m_origin(area.topLeft()) {
    auto place = [&](int textPixels) {
        m_layout = std::make_shared<const Layout>(labels, textPixels);
        m_scale = std::min(static_cast<double>(area.width()) / m_layout->width,
                           static_cast<double>(area.height()) / m_layout->height);
    };
    place(0);
    // Larger text widens the names' margin and so shrinks the scale a little:
    // a few rounds settle it.
    for (int round = 0; round < 4 && m_scale > 0.0 && textPixels() < smallestText; ++round)
        place(static_cast<int>(std::ceil(smallestText / m_scale)) + round);
}

double HeatMapPlacement::textPixels() const {
    return m_layout->font.pixelSize() * m_scale;
}

void HeatMapPlacement::paint(QPainter& painter, const HeatMap& map) const {
    const Layout& at = *m_layout;
    painter.save();
    painter.translate(m_origin);
    painter.scale(m_scale, m_scale);
    painter.fillRect(0, 0, at.width, at.height, Qt::white);
    painter.setFont(at.font);
    painter.setPen(Qt::black);
    const int ascent = QFontMetrics(at.font).ascent();
    const std::string title = titleText();
    painter.drawText(
        Layout::kMargin, Layout::kMargin + ascent,
        QString::fromStdString(map.whatIf.empty() ? title : title + "   " + map.whatIf));
    const QString axes = axesText();
    painter.drawText(Layout::kMargin, Layout::kMargin + at.lineHeight + ascent, axes);
    if (!map.undecided.empty()) drawUndecidedEntry(painter, at, axes);
    for (std::size_t a = 0; a < static_cast<std::size_t>(at.n); ++a) fillRow(painter, at, map, a);
    drawNames(painter, at, map);
    painter.setPen(Qt::black);
    drawLegend(painter, at);
    painter.restore();
}

void HeatMapPlacement::paintCells(QPainter& painter, const HeatMap& map,
                                  const std::vector<std::size_t>& cells) const {
    const Layout& at = *m_layout;
    const auto n = static_cast<std::size_t>(at.n);
    painter.save();
    painter.translate(m_origin);
    painter.scale(m_scale, m_scale);
    for (const std::size_t c : cells)
        painter.fillRect(at.gridLeft + static_cast<int>(c % n) * at.cell,
                         at.gridTop + static_cast<int>(c / n) * at.cell, at.cell, at.cell,
                         cellColour(map, c));
    painter.restore();
}

std::optional<std::pair<int, int>> HeatMapPlacement::cellAt(QPointF point) const {
    const Layout& at = *m_layout;
    if (!(m_scale > 0.0)) return std::nullopt;
    const QPointF inMap = (point - m_origin) / m_scale;
    const double column = std::floor((inMap.x() - at.gridLeft) / at.cell);
    const double row = std::floor((inMap.y() - at.gridTop) / at.cell);
    if (!(row >= 0 && row < at.n && column >= 0 && column < at.n)) return std::nullopt;
    return std::pair{static_cast<int>(row), static_cast<int>(column)};
}

QRectF HeatMapPlacement::cell(int row, int column) const {
    const Layout& at = *m_layout;
    const QRectF inMap(at.gridLeft + column * at.cell, at.gridTop + row * at.cell, at.cell,
                       at.cell);
    return QRectF(m_origin + inMap.topLeft() * m_scale, inMap.size() * m_scale);
}

void paintHeatMap(QPainter& painter, const QRect& area, const HeatMap& map) {
    HeatMapPlacement(map.labels, area).paint(painter, map);
}

std::optional<std::pair<int, int>> heatMapCellAt(const std::vector<std::string>& labels,
                                                 const QRect& area, QPointF point) {
    return HeatMapPlacement(labels, area).cellAt(point);
}

QRectF heatMapCell(const std::vector<std::string>& labels, const QRect& area, int row, int column) {
    return HeatMapPlacement(labels, area).cell(row, column);
}

QImage drawHeatMap(const HeatMap& map) {
    const QSize size = heatMapSize(map.labels);
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    paintHeatMap(painter, QRect(QPoint(0, 0), size), map);
    painter.end();
    return image;
}

std::uint64_t heatMapMemory(const std::vector<std::string>& labels) {
    const Layout at(labels);
    const std::uint64_t n = labels.size();
    return std::uint64_t(at.width) * std::uint64_t(at.height) * 4 + n * n * sizeof(double);
}

void requireHeatMapFits(const std::vector<std::string>& labels, std::uint64_t budget) {
    const Layout at(labels);
    const std::uint64_t need = heatMapMemory(labels);
    // The painter and the PNG encoder count pixels in int.
    const bool tooWide = at.width > 32767 || at.height > 32767;
    if (need <= budget && !tooWide) return;
    constexpr std::uint64_t kMiB = 1 << 20;
    throw CommandError("the heat map of " + std::to_string(labels.size()) + " monsters would be " +
                       std::to_string(at.width) + " x " + std::to_string(at.height) +
                       " pixels and need " + std::to_string((need + kMiB - 1) / kMiB) +
                       " MiB of memory" +
                       (tooWide ? " (at most 32767 pixels a side can be drawn)"
                                : " (" + std::to_string(budget / kMiB) + " MiB may be used)") +
                       "; leave out --png");
}

}  // namespace karnwick::charts
