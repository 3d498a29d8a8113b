#include "ui/balance_charts.h"

#include <cmath>

#include "charts/heat_map.h"
#include "charts/sweep_chart.h"

namespace karnwick::balance {

namespace {

// Pairs not worked out yet are drawn as an even battle and then greyed over.
charts::HeatMap heatMapOf(const RosterPicture& picture) {
    charts::HeatMap map{picture.labels, picture.oneWins};
    for (double& chance : map.oneWins)
        if (std::isnan(chance)) chance = 0.5;
    return map;
}

void greyUnknown(QPainter& painter, const QRect& area, const RosterPicture& picture) {
    const std::size_t n = picture.labels.size();
    for (std::size_t at = 0; at < picture.oneWins.size(); ++at) {
        if (!std::isnan(picture.oneWins[at])) continue;
        painter.fillRect(
            rosterCell(picture, area, static_cast<int>(at / n), static_cast<int>(at % n)),
            QColor(200, 200, 200));
    }
}

charts::SweepChart sweepChartOf(const SweepPicture& picture) {
    charts::SweepChart chart = charts::describedSweepChart(
        {picture.one, picture.two, picture.oneName, picture.twoName, picture.swept, picture.field,
         picture.from, picture.to, picture.step});
    chart.values = picture.values;
    chart.odds = picture.odds;
    chart.target = picture.target;
    // Values still being worked out have no point yet.
    chart.values.resize(std::min(chart.values.size(), chart.odds.size()));
    return chart;
}

}  // namespace

void paintRoster(QPainter& painter, const QRect& area, const RosterPicture& picture) {
    painter.fillRect(area, Qt::white);
    charts::paintHeatMap(painter, area, heatMapOf(picture));
    greyUnknown(painter, area, picture);
}

std::optional<std::pair<int, int>> rosterCellAt(const RosterPicture& picture, const QRect& area,
                                                QPointF point) {
    return charts::heatMapCellAt(picture.labels, area, point);
}

QRectF rosterCell(const RosterPicture& picture, const QRect& area, int row, int column) {
    return charts::heatMapCell(picture.labels, area, row, column);
}

QImage drawRoster(const RosterPicture& picture) {
    QImage image = charts::drawHeatMap(heatMapOf(picture));
    QPainter painter(&image);
    greyUnknown(painter, image.rect(), picture);
    return image;
}

void paintSweep(QPainter& painter, const QRect& area, const SweepPicture& picture) {
    painter.fillRect(area, Qt::white);
    if (picture.values.empty()) return;
    charts::paintSweepChart(painter, area, sweepChartOf(picture));
}

QImage drawSweep(const SweepPicture& picture) {
    return charts::drawSweepChart(sweepChartOf(picture));
}

}  // namespace karnwick::balance
