#pragma once
// The monsters of a game folder as the odds commands see them: the records of
// monsters.tat for the indexes monster.dat holds, with every --set applied.

#include <QString>
#include <QStringList>
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

#include "data/monster_stats.h"
#include "cli/record_overrides.h"

struct Roster {
    std::filesystem::path folder;
    int lastIndex = -1;
    std::vector<RecordOverride> overrides;

    // The record of a monster as a fresh choice loads it; throws GameError.
    karnwick::MonsterStats load(int index) const;
    // A text naming a monster index, or the reason it names none.
    std::variant<int, std::string> index(const QString& text) const;
};

// On a problem (a missing or unreadable game file, a wrong --set) returns its
// message.
std::variant<Roster, std::string> openRoster(const std::filesystem::path& folder,
                                             const QStringList& setTexts);
