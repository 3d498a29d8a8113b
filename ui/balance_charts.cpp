#include "ui/balance_charts.h"

#include <cmath>

#include "charts/sweep_chart.h"

namespace karnwick::balance {

namespace {

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

void paintSweep(QPainter& painter, const QRect& area, const SweepPicture& picture) {
    painter.fillRect(area, Qt::white);
    if (picture.values.empty()) return;
    charts::paintSweepChart(painter, area, sweepChartOf(picture));
}

QImage drawSweep(const SweepPicture& picture) {
    return charts::drawSweepChart(sweepChartOf(picture));
}

}  // namespace karnwick::balance
