#pragma once
// The ends of a battle as every output names them: the CSV and JSON of odds,
// matrix and sweep, the tables, the chart legend, the FIGHT tooltip and the
// duel summary all walk this one table, so a column is added, renamed or
// reordered in one place.

#include <array>
#include <stdexcept>
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

// The column whose key is `key`; the key must be one of the table's.
constexpr const OutcomeColumn& outcomeColumn(std::string_view key) {
    for (const OutcomeColumn& column : kOutcomeColumns)
        if (column.key == key) return column;
    throw std::invalid_argument("no such outcome column");  // at compile time where constant
}

}  // namespace karnwick
