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

  private:
    std::filesystem::path m_folder;
    int m_lastIndex = -1;
    std::vector<RecordOverride> m_overrides;
};

}  // namespace karnwick::cli
