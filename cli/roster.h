#pragma once
// The monsters of a game folder as the commands that fight or show them see
// them: the records of monsters.tat for the indexes monster.dat holds, with
// every --set applied.

#include <QString>
#include <QStringList>
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
int16_t monsterIndex(const QString& text, int lastIndex, Appending appending = Appending::Refused);

class Roster {
  public:
    // Opens the game folder: both monster files must be there, monster.dat is
    // counted and every --set is read. Throws CommandError or GameError.
    Roster(const std::filesystem::path& folder, const QStringList& setTexts = {});

    int lastIndex() const { return m_lastIndex; }
    const std::filesystem::path& folder() const { return m_folder; }

    // The monster index `text` names; throws as monsterIndex does.
    int16_t index(const QString& text) const { return monsterIndex(text, m_lastIndex); }
    // The record of a monster as a fresh choice loads it; throws GameError.
    MonsterStats load(int16_t index) const;

  private:
    std::filesystem::path m_folder;
    int m_lastIndex = -1;
    std::vector<RecordOverride> m_overrides;
};

}  // namespace karnwick::cli
