#include "cli/record_overrides.h"

#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <string_view>

#include "battle/battle_fields.h"
#include "cli/command_line.h"
#include "cli/field_value.h"
#include "cli/roster.h"
#include "cli/suggestions.h"
#include "data/errors.h"
#include "data/record_fields.h"

using karnwick::MonsterStats;
using karnwick::cli::CommandError;
using karnwick::cli::monsterIndex;

namespace {

int16_t MonsterStats::*battleField(std::string_view name) {
    if (!karnwick::isBattleField(name)) return nullptr;
    return karnwick::findRecordField(name)->number;
}

std::vector<std::string> fieldNames() {
    return {karnwick::kBattleFields.begin(), karnwick::kBattleFields.end()};
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
        const std::string quoted = "--set " + karnwick::quotedText(text.toStdString()) + ": ";
        const QRegularExpressionMatch match = form.match(text);
        if (!match.hasMatch())
            throw CommandError(quoted + "expected INDEX.FIELD=VALUE, e.g. 3.hp=120");
        RecordOverride change;
        try {
            change.index = monsterIndex(match.captured(1).trimmed(), lastIndex,
                                        karnwick::cli::Appending::Refused, statsFile);
        } catch (const CommandError& e) {
            throw CommandError(quoted + e.what());
        }
        const std::string field = match.captured(2).trimmed().toStdString();
        change.field = battleField(field);
        if (!change.field)
            throw CommandError(quoted + "unknown field \"" + field + "\"" +
                               karnwick::cli::suggestionOrList(field, fieldNames(), "fields"));
        const auto value = karnwick::cli::numberValue(match.captured(3).trimmed().toStdString());
        if (!value) {
            throw CommandError(quoted + "the value " +
                               karnwick::quotedText(match.captured(3).toStdString()) + " is not " +
                               karnwick::cli::kNumberValues);
        }
        change.value = *value;
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
