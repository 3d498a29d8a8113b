#pragma once
// The sides and the ends of a battle as every output names them: the CSV and
// JSON of odds, matrix and sweep, the tables, the charts, the FIGHT tooltip,
// the Balance window and the battle's own errors all take their words from
// here, so a side, a column or a sentence changes in one place.

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

#include "battle/odds.h"
#include "battle/rules.h"

namespace karnwick {

// Side 0 and side 1 of every battle, table, chart and window.
constexpr std::string_view sideName(int side) {
    return side == 0 ? "Monster One" : "Monster Two";
}

// Two monsters facing each other, each with its side: "3 Glubbora (Monster
// One) against 5 Troll (Monster Two)", from their labels (monsterLabel).
inline std::string matchUpText(std::string_view one, std::string_view two) {
    return std::string(one) + " (" + std::string(sideName(0)) + ") against " + std::string(two) +
           " (" + std::string(sideName(1)) + ")";
}

namespace detail {

// A short text put together at compile time, so that the outcome table's
// words can come from the side names and the rules' turn cap and still be
// constants the table points into.
struct JoinedText {
    std::array<char, 40> chars{};
    std::size_t size = 0;

    constexpr void add(std::string_view text) {
        for (const char c : text) chars.at(size++) = c;
    }
    constexpr void add(int number) {
        std::array<char, 12> digits{};
        std::size_t count = 0;
        do {
            digits.at(count++) = static_cast<char>('0' + number % 10);
            number /= 10;
        } while (number > 0);
        while (count > 0) chars.at(size++) = digits.at(--count);
    }
    constexpr std::string_view view() const { return {chars.data(), size}; }
};

constexpr JoinedText joined(auto... parts) {
    JoinedText text;
    (text.add(parts), ...);
    return text;
}

inline constexpr JoinedText kOneWins = joined(sideName(0), " wins");
inline constexpr JoinedText kTwoWins = joined(sideName(1), " wins");
inline constexpr JoinedText kCapPhrase = joined(int{kMaxTurns}, "-turn cap");
inline constexpr JoinedText kCapLabel = joined("Ended by the ", kCapPhrase.view());

}  // namespace detail

struct OutcomeColumn {
    std::string_view key;      // the CSV header and the JSON key
    std::string_view heading;  // a table's column heading
    std::string_view label;    // a summary's line: "Ended by the 667-turn cap"
    std::string_view phrase;   // in running text and a legend: "667-turn cap"
    double OutcomeOdds::*value;
    bool isChance;    // a chance from 0 to 1; else a number of turns
    int winner = -1;  // the side this end is a win for; -1 for the other ends
};

inline constexpr std::array<OutcomeColumn, 6> kOutcomeColumns = {{
    {"oneWins", "One wins", detail::kOneWins.view(), detail::kOneWins.view(), &OutcomeOdds::oneWins,
     true, 0},
    {"twoWins", "Two wins", detail::kTwoWins.view(), detail::kTwoWins.view(), &OutcomeOdds::twoWins,
     true, 1},
    {"bothFell", "Both fell", "Both fell at the start", "both fall", &OutcomeOdds::bothFell, true},
    {"turnCap", "Turn cap", detail::kCapLabel.view(), detail::kCapPhrase.view(),
     &OutcomeOdds::turnCap, true},
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

// A summary's line for an end of the battle, a win naming its winner:
// "Monster One wins (Grubnik)".
inline std::string outcomeLine(const OutcomeColumn& column, std::string_view oneName,
                               std::string_view twoName) {
    std::string line(column.label);
    if (column.winner >= 0)
        line.append(" (").append(column.winner == 0 ? oneName : twoName).append(")");
    return line;
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

// The CSV lines of `odds --csv` and `matrix --csv` (and the Balance window's
// copies of them): the header, then one line per pair of monsters.
inline std::string pairCsvHeader() {
    return "one,two," + outcomeCsvHeader() + "\n";
}
inline std::string pairCsvLine(long long one, long long two, const OutcomeOdds& odds) {
    return std::to_string(one) + "," + std::to_string(two) + "," + outcomeCsvCells(odds) + "\n";
}

// The CSV lines of `sweep --csv`: the header, then one line per swept value.
inline std::string sweepCsvHeader() {
    return "value," + outcomeCsvHeader() + "\n";
}
inline std::string sweepCsvLine(long long value, const OutcomeOdds& odds) {
    return std::to_string(value) + "," + outcomeCsvCells(odds) + "\n";
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

// The odds in running words, as the FIGHT button's tooltip and the Balance
// window's readouts give them: "Monster One wins 60.65% · Monster Two wins
// 39.35% · 20.8 turns on average", a rarer end named only where a battle can
// come to it.
inline std::string oddsSentence(const OutcomeOdds& odds) {
    constexpr std::string_view kSeparator = " \u00b7 ";
    std::string text;
    for (const OutcomeColumn& column : kOutcomeColumns) {
        const double chance = odds.*column.value;
        if (!column.isChance || (column.winner < 0 && !(chance > 0.0))) continue;
        text.append(text.empty() ? "" : kSeparator).append(column.phrase);
        text.append(" ").append(percentText(chance));
    }
    char turns[32];
    std::snprintf(turns, sizeof turns, "%.1f ", odds.meanTurns);
    return text.append(kSeparator).append(turns).append(outcomeColumn("meanTurns").phrase);
}

}  // namespace karnwick
