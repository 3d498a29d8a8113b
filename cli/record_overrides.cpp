#include "cli/record_overrides.h"

#include "cli/command_line.h"

QCommandLineOption recordOverrideOption() {
    return QCommandLineOption(
        "set",
        "Change a number of monster INDEX's record for this run only, e.g. 3.hp=120 "
        "(repeatable; the files are not written).",
        "INDEX.FIELD=VALUE");
}

std::vector<RecordOverride> parseRecordOverrides(const QStringList& texts, int lastIndex) {
    std::vector<RecordOverride> overrides;
    for (const QString& text : texts) {
        std::string problem;
        const auto change = karnwick::parseRecordOverride(text.toStdString(), lastIndex, problem);
        if (!change) throw karnwick::cli::CommandError(problem);
        overrides.push_back(*change);
    }
    return overrides;
}
