#include "cli/list_command.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <string>
#include <vector>

#include "data/errors.h"
#include "data/record_fields.h"
#include "data/sprite.h"
#include "cli/command_line.h"
#include "cli/csv_text.h"

using namespace karnwick;

namespace {

enum class Format { Table, Csv, Json };

// The record fields of the panel's fifteen boxes, in the order statTexts
// gives them.
constexpr std::string_view kBoxFields[kStatBoxCount] = {
    "name",   "hp",     "agility", "level",  "strength", "special1", "special2", "defense",
    "sp1Min", "sp1Max", "sp2Min",  "sp2Max", "offMin",   "offMax",   "mpower"};

QString fromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// A text for the terminal table: without its padding (trailing blanks and
// NULs), control characters shown as blanks as the arena's boxes show them.
std::string trimmedText(std::span<const char> field) {
    std::size_t end = field.size();
    while (end > 0 && (field[end - 1] == ' ' || field[end - 1] == '\0')) --end;
    return cli::shownInBox(fieldText(field.first(end)));
}

void writeTable(const std::vector<MonsterStats>& monsters, std::ostream& out) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> header{"index"};
    for (const RecordField& field : kRecordFields) header.emplace_back(field.name);
    rows.push_back(header);
    for (std::size_t m = 0; m < monsters.size(); ++m) {
        std::vector<std::string> row{std::to_string(m)};
        for (const RecordField& field : kRecordFields) {
            row.push_back(field.number ? std::to_string(monsters[m].*field.number)
                                       : trimmedText(textField(monsters[m], field)));
        }
        rows.push_back(std::move(row));
    }
    // Widths in characters, not bytes: names may hold letters of two bytes.
    auto length = [](const std::string& s) {
        return static_cast<std::size_t>(
            std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
    };
    std::vector<std::size_t> widths(header.size(), 0);
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], length(row[i]));
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const bool text = i > 0 && !kRecordFields[i - 1].number;
            const std::string pad(widths[i] - length(row[i]), ' ');
            if (i) line += "  ";
            line += text ? row[i] + pad : pad + row[i];
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out << line << "\n";
    }
}

void writeCsv(const std::vector<MonsterStats>& monsters, int firstIndex, std::ostream& out) {
    out << "index";
    for (const RecordField& field : kRecordFields) out << "," << field.name;
    out << "\r\n";
    for (std::size_t m = 0; m < monsters.size(); ++m) {
        out << firstIndex + static_cast<int>(m);
        for (const RecordField& field : kRecordFields) {
            out << ","
                << (field.number ? std::to_string(monsters[m].*field.number)
                                 : cli::csvText(textField(monsters[m], field)));
        }
        out << "\r\n";
    }
}

QJsonObject recordObject(int index, const MonsterStats& stats) {
    QJsonObject object{{"index", index}};
    for (const RecordField& field : kRecordFields) {
        const QString name = QString::fromLatin1(field.name.data(), qsizetype(field.name.size()));
        object[name] = field.number ? QJsonValue(stats.*field.number)
                                    : QJsonValue(fromUtf8(fieldText(textField(stats, field))));
    }
    return object;
}

void writeJson(const std::vector<MonsterStats>& monsters, std::ostream& out) {
    QJsonArray array;
    for (std::size_t m = 0; m < monsters.size(); ++m)
        array.append(recordObject(static_cast<int>(m), monsters[m]));
    out << QJsonDocument(array).toJson(QJsonDocument::Indented).toStdString();
}

// One monster as its panel shows it: the fifteen box texts in the order a
// choice writes them, then the fields the panel does not show.
void writeMonster(int index, const MonsterStats& stats, std::ostream& out) {
    out << "Monster " << index << "\n";
    const auto texts = statTexts(stats);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const bool text = texts[i].box == StatBox::Name || texts[i].box == StatBox::Special1 ||
                          texts[i].box == StatBox::Special2;
        std::string shown = cli::shownInBox(texts[i].text);
        if (text) shown = "\"" + shown + "\"";
        std::string label(kBoxFields[i]);
        label.resize(14, ' ');
        out << "  " << label << shown << "\n";
    }
    out << "Not shown in the panel:\n";
    for (const RecordField& field : kRecordFields) {
        if (std::find(std::begin(kBoxFields), std::end(kBoxFields), field.name) !=
            std::end(kBoxFields))
            continue;
        std::string label(field.name);
        label.resize(14, ' ');
        out << "  " << label << stats.*field.number << "\n";
    }
}

}  // namespace

int runListCommand(const QStringList& arguments, std::ostream& out, std::ostream& err) {
    cli::CommandLine line("list", "[N]",
                          "Shows every monster's record, field by field, as the game reads it;\n"
                          "with N, monster N as the arena's panel shows it.");
    QCommandLineParser& parser = line.parser();
    parser.addPositionalArgument("N", "A monster index: show this monster in full.", "[N]");
    const QCommandLineOption csvOption("csv", "Comma-separated values, texts exactly as held.");
    const QCommandLineOption jsonOption("json", "JSON, texts exactly as held.");
    parser.addOptions({csvOption, jsonOption});
    line.addDirOption();
    if (const auto status = line.parse(arguments, out, err)) return *status;

    const QStringList positional = line.positionalArguments();
    if (positional.size() > 1) return line.fail(err, "expected at most one monster index");
    if (line.isSet(csvOption) && line.isSet(jsonOption))
        return line.fail(err, "--csv and --json exclude each other");
    const Format format = line.isSet(csvOption)    ? Format::Csv
                          : line.isSet(jsonOption) ? Format::Json
                                                   : Format::Table;

    const std::filesystem::path dir = line.gameDir();
    if (const auto missing = cli::missingGameFile(dir, {kSpriteFileName, kStatsFileName}))
        return line.fail(err, *missing);
    try {
        const int16_t last = countMonsters(dir / kSpriteFileName);
        if (!positional.isEmpty()) {
            const auto index = cli::wholeNumber(positional.front(), 0, last);
            if (!index) {
                return line.fail(err, "monster \"" + positional.front().toStdString() +
                                          "\" is not a monster index: the valid range is 0.." +
                                          std::to_string(last));
            }
            MonsterStats stats;
            loadMonsterStats(static_cast<int16_t>(*index), stats, dir / kStatsFileName);
            if (format == Format::Json) {
                out << QJsonDocument(recordObject(static_cast<int>(*index), stats))
                           .toJson(QJsonDocument::Indented)
                           .toStdString();
            } else if (format == Format::Csv) {
                writeCsv({stats}, static_cast<int>(*index), out);
            } else {
                writeMonster(static_cast<int>(*index), stats, out);
            }
            return cli::kExitSuccess;
        }
        std::vector<MonsterStats> monsters(static_cast<std::size_t>(last + 1));
        for (int16_t m = 0; m <= last; ++m)
            loadMonsterStats(m, monsters[static_cast<std::size_t>(m)], dir / kStatsFileName);
        if (format == Format::Csv)
            writeCsv(monsters, 0, out);
        else if (format == Format::Json)
            writeJson(monsters, out);
        else
            writeTable(monsters, out);
    } catch (const GameError& e) {
        return line.fail(err, e.what());
    }
    return cli::kExitSuccess;
}
