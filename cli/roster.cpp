#include "cli/roster.h"

#include "cli/command_line.h"
#include "data/sprite.h"

namespace karnwick::cli {

int16_t monsterIndex(const QString& text, int lastIndex) {
    std::string problem;
    if (const auto index = karnwick::monsterIndex(text.toStdString(), lastIndex, problem))
        return *index;
    throw CommandError(problem);
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
    karnwick::applyRecordOverrides(m_overrides, index, stats);
    return stats;
}

}  // namespace karnwick::cli
