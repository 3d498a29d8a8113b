#include "cli/roster.h"

#include <algorithm>
#include <climits>

#include "cli/command_line.h"
#include "cli/monster_names.h"
#include "cli/outcome_output.h"
#include "data/errors.h"
#include "data/sprite.h"

namespace karnwick::cli {

namespace {

[[noreturn]] void refuseRecordIndex(const QString& text, int lastIndex) {
    throw CommandError(missingEntryText(bytesFromArgument(text), "record", kStatsFileName,
                                        lastIndex + 1, kLastRecordIndex));
}

}  // namespace

int16_t monsterIndex(const QString& text, int lastIndex, Appending appending,
                     const std::filesystem::path& statsFile) {
    const bool appends = appending == Appending::Allowed;
    const int highest = appends ? std::min(lastIndex + 1, kLastRecordIndex) : lastIndex;
    if (const auto value = wholeNumber(text, 0, highest)) return static_cast<int16_t>(*value);
    const bool number = wholeNumber(text, LLONG_MIN, LLONG_MAX).has_value();
    if (!number && !statsFile.empty())
        return static_cast<int16_t>(resolveMonster(
            text, {.lastIndex = lastIndex, .namedRecords = lastIndex + 1, .statsFile = statsFile}));
    const std::string named = "monster " + quotedText(bytesFromArgument(text)) + " is not ";
    if (appends) {
        if (!wholeNumber(text, LLONG_MIN, LLONG_MAX)) throw CommandError(named + "a monster index");
        refuseRecordIndex(text, lastIndex);
    }
    if (lastIndex < 0) throw CommandError(named + "in monster.dat, which holds no monsters");
    throw CommandError(named + "a monster index: the valid range is 0.." +
                       std::to_string(lastIndex));
}

void addMatchUpArguments(QCommandLineParser& parser) {
    parser.addPositionalArgument("A", sideText(0) + ", by index or name.");
    parser.addPositionalArgument("B", sideText(1) + ", by index or name.");
}

std::array<QString, 2> matchUpArguments(const QStringList& positional) {
    if (positional.size() != 2)
        throw CommandError("expected two monster indexes, A and B (see --help)");
    return {positional[0], positional[1]};
}

Roster::Roster(const std::filesystem::path& folder, const QStringList& setTexts)
    : m_folder(folder) {
    requireGameFiles(folder, {kSpriteFileName, kStatsFileName});
    m_lastIndex = lastMonsterIndex(folder / kSpriteFileName);
    m_overrides = parseRecordOverrides(setTexts, m_lastIndex, folder / kStatsFileName);
}

int16_t Roster::index(const QString& text) const {
    return monsterIndex(text, m_lastIndex, Appending::Refused, m_folder / kStatsFileName);
}

MonsterStats Roster::load(int16_t index) const {
    MonsterStats stats;
    loadMonsterStats(index, stats, m_folder / kStatsFileName);
    applyRecordOverrides(m_overrides, index, stats);
    return stats;
}

MatchUp Roster::matchUp(const std::array<QString, 2>& names) const {
    MatchUp match;
    for (std::size_t side = 0; side < 2; ++side) {
        match.indexes[side] = index(names[side]);
        match.fighters[side] = load(match.indexes[side]);
    }
    return match;
}

}  // namespace karnwick::cli
