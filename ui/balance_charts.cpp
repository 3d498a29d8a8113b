#include "ui/balance_charts.h"

#include <QFontMetrics>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace karnwick::balance {

namespace {

QColor chanceColour(double chance) {
    if (std::isnan(chance)) return QColor(200, 200, 200);
    const double t = std::clamp(chance, 0.0, 1.0);
    const QColor loss(33, 102, 172), even(247, 247, 247), win(178, 24, 43);
    const QColor& from = t < 0.5 ? loss : even;
    const QColor& to = t < 0.5 ? even : win;
    const double s = t < 0.5 ? t * 2.0 : (t - 0.5) * 2.0;
    auto mix = [s](int a, int b) { return static_cast<int>(std::lround(a + (b - a) * s)); };
    return QColor(mix(from.red(), to.red()), mix(from.green(), to.green()),
                  mix(from.blue(), to.blue()));
}

struct Grid {
    QRectF cells;
    double cell = 0;
    int n = 0;
};

Grid gridOf(const RosterPicture& picture, const QRect& area) {
    Grid grid;
    grid.n = static_cast<int>(picture.labels.size());
    const double label = std::min(140.0, area.width() / 4.0);
    const double side = std::max(0.0, std::min(area.width() - label, area.height() - label) - 4);
    grid.cell = grid.n > 0 ? side / grid.n : 0;
    grid.cells = QRectF(area.left() + label, area.top() + label, grid.cell * grid.n,
                        grid.cell * grid.n);
    return grid;
}

}  // namespace

void paintRoster(QPainter& painter, const QRect& area, const RosterPicture& picture) {
    const Grid grid = gridOf(picture, area);
    painter.fillRect(area, Qt::white);
    for (int a = 0; a < grid.n; ++a)
        for (int b = 0; b < grid.n; ++b)
            painter.fillRect(rosterCell(picture, area, a, b),
                             chanceColour(picture.oneWins[static_cast<std::size_t>(a * grid.n + b)]));
    QFont font = painter.font();
    font.setPixelSize(std::clamp(static_cast<int>(grid.cell) - 1, 6, 11));
    painter.setFont(font);
    const int step = std::max(1, static_cast<int>(std::ceil(10.0 / std::max(grid.cell, 0.1))));
    painter.setPen(Qt::black);
    for (int i = 0; i < grid.n; i += step) {
        const QString text = QString::fromStdString(picture.labels[static_cast<std::size_t>(i)]);
        const double middle = grid.cells.top() + (i + 0.5) * grid.cell;
        painter.drawText(QRectF(area.left(), middle - 8, grid.cells.left() - area.left() - 3, 16),
                         Qt::AlignRight | Qt::AlignVCenter, text);
        painter.save();
        painter.translate(grid.cells.left() + (i + 0.5) * grid.cell, grid.cells.top() - 3);
        painter.rotate(-90);
        painter.drawText(QRectF(0, -8, grid.cells.top() - area.top() - 3, 16),
                         Qt::AlignLeft | Qt::AlignVCenter, text);
        painter.restore();
    }
}

std::optional<std::pair<int, int>> rosterCellAt(const RosterPicture& picture, const QRect& area,
                                                QPointF point) {
    const Grid grid = gridOf(picture, area);
    if (grid.n == 0 || !grid.cells.contains(point)) return std::nullopt;
    const int row = std::min(grid.n - 1, static_cast<int>((point.y() - grid.cells.top()) / grid.cell));
    const int column =
        std::min(grid.n - 1, static_cast<int>((point.x() - grid.cells.left()) / grid.cell));
    return std::pair{row, column};
}

QRectF rosterCell(const RosterPicture& picture, const QRect& area, int row, int column) {
    const Grid grid = gridOf(picture, area);
    return QRectF(grid.cells.left() + column * grid.cell, grid.cells.top() + row * grid.cell,
                  grid.cell, grid.cell);
}

QImage drawRoster(const RosterPicture& picture) {
    QImage image(900, 900, QImage::Format_RGB32);
    QPainter painter(&image);
    paintRoster(painter, image.rect(), picture);
    return image;
}

void paintSweep(QPainter& painter, const QRect& area, const SweepPicture& picture) {
    painter.fillRect(area, Qt::white);
    const QRectF plot = QRectF(area).adjusted(50, 30, -20, -40);
    painter.setPen(Qt::black);
    painter.drawRect(plot);
    painter.drawText(QRectF(area.left(), area.top(), area.width(), 24), Qt::AlignCenter,
                     QString::fromStdString(picture.oneName + " against " + picture.twoName));
    painter.drawText(QRectF(plot.left(), plot.bottom() + 18, plot.width(), 20), Qt::AlignCenter,
                     QString::fromStdString(std::to_string(picture.swept) + "." + picture.field));
    if (picture.values.empty() || picture.odds.size() != picture.values.size()) return;
    const double low = picture.values.front(), high = std::max(low + 1.0, 1.0 * picture.values.back());
    auto at = [&](double value, double chance) {
        return QPointF(plot.left() + (value - low) / (high - low) * plot.width(),
                       plot.bottom() - chance * plot.height());
    };
    const std::pair<double OutcomeOdds::*, QColor> lines[] = {
        {&OutcomeOdds::oneWins, QColor(178, 24, 43)}, {&OutcomeOdds::twoWins, QColor(33, 102, 172)}};
    for (const auto& [member, colour] : lines) {
        QPainterPath path;
        for (std::size_t i = 0; i < picture.values.size(); ++i) {
            const QPointF p = at(picture.values[i], picture.odds[i].*member);
            i == 0 ? path.moveTo(p) : path.lineTo(p);
        }
        painter.setPen(QPen(colour, 2));
        painter.drawPath(path);
    }
    if (picture.target) {
        painter.setPen(QPen(Qt::darkGray, 1, Qt::DashLine));
        painter.drawLine(at(low, *picture.target), at(high, *picture.target));
    }
}

QImage drawSweep(const SweepPicture& picture) {
    QImage image(860, 480, QImage::Format_RGB32);
    QPainter painter(&image);
    paintSweep(painter, image.rect(), picture);
    return image;
}

}  // namespace karnwick::balance
