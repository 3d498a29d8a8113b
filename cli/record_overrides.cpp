#include "cli/record_overrides.h"

#include <QString>
#include <climits>
#include <filesystem>
#include <string>

#include "cli/command_line.h"
#include "cli/roster.h"
#include "cli/suggestions.h"
#include "data/errors.h"
#include "data/record_fields.h"

namespace karnwick::cli {

namespace {

std::vector<std::string> fieldNames() {
    return {karnwick::kBattleFields.begin(), karnwick::kBattleFields.end()};
}

// INDEX.FIELD with a monster's name in its INDEX part replaced by the index,
// so the one parser of the form reads it; the field is what follows the last
// dot, since a name may hold dots. A mistyped field gets the nearest field's
// name. Throws CommandError saying what is wrong, without the text.
std::string withIndex(const std::string& text, int lastIndex,
                      const std::filesystem::path& statsFile) {
    const std::size_t dot = text.rfind('.');
    if (dot == std::string::npos || text.find('=') != std::string::npos) return text;
    const QString field = QString::fromStdString(text.substr(dot + 1)).trimmed();
    if (!karnwick::battleField(field.toStdString())) {
        throw CommandError(unknownFieldMessage(
            field.toStdString(), suggestionOrList(field.toStdString(), fieldNames(), "fields")));
    }
    const QString who = QString::fromStdString(text.substr(0, dot)).trimmed();
    if (who.isEmpty() || karnwick::wholeNumber(who.toStdString(), LLONG_MIN, LLONG_MAX))
        return text;
    return std::to_string(monsterIndex(who, lastIndex, Appending::Refused, statsFile)) +
           text.substr(dot);
}

}  // namespace

QCommandLineOption recordOverrideOption() {
    return QCommandLineOption("set",
                              QString::fromStdString(recordOverrideHelp(
                                  "Change a number of monster INDEX's record for this run only")),
                              QString::fromLatin1(kRecordOverrideForm));
}

RecordNumber parseRecordNumber(const QString& text, int lastIndex,
                               const std::filesystem::path& statsFile) {
    return karnwick::parseRecordNumber(withIndex(text.toStdString(), lastIndex, statsFile),
                                       lastIndex);
}

std::vector<RecordOverride> parseRecordOverrides(const QStringList& texts, int lastIndex,
                                                 const std::filesystem::path& statsFile) {
    std::vector<RecordOverride> overrides;
    for (const QString& text : texts) {
        std::string change = text.toStdString();
        const std::size_t equals = change.find('=');
        if (equals != std::string::npos && equals != 0) {
            try {
                change = withIndex(change.substr(0, equals), lastIndex, statsFile) +
                         change.substr(equals);
            } catch (const CommandError& e) {
                throw CommandError("--set " + quotedText(text.toStdString()) + ": " + e.what());
            }
        }
        overrides.push_back(parseRecordOverride(change, lastIndex));
    }
    return overrides;
}

}  // namespace karnwick::cli
