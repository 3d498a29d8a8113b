#pragma once
// The ends of a battle as every output names them: the CSV and JSON of odds,
// matrix and sweep, the tables, the chart legend, the FIGHT tooltip and the
// duel summary all walk this one table, so a column is added, renamed or
// reordered in one place.

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

#include "battle/odds.h"

namespace karnwick {

struct OutcomeColumn {
    std::string_view key;      // the CSV header and the JSON key
    std::string_view heading;  // a table's column heading
    std::string_view label;    // a summary's line: "Ended by the 667-turn cap"
    std::string_view phrase;   // in running text and a legend: "667-turn cap"
    double OutcomeOdds::*value;
    bool isChance;  // a chance from 0 to 1; else a number of turns
};

inline constexpr std::array<OutcomeColumn, 6> kOutcomeColumns = {{
    {"oneWins", "One wins", "Monster One wins", "Monster One wins", &OutcomeOdds::oneWins, true},
    {"twoWins", "Two wins", "Monster Two wins", "Monster Two wins", &OutcomeOdds::twoWins, true},
    {"bothFell", "Both fell", "Both fell at the start", "both fall", &OutcomeOdds::bothFell, true},
    {"turnCap", "Turn cap", "Ended by the 667-turn cap", "667-turn cap", &OutcomeOdds::turnCap,
     true},
    {"error", "Error", "Stopped by a run-time error", "run-time error", &OutcomeOdds::error, true},
    {"meanTurns", "Mean turns", "Mean turns", "turns on average", &OutcomeOdds::meanTurns, false},
}};

// A chance as it is reported: the rounding of doubles can carry a sum of
// chances a hair past 1 or below 0, which no battle can have.
constexpr double boundedChance(double chance) {
    return std::clamp(chance, 0.0, 1.0);
}

// The column whose key is `key`; the key must be one of the table's.
constexpr const OutcomeColumn& outcomeColumn(std::string_view key) {
    for (const OutcomeColumn& column : kOutcomeColumns)
        if (column.key == key) return column;
    throw std::invalid_argument("no such outcome column");  // at compile time where constant
}

// The shortest text that reads back as the same double: how every CSV and
// JSON of the command line and the Balance window's copies write a number.
inline std::string shortestNumber(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

// The outcome columns' CSV header: "oneWins,twoWins,bothFell,turnCap,error,meanTurns".
inline std::string outcomeCsvHeader() {
    std::string header;
    for (const OutcomeColumn& column : kOutcomeColumns)
        header.append(header.empty() ? "" : ",").append(column.key);
    return header;
}

// The same columns of one battle's odds, in shortest decimals.
inline std::string outcomeCsvCells(const OutcomeOdds& odds) {
    std::string cells;
    for (const OutcomeColumn& column : kOutcomeColumns)
        cells.append(cells.empty() ? "" : ",").append(shortestNumber(odds.*column.value));
    return cells;
}

// A chance as the windows and text tables show it: "12.34%". A chance that
// is there but rounds to none, or short of sure but rounds to all, says so:
// "<0.01%", ">99.99%". CSV and JSON keep the full number instead.
inline std::string percentText(double chance) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f%%", 100.0 * chance);
    const std::string shown = text;
    if (chance > 0.0 && shown == "0.00%") return "<0.01%";
    if (chance < 1.0 && shown == "100.00%") return ">99.99%";
    return shown;
}

}  // namespace karnwick
