#pragma once
// The engine's monster lookup (see data/monster_names.h) for a word as the
// command-line parser holds it.

#include <QString>

#include "cli/arguments.h"
#include "data/monster_names.h"

namespace karnwick::cli {

using karnwick::missingEntryText;
using karnwick::MonsterLookup;
using karnwick::monsterNames;

inline int resolveMonster(const QString& word, const MonsterLookup& lookup) {
    return karnwick::resolveMonster(bytesFromArgument(word), lookup);
}

inline int resolveMonster(const QString& word, const MonsterLookup& lookup,
                          const std::vector<std::string>& names) {
    return karnwick::resolveMonster(bytesFromArgument(word), lookup, names);
}

}  // namespace karnwick::cli
