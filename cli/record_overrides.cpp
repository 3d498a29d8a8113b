#include "cli/record_overrides.h"

#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <string_view>

#include "cli/command_line.h"
#include "cli/monster_names.h"
#include "cli/suggestions.h"
#include "data/record_fields.h"

using karnwick::MonsterStats;
using karnwick::cli::CommandError;
using karnwick::cli::resolveMonster;
using karnwick::cli::wholeNumber;

namespace {

// The numbers a battle reads, by their record names; the spare fields and the
// texts play no part in a battle.
constexpr std::array<std::string_view, 15> kBattleFields = {
    "hp",     "level",  "agility", "strength", "defense", "mpower",       "magicFlag",    "offMin",
    "offMax", "sp1Min", "sp1Max",  "sp2Min",   "sp2Max",  "sp1Threshold", "sp2Threshold",
};

int16_t MonsterStats::*battleField(std::string_view name) {
    if (std::find(kBattleFields.begin(), kBattleFields.end(), name) == kBattleFields.end())
        return nullptr;
    return karnwick::findRecordField(name)->number;
}

std::vector<std::string> fieldNames() {
    return {kBattleFields.begin(), kBattleFields.end()};
}

}  // namespace

QCommandLineOption recordOverrideOption() {
    return QCommandLineOption(
        "set",
        "Change a number of monster INDEX's record for this run only, e.g. 3.hp=120 "
        "(repeatable; the files are not written).",
        "INDEX.FIELD=VALUE");
}

std::vector<RecordOverride> parseRecordOverrides(const QStringList& texts, int lastIndex,
                                                 const std::filesystem::path& statsFile) {
    // A name may hold dots: the field follows the last one before the '='.
    static const QRegularExpression form(R"(^\s*(.*)\.([^.=]*)=([^=]*)$)");
    std::vector<RecordOverride> overrides;
    for (const QString& text : texts) {
        const std::string quoted = "--set \"" + text.toStdString() + "\": ";
        const QRegularExpressionMatch match = form.match(text);
        if (!match.hasMatch())
            throw CommandError(quoted + "expected INDEX.FIELD=VALUE, e.g. 3.hp=120");
        RecordOverride change;
        try {
            change.index = static_cast<int16_t>(resolveMonster(
                match.captured(1).trimmed(), {.lastIndex = lastIndex, .statsFile = statsFile}));
        } catch (const CommandError& e) {
            throw CommandError(quoted + e.what());
        }
        const std::string field = match.captured(2).trimmed().toStdString();
        change.field = battleField(field);
        if (!change.field)
            throw CommandError(quoted + "unknown field \"" + field + "\"" +
                               karnwick::cli::suggestionOrList(field, fieldNames(), "fields"));
        const auto value = wholeNumber(match.captured(3).trimmed(), INT16_MIN, INT16_MAX);
        if (!value) {
            throw CommandError(quoted + "the value \"" + match.captured(3).toStdString() +
                               "\" is not a whole number from -32768 to 32767");
        }
        change.value = static_cast<int16_t>(*value);
        overrides.push_back(change);
    }
    return overrides;
}

void applyRecordOverrides(const std::vector<RecordOverride>& overrides, int index,
                          MonsterStats& stats) {
    for (const RecordOverride& change : overrides) {
        if (change.index == index) stats.*change.field = change.value;
    }
}
