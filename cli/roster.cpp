#include "cli/roster.h"

#include "data/errors.h"
#include "data/sprite.h"
#include "cli/command_line.h"

using namespace karnwick;

MonsterStats Roster::load(int index) const {
    MonsterStats stats;
    loadMonsterStats(static_cast<int16_t>(index), stats, folder / kStatsFileName);
    applyRecordOverrides(overrides, index, stats);
    return stats;
}

std::variant<int, std::string> Roster::index(const QString& text) const {
    if (const auto value = cli::wholeNumber(text, 0, lastIndex)) return static_cast<int>(*value);
    const std::string named = "monster \"" + text.toStdString() + "\" is not ";
    if (lastIndex < 0) return named + "in monster.dat, which holds no monsters";
    return named + "a monster index: the valid range is 0.." + std::to_string(lastIndex);
}

std::variant<Roster, std::string> openRoster(const std::filesystem::path& folder,
                                             const QStringList& setTexts) {
    if (const auto missing = cli::missingGameFile(folder, {kSpriteFileName, kStatsFileName}))
        return *missing;
    Roster roster;
    roster.folder = folder;
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
