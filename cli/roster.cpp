#include "cli/roster.h"

#include "cli/command_line.h"
#include "data/sprite.h"

namespace karnwick::cli {

int16_t monsterIndex(const QString& text, int lastIndex) {
    if (const auto value = wholeNumber(text, 0, lastIndex)) return static_cast<int16_t>(*value);
    const std::string named = "monster \"" + text.toStdString() + "\" is not ";
    if (lastIndex < 0) throw CommandError(named + "in monster.dat, which holds no monsters");
    throw CommandError(named + "a monster index: the valid range is 0.." +
                       std::to_string(lastIndex));
}

Roster::Roster(const std::filesystem::path& folder, const QStringList& setTexts)
    : m_folder(folder) {
    requireGameFiles(folder, {kSpriteFileName, kStatsFileName});
    m_lastIndex = countMonsters(folder / kSpriteFileName);
    m_overrides = parseRecordOverrides(setTexts, m_lastIndex);
}

MonsterStats Roster::load(int16_t index) const {
    MonsterStats stats;
    loadMonsterStats(index, stats, m_folder / kStatsFileName);
    applyRecordOverrides(m_overrides, index, stats);
    return stats;
}

}  // namespace karnwick::cli
