#include "cli/record_overrides.h"

#include <QString>
#include <climits>
#include <filesystem>
#include <string>

#include "cli/command_line.h"
#include "cli/roster.h"
#include "cli/suggestions.h"
#include "data/errors.h"

namespace karnwick::cli {

namespace {

std::vector<std::string> fieldNames() {
    return {karnwick::kBattleFields.begin(), karnwick::kBattleFields.end()};
}

// The text with a monster's name in its INDEX part replaced by the index, so
// the one parser of the form reads it; the field is what follows the last dot,
// since a name may hold dots. A mistyped field gets the nearest field's name.
std::string withIndex(const std::string& text, int lastIndex,
                      const std::filesystem::path& statsFile) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0) return text;
    const std::size_t dot = text.rfind('.', equals - 1);
    if (dot == std::string::npos) return text;
    const std::string quoted = "--set " + karnwick::quotedText(text) + ": ";
    const QString field = QString::fromStdString(text.substr(dot + 1, equals - dot - 1)).trimmed();
    if (!karnwick::battleField(field.toStdString())) {
        throw karnwick::cli::CommandError(
            quoted + "unknown field \"" + field.toStdString() + "\"" +
            karnwick::cli::suggestionOrList(field.toStdString(), fieldNames(), "fields"));
    }
    const QString who = QString::fromStdString(text.substr(0, dot)).trimmed();
    if (who.isEmpty() || karnwick::wholeNumber(who.toStdString(), LLONG_MIN, LLONG_MAX))
        return text;
    try {
        const int16_t index = karnwick::cli::monsterIndex(
            who, lastIndex, karnwick::cli::Appending::Refused, statsFile);
        return std::to_string(index) + text.substr(dot);
    } catch (const karnwick::cli::CommandError& e) {
        throw karnwick::cli::CommandError(quoted + e.what());
    }
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
    std::vector<RecordOverride> overrides;
    for (const QString& text : texts) {
        std::string problem;
        const auto change = karnwick::parseRecordOverride(
            withIndex(text.toStdString(), lastIndex, statsFile), lastIndex, problem);
        if (!change) throw karnwick::cli::CommandError(problem);
        overrides.push_back(*change);
    }
    return overrides;
}

}  // namespace karnwick::cli
