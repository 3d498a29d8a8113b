#pragma once
// The charts' colours, one for each thing a chart shows: a side and its win
// are the same colour in the heat map, the match-up's bars and the sweep's
// curves, and each rarer end of a battle has one colour wherever it appears.

#include <QColor>
#include <string_view>

namespace karnwick::charts {

// Red for Monster One, blue for Monster Two: each side's win, and the ends
// of the heat map's scale (a sure win for One, a sure loss).
inline QColor sideColour(int side) {
    return side == 0 ? QColor(178, 24, 43) : QColor(33, 102, 172);
}

// An end of the battle by its outcome column's key ("turnCap"): a win in its
// side's colour.
inline QColor outcomeColour(std::string_view key) {
    if (key == "oneWins") return sideColour(0);
    if (key == "twoWins") return sideColour(1);
    if (key == "bothFell") return QColor(120, 120, 120);
    if (key == "turnCap") return QColor(230, 160, 30);
    return QColor(90, 60, 140);  // a run-time error
}

// The heat map's middle, an even battle.
inline QColor evenColour() {
    return QColor(247, 247, 247);
}
// A heat-map cell not worked out yet.
inline QColor unknownColour() {
    return QColor(200, 200, 200);
}
// A pair that mostly ends in an error or the turn cap, which no chance of
// winning stands for.
inline QColor undecidedColour() {
    return QColor(240, 200, 60);
}
// A monster's name that what-if changes touch.
inline QColor markedColour() {
    return QColor(200, 90, 0);
}
// The sweep's mark at the record's value as it stands.
inline QColor currentValueColour() {
    return QColor(0, 140, 60);
}
// Faint lines across a plot; the empty track behind a bar; the bars of the
// turns a battle lasts, which belong to neither side.
inline QColor gridColour() {
    return QColor(225, 225, 225);
}
inline QColor barTrackColour() {
    return QColor(235, 235, 235);
}
inline QColor turnsColour() {
    return QColor(90, 90, 90);
}

}  // namespace karnwick::charts
