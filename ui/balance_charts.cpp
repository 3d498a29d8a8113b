#include "ui/balance_charts.h"

#include <cmath>

#include "charts/sweep_chart.h"

namespace karnwick::balance {

void paintSweep(QPainter& painter, const QRect& area, const SweepPicture& picture) {
    painter.fillRect(area, Qt::white);
    if (picture.values.empty()) return;
    charts::paintSweepChart(painter, area, charts::sweepChartOf(picture));
}

QImage drawSweep(const SweepPicture& picture) {
    return charts::drawSweepChart(charts::sweepChartOf(picture));
}

}  // namespace karnwick::balance
