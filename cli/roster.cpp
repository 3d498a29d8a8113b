#include "cli/roster.h"

#include "cli/command_line.h"
#include "cli/monster_names.h"
#include "data/sprite.h"

namespace karnwick::cli {

Roster::Roster(const std::filesystem::path& folder, const QStringList& setTexts)
    : m_folder(folder) {
    requireGameFiles(folder, {kSpriteFileName, kStatsFileName});
    m_lastIndex = countMonsters(folder / kSpriteFileName);
    m_overrides = parseRecordOverrides(setTexts, m_lastIndex, folder / kStatsFileName);
}

int16_t Roster::index(const QString& text) const {
    return static_cast<int16_t>(
        resolveMonster(text, {.lastIndex = m_lastIndex, .statsFile = m_folder / kStatsFileName}));
}

MonsterStats Roster::load(int16_t index) const {
    MonsterStats stats;
    loadMonsterStats(index, stats, m_folder / kStatsFileName);
    applyRecordOverrides(m_overrides, index, stats);
    return stats;
}

}  // namespace karnwick::cli
