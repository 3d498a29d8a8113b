#include "charts/heat_map.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace karnwick::charts {

QColor chanceColour(double chance) {
    const double t = std::clamp(chance, 0.0, 1.0);
    const QColor loss(33, 102, 172), even(247, 247, 247), win(178, 24, 43);
    const QColor& from = t < 0.5 ? loss : even;
    const QColor& to = t < 0.5 ? even : win;
    const double s = t < 0.5 ? t * 2.0 : (t - 0.5) * 2.0;
    auto mix = [s](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * s)); };
    return QColor(mix(from.red(), to.red()), mix(from.green(), to.green()),
                  mix(from.blue(), to.blue()));
}

namespace {

// Where everything goes: cells as large as a name can be read beside, up
// to about 900 pixels; with many monsters only every step-th name fits.
struct Layout {
    explicit Layout(const std::vector<std::string>& labels)
        : n(static_cast<int>(labels.size())),
          cell(std::clamp(900 / std::max(n, 1), 2, 14)),
          font("DejaVu Sans") {
        font.setPixelSize(std::clamp(cell - 2, 9, 11));
        const QFontMetrics metrics(font);
        lineHeight = metrics.height();
        step = std::max(1, (lineHeight + cell - 1) / cell);
        for (int i = 0; i < n; i += step)
            labelWidth =
                std::max(labelWidth, metrics.horizontalAdvance(QString::fromStdString(labels[i])));
        gridLeft = kMargin + labelWidth + kGap;
        gridTop = kMargin + 2 * lineHeight + kGap + labelWidth + kGap;
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
    int gridLeft = 0, gridTop = 0, legendLeft = 0, legendHeight = 0, width = 0, height = 0;
};

void drawNames(QPainter& painter, const Layout& at, const std::vector<std::string>& labels) {
    for (int i = 0; i < at.n; i += at.step) {
        const QString text = QString::fromStdString(labels[static_cast<std::size_t>(i)]);
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

// The scale and place of the file-sized map drawn into `area`.
struct Fit {
    double scale;
    QPointF origin;
};
Fit fitInto(const Layout& at, const QRect& area) {
    const double scale = std::min(static_cast<double>(area.width()) / at.width,
                                  static_cast<double>(area.height()) / at.height);
    return {scale, QPointF(area.topLeft())};
}

}  // namespace

QSize heatMapSize(const std::vector<std::string>& labels) {
    const Layout at(labels);
    return {at.width, at.height};
}

void paintHeatMap(QPainter& painter, const QRect& area, const HeatMap& map) {
    const Layout at(map.labels);
    const Fit fit = fitInto(at, area);
    painter.save();
    painter.translate(fit.origin);
    painter.scale(fit.scale, fit.scale);
    painter.fillRect(0, 0, at.width, at.height, Qt::white);
    painter.setFont(at.font);
    painter.setPen(Qt::black);
    const int ascent = QFontMetrics(at.font).ascent();
    painter.drawText(Layout::kMargin, Layout::kMargin + ascent,
                     "Chance that Monster One wins (exact odds after a fresh choice)");
    painter.drawText(Layout::kMargin, Layout::kMargin + at.lineHeight + ascent,
                     "Rows: Monster One. Columns: Monster Two.");
    const auto n = static_cast<std::size_t>(at.n);
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b)
            painter.fillRect(at.gridLeft + static_cast<int>(b) * at.cell,
                             at.gridTop + static_cast<int>(a) * at.cell, at.cell, at.cell,
                             chanceColour(map.oneWins[a * n + b]));
    drawNames(painter, at, map.labels);
    drawLegend(painter, at);
    painter.restore();
}

std::optional<std::pair<int, int>> heatMapCellAt(const std::vector<std::string>& labels,
                                                 const QRect& area, QPointF point) {
    const Layout at(labels);
    const Fit fit = fitInto(at, area);
    if (!(fit.scale > 0.0)) return std::nullopt;
    const QPointF inMap = (point - fit.origin) / fit.scale;
    const double column = std::floor((inMap.x() - at.gridLeft) / at.cell);
    const double row = std::floor((inMap.y() - at.gridTop) / at.cell);
    if (!(row >= 0 && row < at.n && column >= 0 && column < at.n)) return std::nullopt;
    return std::pair{static_cast<int>(row), static_cast<int>(column)};
}

QRectF heatMapCell(const std::vector<std::string>& labels, const QRect& area, int row, int column) {
    const Layout at(labels);
    const Fit fit = fitInto(at, area);
    const QRectF inMap(at.gridLeft + column * at.cell, at.gridTop + row * at.cell, at.cell,
                       at.cell);
    return QRectF(fit.origin + inMap.topLeft() * fit.scale, inMap.size() * fit.scale);
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

std::optional<std::string> heatMapTooLarge(const std::vector<std::string>& labels,
                                           std::uint64_t budget) {
    const Layout at(labels);
    const std::uint64_t need = heatMapMemory(labels);
    // The painter and the PNG encoder count pixels in int.
    const bool tooWide = at.width > 32767 || at.height > 32767;
    if (need <= budget && !tooWide) return std::nullopt;
    constexpr std::uint64_t kMiB = 1 << 20;
    return "the heat map of " + std::to_string(labels.size()) + " monsters would be " +
           std::to_string(at.width) + " x " + std::to_string(at.height) + " pixels and need " +
           std::to_string((need + kMiB - 1) / kMiB) + " MiB of memory" +
           (tooWide ? " (at most 32767 pixels a side can be drawn)"
                    : " (" + std::to_string(budget / kMiB) + " MiB may be used)") +
           "; leave out --png";
}

}  // namespace karnwick::charts
