#pragma once
// The match-up of the arena's Balance window: the chance of each end of the
// battle as a bar, how many turns it lasts and each side's hit points at its
// end, drawn onto any paint device so one drawing serves the window and the
// saved picture. Needs a QGuiApplication for its text.

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QRectF>
#include <QString>
#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "battle/odds.h"

namespace karnwick::charts {

// One side's hit points when the battle ends, with their chances.
using HitPointChances = std::vector<std::pair<int, double>>;

struct MatchUpChart {
    std::string title;   // "3 Glubbora (Monster One) against 5 Troll (Monster Two)"
    std::string whatIf;  // "What if: 5.hp=120" under the title; empty without changes
    std::array<std::string, 2> names;
    std::optional<BattleOdds> odds;
    // The odds of the records as the files hold them, when a what-if changed
    // them: each bar then shows where it stood and how far it moved.
    std::optional<OutcomeOdds> before;
    std::array<HitPointChances, 2> hpLeft;
};

// What `karnwick odds` says of a side's hit points at the end: "mean 27.18,
// median 28, lowest -12, highest 47", the median being the least value by
// which at least half of the battles have ended; empty without chances.
std::string hitPointsSummary(const HitPointChances& left);

// A place of the drawing and what it stands for in words, for a hover
// readout: "turn 31: 8.91%".
struct ChartSpot {
    QRectF place;
    QString text;
};

// The chart drawn into `area`; with `spots`, each histogram bar's column and
// its readout are added to them.
void paintMatchUpChart(QPainter& painter, const QRect& area, const MatchUpChart& chart,
                       std::vector<ChartSpot>* spots = nullptr);
QImage drawMatchUpChart(const MatchUpChart& chart);

}  // namespace karnwick::charts
