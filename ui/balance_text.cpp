#include "ui/balance_text.h"

#include <charconv>

#include "battle/outcome_columns.h"

namespace karnwick::balance {

std::string shortestNumber(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

QString outcomeHeader() {
    QString header;
    for (const OutcomeColumn& column : kOutcomeColumns)
        header += (header.isEmpty() ? "" : ",") +
                  QString::fromLatin1(column.key.data(), static_cast<qsizetype>(column.key.size()));
    return header;
}

QString outcomeCells(const OutcomeOdds& odds) {
    QString cells;
    for (const OutcomeColumn& column : kOutcomeColumns)
        cells += (cells.isEmpty() ? "" : ",") +
                 QString::fromStdString(shortestNumber(odds.*column.value));
    return cells;
}

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
    // As a statistics box shows a name: every control byte but the tab a blank.
    std::string name = p.name;
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') c = ' ';
    std::string line = p.file;
    if (p.monster) line += ": monster " + std::to_string(*p.monster) + " \"" + name + "\"";
    if (!p.field.empty()) line += ": " + p.field + " = " + p.value;
    line +=
        std::string(": ") + (p.severity == Severity::Error ? "error" : "warning") + ": " + p.effect;
    if (!p.hint.empty()) line += " (fix: " + p.hint + ")";
    return QString::fromStdString(line);
}

QString checkSummary(std::size_t problems, int monsters, int records) {
    if (problems == 0)
        return QStringLiteral("No problems found: %1 monsters, %2 records")
            .arg(monsters)
            .arg(records);
    return QStringLiteral("%1 %2 found").arg(problems).arg(problems == 1 ? "problem" : "problems");
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
