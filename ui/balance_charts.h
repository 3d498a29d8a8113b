#pragma once
// The Balance window's two charts, the roster's heat map and the sweep's
// balance curve, drawn onto any paint device so that one drawing serves the
// window and the saved picture.

#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QRect>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "battle/odds.h"
#include "charts/heat_map.h"
#include "charts/sweep_curve.h"

namespace karnwick::balance {

// labels[i] names monster i; oneWins[a * n + b] is row a (Monster One),
// column b; a pair not worked out yet is NaN and drawn grey.
using RosterPicture = charts::HeatMap;

using SweepPicture = charts::SweepCurve;
void paintSweep(QPainter& painter, const QRect& area, const SweepPicture& picture);
QImage drawSweep(const SweepPicture& picture);

}  // namespace karnwick::balance
