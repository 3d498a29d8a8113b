#pragma once
// The chart of `karnwick sweep --png`: Monster One's and Monster Two's
// chance of winning (and of an error or the turn cap, where they occur)
// against the swept value, with axes, labels and a legend. Needs a
// QGuiApplication for its text.

#include <QImage>
#include <optional>
#include <string>
#include <vector>

#include "battle/odds.h"

struct SweepChart {
    std::string title;     // what is swept, over which range
    std::string subtitle;  // who fights whom
    std::string axis;      // the swept value's name under the x axis
    std::vector<int16_t> values;
    std::vector<karnwick::OutcomeOdds> odds;  // one per value
    std::optional<double> target;             // a chance from 0 to 1, drawn as a dashed line
};

QImage drawSweepChart(const SweepChart& chart);
