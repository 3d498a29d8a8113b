#pragma once
// The balance curve of `karnwick sweep --png` and the arena's Sweep tab:
// Monster One's and Monster Two's chance of winning (and of an error or the
// turn cap, where they occur) against the swept value, with axes titled in
// words, a legend, and with a target the line at it and a marker at the
// answer. Needs a QGuiApplication for its text.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "battle/odds.h"
#include "charts/chart_palette.h"
#include "charts/sweep_curve.h"

namespace karnwick::charts {

struct SweepChart {
    std::string title;      // what is swept, over which range
    std::string subtitle;   // who fights whom
    std::string valueAxis;  // the swept number in words, under the x axis
    std::string field;      // the swept field's name: "hp"
    std::vector<int16_t> values;
    std::vector<OutcomeOdds> odds;  // one per value
    std::optional<double> target;   // a chance from 0 to 1, drawn as a dashed line
    std::string whatIf;             // "What if: 5.hp=120", after the subtitle
    std::optional<int> current;     // the record's value now, marked on the value axis
};

// The chart's texts for a match-up; the values, odds and target are the
// caller's.
SweepChart describedSweepChart(const SweptMatchUp& matchUp);
// The whole chart of a sweep: its texts, and a point for each value whose
// odds are known.
SweepChart sweepChartOf(const SweepCurve& curve);

// A record field's number in words, as an axis names it: "hit points".
std::string fieldInWords(const std::string& field);

// The size the chart is drawn at for a file: a plot of 760 x 400 pixels.
QSize sweepChartSize(const SweepChart& chart);

// The chart drawn into `area` of any paint device; the plot takes what the
// texts leave.
void paintSweepChart(QPainter& painter, const QRect& area, const SweepChart& chart);

// Where `value` and `chance` fall in the plot of the chart painted into `area`.
QPointF sweepChartPoint(const SweepChart& chart, const QRect& area, double value, double chance);

// The position in chart.values of the value nearest to `point` of the chart
// painted into `area`; nothing outside the plot.
std::optional<std::size_t> sweepChartValueAt(const SweepChart& chart, const QRect& area,
                                             QPointF point);

// The chart as a picture of sweepChartSize.
QImage drawSweepChart(const SweepChart& chart);

}  // namespace karnwick::charts
