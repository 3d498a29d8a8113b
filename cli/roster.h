#pragma once
// The monsters of a game folder as the commands that fight or show them see
// them: the records of monsters.tat for the indexes monster.dat holds, with
// every --set applied.

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "cli/record_overrides.h"
#include "data/monster_stats.h"

namespace karnwick::cli {

// Whether a monster index may name the record just past the last one.
enum class Appending { Refused, Allowed };

// The monster index `text` names. With appending refused: one of
// 0..lastIndex, the highest index monster.dat holds (-1 when it holds none).
// With appending allowed: one of monsters.tat's records, lastIndex being its
// last, or the one just past them while a record there can be read. Throws
// CommandError naming the text and the valid range.
// A word that is no number is a name among records 0..lastIndex of
// `statsFile` (see resolveMonster); without `statsFile` only numbers are read.
int16_t monsterIndex(const QString& text, int lastIndex, Appending appending = Appending::Refused,
                     const std::filesystem::path& statsFile = {});

// The arguments A and B of the commands that pit two monsters (duel, odds,
// sweep): Monster One and Monster Two, by index or name.
void addMatchUpArguments(QCommandLineParser& parser);

// A and B, the only arguments of `duel` and `odds`; throws CommandError
// unless there are exactly two.
std::array<QString, 2> matchUpArguments(const QStringList& positional);

// Monsters A and B as a fresh choice of both loads them.
struct MatchUp {
    std::array<int16_t, 2> indexes{};
    Fighters fighters{};
};

class Roster {
  public:
    // Opens the game folder: both monster files must be there, monster.dat is
    // counted and every --set is read. Throws CommandError or GameError.
    Roster(const std::filesystem::path& folder, const QStringList& setTexts = {});

    int lastIndex() const { return m_lastIndex; }
    const std::filesystem::path& folder() const { return m_folder; }

    // The monster `text` names, by index or by name (see resolveMonster).
    int16_t index(const QString& text) const;
    // The record of a monster as a fresh choice loads it; throws GameError.
    MonsterStats load(int16_t index) const;
    // Monster One and Monster Two as `names` give them, each named and
    // loaded in turn; throws CommandError or GameError.
    MatchUp matchUp(const std::array<QString, 2>& names) const;

  private:
    std::filesystem::path m_folder;
    int m_lastIndex = -1;
    std::vector<RecordOverride> m_overrides;
};

}  // namespace karnwick::cli
