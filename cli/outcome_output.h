#pragma once
// How the commands print numbers and outcomes: the shortest decimal that
// reads back as the same double, the outcome columns of odds, matrix and
// sweep in CSV and JSON (walking the one outcome table), and the progress
// line of long work.

#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <ostream>
#include <string>

#include "battle/odds.h"

namespace karnwick::cli {

// printf into a string, for the tables' fixed-width columns.
template <typename... Values>
std::string formatted(const char* format, Values... values) {
    char line[240];
    std::snprintf(line, sizeof line, format, values...);
    return line;
}

// A side's name (sideName) for a help text.
QString sideText(int side);

// The outcome columns' keys (outcomeCsvHeader) added to `object`.
void addOutcomeJson(QJsonObject& object, const OutcomeOdds& odds);

// One JSON value on one line.
std::string jsonLine(const QJsonObject& object);
std::string jsonLine(const QJsonArray& array);

// Work that runs longer than a minute says so on stderr once the rate is
// known (after a second), and on a terminal shows how far it is and the
// time left, on one line that is cleared at the end: "karnwick matrix: 10 of
// 3249 match-ups, about 2 s left".
class Progress {
  public:
    Progress(std::ostream& err, std::string command, std::string units, std::size_t total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void operator()(std::size_t done);
    void clear();

  private:
    std::ostream& m_err;
    std::string m_command, m_units;
    std::size_t m_total;
    bool m_terminal;
    bool m_estimated = false;
    std::size_t m_shown = 0;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

}  // namespace karnwick::cli
