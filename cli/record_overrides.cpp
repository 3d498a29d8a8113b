#include "cli/record_overrides.h"

#include <QString>
#include <filesystem>

#include "cli/arguments.h"

namespace karnwick::cli {

QCommandLineOption recordOverrideOption() {
    return QCommandLineOption("set",
                              QString::fromStdString(recordOverrideHelp(
                                  "Change a number of monster INDEX's record for this run only")),
                              QString::fromLatin1(kRecordOverrideForm));
}

namespace {

MonsterFinder monsterIn(int lastIndex, const std::filesystem::path& statsFile) {
    return monsterByIndexOrName(
        {.lastIndex = lastIndex, .namedRecords = lastIndex + 1, .statsFile = statsFile});
}

}  // namespace

RecordNumber parseRecordNumber(const QString& text, int lastIndex,
                               const std::filesystem::path& statsFile) {
    return karnwick::parseRecordNumber(bytesFromArgument(text), monsterIn(lastIndex, statsFile));
}

std::vector<RecordOverride> parseRecordOverrides(const QStringList& texts, int lastIndex,
                                                 const std::filesystem::path& statsFile) {
    const MonsterFinder findMonster = monsterIn(lastIndex, statsFile);
    std::vector<RecordOverride> overrides;
    for (const QString& text : texts)
        overrides.push_back(parseRecordOverride(bytesFromArgument(text), findMonster));
    return overrides;
}

}  // namespace karnwick::cli
