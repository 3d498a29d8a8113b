#include "ui/balance_text.h"

#include <algorithm>
#include <iterator>

#include "battle/outcome_columns.h"

namespace karnwick::balance {

namespace {

QString outcomeHeader() {
    return QString::fromStdString(outcomeCsvHeader());
}

QString outcomeCells(const OutcomeOdds& odds) {
    return QString::fromStdString(outcomeCsvCells(odds));
}

}  // namespace

QString matchUpTable(int one, int two, const OutcomeOdds& odds) {
    return "one,two," + outcomeHeader() + "\n" + QStringLiteral("%1,%2,").arg(one).arg(two) +
           outcomeCells(odds) + "\n";
}

QString rosterTable(const std::vector<OutcomeOdds>& pairs, std::size_t monsters) {
    QString text = "one,two," + outcomeHeader() + "\n";
    for (std::size_t a = 0; a < monsters; ++a)
        for (std::size_t b = 0; b < monsters; ++b)
            text += QStringLiteral("%1,%2,").arg(a).arg(b) + outcomeCells(pairs[a * monsters + b]) +
                    "\n";
    return text;
}

QString sweepTable(const std::vector<int16_t>& values, const std::vector<OutcomeOdds>& odds) {
    QString text = "value," + outcomeHeader() + "\n";
    for (std::size_t i = 0; i < odds.size() && i < values.size(); ++i)
        text += QString::number(values[i]) + "," + outcomeCells(odds[i]) + "\n";
    return text;
}

QString checkLine(const GameFileProblem& p) {
    return QString::fromStdString(problemLine(p));
}

QString checkSummary(const GameFilesReport& report) {
    return QString::fromStdString(reportSummaryLine(report));
}

QString tabSeparated(QString csv) {
    return csv.replace(',', '\t');
}

QString setOptions(const std::vector<RecordOverride>& changes) {
    QString options;
    for (const RecordOverride& change : changes)
        options += " --set " + QString::fromStdString(recordOverrideText(change));
    return options;
}

std::string whatIfTitle(const std::vector<RecordOverride>& changes) {
    std::string title;
    for (const RecordOverride& change : changes)
        title += (title.empty() ? "What if: " : " ") + recordOverrideText(change);
    return title;
}

QString whatIfLine(const std::vector<RecordOverride>& changes) {
    if (changes.empty()) return {};
    return "What if:" + setOptions(changes) + "\n";
}

std::vector<RecordOverride> changesOfPair(const std::vector<RecordOverride>& changes, int one,
                                          int two) {
    std::vector<RecordOverride> matter;
    std::copy_if(changes.begin(), changes.end(), std::back_inserter(matter),
                 [&](const RecordOverride& c) { return c.index == one || c.index == two; });
    return matter;
}

QString shellWord(const std::filesystem::path& path) {
    const QString text = QString::fromStdString(path.string());
    static const QString kPlain =
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-+=:,@%");
    bool plain = !text.isEmpty();
    for (const QChar c : text) plain = plain && kPlain.contains(c);
    if (plain) return text;
    return "'" + QString(text).replace("'", "'\\''") + "'";
}

}  // namespace karnwick::balance
