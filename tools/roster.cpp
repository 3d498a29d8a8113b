#include "tools/roster.h"

#include "data/errors.h"
#include "data/sprite.h"

using namespace karnwick;

MonsterStats Roster::load(int index) const {
    MonsterStats stats;
    loadMonsterStats(static_cast<int16_t>(index), stats, folder / kStatsFileName);
    applyRecordOverrides(overrides, index, stats);
    return stats;
}

std::variant<int, std::string> Roster::index(const QString& text) const {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (ok && value >= 0 && value <= lastIndex) return value;
    const std::string named = "monster \"" + text.toStdString() + "\" is not ";
    if (lastIndex < 0) return named + "in monster.dat, which holds no monsters";
    return named + "a monster index: the valid range is 0.." + std::to_string(lastIndex);
}

std::variant<Roster, std::string> openRoster(const QString& folder, const QStringList& setTexts) {
    Roster roster;
    roster.folder = std::filesystem::path(folder.toStdString());
    try {
        roster.lastIndex = countMonsters(roster.folder / kSpriteFileName);
    } catch (const GameError& e) {
        return std::string(e.what());
    }
    auto parsed = parseRecordOverrides(setTexts, roster.lastIndex);
    if (auto* message = std::get_if<std::string>(&parsed)) return *message;
    roster.overrides = std::move(std::get<std::vector<RecordOverride>>(parsed));
    return roster;
}
