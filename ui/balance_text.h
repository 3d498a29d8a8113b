#pragma once
// The Balance window's numbers as text: the same rows, columns and number
// formatting as the command line's CSV of odds, matrix and sweep and the text
// of check, with tabs between the columns for pasting into a spreadsheet; and
// the command line that prints the same numbers.

#include <QString>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "battle/game_files_check.h"
#include "battle/odds.h"
#include "battle/record_check.h"
#include "battle/record_override.h"

namespace karnwick::balance {

// `odds A B --csv`: the header and one row.
QString matchUpTable(int one, int two, const OutcomeOdds& odds);
// `matrix --csv`: every pair, row by row; oneWins[a * n + b] for pair (a, b).
QString rosterTable(const std::vector<OutcomeOdds>& pairs, std::size_t monsters);
// `sweep ... --csv`.
QString sweepTable(const std::vector<int16_t>& values, const std::vector<OutcomeOdds>& odds);
// The text `check` prints for these findings.
QString checkLine(const GameFileProblem& problem);
QString checkSummary(const GameFilesReport& report);

// A CSV text with tabs for its commas (no field of these tables holds a comma).
QString tabSeparated(QString csv);

// The --set options of `changes`, each with a space in front.
QString setOptions(const std::vector<RecordOverride>& changes);
// The changes in the words of a chart's title block: "What if: 5.hp=120
// 3.strength=40"; empty without changes.
std::string whatIfTitle(const std::vector<RecordOverride>& changes);
// The line that starts a copy made with what-if changes, naming them as the
// command line takes them: "What if: --set 5.hp=120\n"; empty without changes.
QString whatIfLine(const std::vector<RecordOverride>& changes);
// The changes that touch monsters `one` and `two`.
std::vector<RecordOverride> changesOfPair(const std::vector<RecordOverride>& changes, int one,
                                          int two);

// The shell word for a path, in single quotes when it needs any.
QString shellWord(const std::filesystem::path& path);

}  // namespace karnwick::balance
