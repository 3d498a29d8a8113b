#include "tools/record_overrides.h"

#include <QRegularExpression>
#include <array>
#include <utility>

using karnwick::MonsterStats;

namespace {

// The numbers a battle reads, by their record names.
constexpr std::array<std::pair<const char*, int16_t MonsterStats::*>, 15> kFields{{
    {"hp", &MonsterStats::hp},
    {"level", &MonsterStats::level},
    {"agility", &MonsterStats::agility},
    {"strength", &MonsterStats::strength},
    {"defense", &MonsterStats::defense},
    {"mpower", &MonsterStats::mpower},
    {"magicFlag", &MonsterStats::magicFlag},
    {"offMin", &MonsterStats::offMin},
    {"offMax", &MonsterStats::offMax},
    {"sp1Min", &MonsterStats::sp1Min},
    {"sp1Max", &MonsterStats::sp1Max},
    {"sp2Min", &MonsterStats::sp2Min},
    {"sp2Max", &MonsterStats::sp2Max},
    {"sp1Threshold", &MonsterStats::sp1Threshold},
    {"sp2Threshold", &MonsterStats::sp2Threshold},
}};

std::string fieldNames() {
    std::string names;
    for (const auto& [name, member] : kFields) names += (names.empty() ? "" : ", ") + std::string(name);
    return names;
}

}  // namespace

QCommandLineOption recordOverrideOption() {
    return QCommandLineOption(
        "set",
        "Change a number of monster INDEX's record for this run only, e.g. 3.hp=120 "
        "(repeatable; the files are not written).",
        "INDEX.FIELD=VALUE");
}

std::variant<std::vector<RecordOverride>, std::string> parseRecordOverrides(
    const QStringList& texts, int lastIndex) {
    static const QRegularExpression form(R"(^\s*([^.=]*)\.([^=]*)=(.*)$)");
    std::vector<RecordOverride> overrides;
    for (const QString& text : texts) {
        const std::string quoted = "--set \"" + text.toStdString() + "\": ";
        const QRegularExpressionMatch match = form.match(text);
        if (!match.hasMatch())
            return quoted + "expected INDEX.FIELD=VALUE, e.g. 3.hp=120";
        RecordOverride change;
        bool ok = false;
        const int index = match.captured(1).trimmed().toInt(&ok);
        if (!ok || index < 0 || index > lastIndex) {
            if (lastIndex < 0) return quoted + "there are no monsters in monster.dat";
            return quoted + "monster \"" + match.captured(1).toStdString() +
                   "\" is not a monster index: the valid range is 0.." + std::to_string(lastIndex);
        }
        change.index = static_cast<int16_t>(index);
        const std::string field = match.captured(2).trimmed().toStdString();
        for (const auto& [name, member] : kFields) {
            if (field == name) change.field = member;
        }
        if (!change.field)
            return quoted + "unknown field \"" + field + "\"; the fields are " + fieldNames();
        const long long value = match.captured(3).trimmed().toLongLong(&ok);
        if (!ok || value < INT16_MIN || value > INT16_MAX) {
            return quoted + "the value \"" + match.captured(3).toStdString() +
                   "\" is not a whole number from -32768 to 32767";
        }
        change.value = static_cast<int16_t>(value);
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
