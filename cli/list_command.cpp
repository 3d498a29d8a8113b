#include "cli/list_command.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "battle/panel_fields.h"
#include "cli/command_line.h"
#include "cli/csv_text.h"
#include "cli/roster.h"
#include "cli/shown_text.h"
#include "data/errors.h"
#include "data/record_fields.h"
#include "data/sprite.h"

namespace karnwick::cli {

namespace {

enum class Format { Table, WideTable, Csv, Json };

// One column of the terminal table: a record field, or one of the three
// damage ranges as "low-high".
struct Column {
    std::string_view header;
    const RecordField* field;  // null for a range
    std::string_view low, high;

    bool isText() const { return field && !field->number; }
    std::string cell(const MonsterStats& stats) const {
        if (!field) {
            return std::to_string(stats.*findRecordField(low)->number) + "-" +
                   std::to_string(stats.*findRecordField(high)->number);
        }
        return field->number ? std::to_string(stats.*field->number)
                             : cli::shownText(textField(stats, *field));
    }
};

std::vector<Column> tableColumns(bool wide) {
    std::vector<Column> columns;
    if (wide) {
        for (const RecordField& field : kRecordFields)
            columns.push_back({field.name, &field, {}, {}});
        return columns;
    }
    // What a player compares at a glance, within 80 columns.
    for (const std::string_view name : {"name", "hp", "level", "agility", "strength", "defense"})
        columns.push_back({name, findRecordField(name), {}, {}});
    columns.push_back({"off", nullptr, "offMin", "offMax"});
    columns.push_back({"sp1", nullptr, "sp1Min", "sp1Max"});
    columns.push_back({"sp2", nullptr, "sp2Min", "sp2Max"});
    return columns;
}

void writeTable(const std::vector<MonsterStats>& monsters, bool wide, std::ostream& out) {
    const std::vector<Column> columns = tableColumns(wide);
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> header{"index"};
    for (const Column& column : columns) header.emplace_back(column.header);
    rows.push_back(header);
    for (std::size_t m = 0; m < monsters.size(); ++m) {
        std::vector<std::string> row{std::to_string(m)};
        for (const Column& column : columns) row.push_back(column.cell(monsters[m]));
        rows.push_back(std::move(row));
    }
    std::vector<std::size_t> widths(header.size(), 0);
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], cli::shownLength(row[i]));
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const bool text = i > 0 && columns[i - 1].isText();
            const std::string pad(widths[i] - cli::shownLength(row[i]), ' ');
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
                                    : QJsonValue(cli::jsonText(fieldText(textField(stats, field))));
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
    auto labelled = [&out](std::string_view name, const std::string& shown) {
        std::string label(name);
        label.resize(14, ' ');
        out << "  " << label << shown << "\n";
    };
    out << "Monster " << index << "\n";
    for (const std::string_view name : kPanelFields) {
        const RecordField& field = *findRecordField(name);
        const std::string shown = cli::shownInBox(panelText(stats, field));
        labelled(name, field.number ? shown : "\"" + shown + "\"");
    }
    out << "Not shown in the panel:\n";
    for (const RecordField& field : kRecordFields) {
        if (std::find(kPanelFields.begin(), kPanelFields.end(), field.name) == kPanelFields.end())
            labelled(field.name, std::to_string(stats.*field.number));
    }
}

// The record of monster `index`. Monster 32767 has none: its record number
// (index + 1) overflows the game's 16-bit count, so the arena stops with that
// error when it is chosen, and the CommandError thrown for it says so.
MonsterStats loadRecord(const cli::Roster& roster, int16_t index) {
    try {
        return roster.load(index);
    } catch (const GameError& e) {
        if (index != INT16_MAX || e.kind() != ErrorKind::Overflow) throw;
        throw cli::CommandError("monster " + std::to_string(index) +
                                " has no record: choosing it in the arena stops with \"" +
                                e.what() + "\"");
    }
}

struct ListRequest {
    std::optional<QString> monster;  // N, by index or name: shown in full
    Format format = Format::Table;
};

// The request, or nothing when the help was asked for and written to `out`.
std::optional<ListRequest> parseRequest(cli::CommandLine& line, const QStringList& arguments,
                                        std::ostream& out) {
    const QCommandLineOption csvOption(
        "csv", "Comma-separated values, every field, texts exactly as held.");
    const QCommandLineOption jsonOption("json", "JSON, every field, texts exactly as held.");
    const QCommandLineOption wideOption("wide", "The table with every field of the record.");
    line.parser().addPositionalArgument("N", "A monster, by index or name: show it in full.",
                                        "[N]");
    line.parser().addOptions({csvOption, jsonOption, wideOption});
    line.addDirOption();

    if (!line.parse(arguments, out)) return std::nullopt;
    const QStringList positional = line.positionalArguments();
    if (positional.size() > 1) throw cli::CommandError("expected at most one monster index");
    line.requireAtMostOne({&csvOption, &jsonOption, &wideOption});
    ListRequest request;
    if (!positional.isEmpty()) request.monster = positional.front();
    request.format = line.isSet(csvOption)    ? Format::Csv
                     : line.isSet(jsonOption) ? Format::Json
                     : line.isSet(wideOption) ? Format::WideTable
                                              : Format::Table;
    return request;
}

void writeOne(int16_t index, const MonsterStats& stats, Format format, std::ostream& out) {
    if (format == Format::Json) {
        out << QJsonDocument(recordObject(index, stats))
                   .toJson(QJsonDocument::Indented)
                   .toStdString();
    } else if (format == Format::Csv) {
        writeCsv({stats}, index, out);
    } else {
        writeMonster(index, stats, out);
    }
}

void writeAll(const std::vector<MonsterStats>& monsters, Format format, std::ostream& out) {
    if (format == Format::Csv)
        writeCsv(monsters, 0, out);
    else if (format == Format::Json)
        writeJson(monsters, out);
    else
        writeTable(monsters, format == Format::WideTable, out);
}

}  // namespace

int runListCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                   std::ostream& err) {
    cli::CommandLine line(command,
                          "Shows every monster's record as the game reads it: by default the\n"
                          "fields that fit an 80-column terminal, every field with --wide; with\n"
                          "N, monster N as the arena's panel shows it.");
    const std::optional<ListRequest> request = parseRequest(line, arguments, out);
    if (!request) return cli::kExitSuccess;
    const cli::Roster roster(line.lockGameDir());

    if (request->monster) {
        const int16_t index = roster.index(*request->monster);
        writeOne(index, loadRecord(roster, index), request->format, out);
        return cli::kExitSuccess;
    }
    std::vector<MonsterStats> monsters;
    monsters.reserve(static_cast<std::size_t>(roster.lastIndex() + 1));
    // The table shows every other monster and then names the one it cannot.
    std::string unloadable;
    for (int m = 0; m <= roster.lastIndex(); ++m) {
        try {
            monsters.push_back(loadRecord(roster, static_cast<int16_t>(m)));
        } catch (const cli::CommandError& e) {
            unloadable = e.what();
        }
    }
    writeAll(monsters, request->format, out);
    if (unloadable.empty()) return cli::kExitSuccess;
    out.flush();
    err << "karnwick list: " << unloadable << "\n";
    return cli::kExitFound;
}

}  // namespace karnwick::cli
