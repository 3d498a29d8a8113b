#include "cli/import_stats_command.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_input.h"
#include "cli/command_line.h"
#include "cli/csv_text.h"
#include "cli/game_edit.h"
#include "data/errors.h"
#include "data/monster_stats.h"
#include "data/record_fields.h"

namespace karnwick::cli {

namespace {

struct CsvRow {
    int line;
    int index;
    RecordBytes record;
};

[[noreturn]] void badRow(int line, int column, const std::string& problem) {
    std::string where = "line " + std::to_string(line);
    if (column > 0) {
        where += ", column " + std::to_string(column) + " (" +
                 (column == 1 ? std::string("index")
                              : std::string(kRecordFields[std::size_t(column - 2)].name)) +
                 ")";
    }
    throw CommandError(where + ": " + problem + "; nothing imported");
}

// The lines of TEXT without their line ends, "\r\n" taken as one.
std::vector<std::string_view> csvLines(const std::string& text) {
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string_view l(text.data() + at, end - at);
        if (l.ends_with('\r')) l.remove_suffix(1);
        lines.push_back(l);
        at = end + 1;
    }
    return lines;
}

// One field's VALUE into its place in a record, as the file holds it.
void putField(const RecordField& field, const std::string& value, int lineNumber, int column,
              unsigned char* at) {
    if (field.number) {
        const auto n = wholeNumber(QString::fromStdString(value), -32768, 32767);
        if (!n)
            badRow(lineNumber, column,
                   quotedText(value) + " is not a whole number from -32768 to 32767");
        const auto u = static_cast<uint16_t>(*n);
        at[0] = static_cast<unsigned char>(u & 0xFF);
        at[1] = static_cast<unsigned char>(u >> 8);
        return;
    }
    std::string problem;
    auto bytes = csvTextBytes(value, problem);
    if (!bytes) badRow(lineNumber, column, problem);
    if (bytes->size() > static_cast<std::size_t>(field.width)) {
        badRow(lineNumber, column,
               quotedText(value) + " is longer than the field's " + std::to_string(field.width) +
                   " characters");
    }
    bytes->resize(static_cast<std::size_t>(field.width), ' ');
    std::copy(bytes->begin(), bytes->end(), at);
}

CsvRow parseStatsRow(std::string_view line, int lineNumber) {
    std::string problem;
    int column = 0;
    const auto fields = splitCsvLine(line, problem, column);
    if (!fields) badRow(lineNumber, column, problem);
    if (fields->size() != kRecordFieldCount + 1) {
        badRow(lineNumber, 0,
               std::to_string(fields->size()) + " columns where the header has " +
                   std::to_string(kRecordFieldCount + 1));
    }
    CsvRow row{lineNumber, 0, {}};
    const auto index =
        wholeNumber(QString::fromStdString((*fields)[0].text), 0, kLastRecordIndex);
    if (!index) {
        badRow(lineNumber, 1,
               "\"" + (*fields)[0].text + "\" is not a monster index from 0 to " +
                   std::to_string(kLastRecordIndex));
    }
    row.index = static_cast<int>(*index);
    for (std::size_t f = 0; f < kRecordFields.size(); ++f) {
        const RecordField& field = kRecordFields[f];
        putField(field, (*fields)[f + 1].text, lineNumber, static_cast<int>(f) + 2,
                 row.record.data() + field.offset);
    }
    return row;
}

std::vector<CsvRow> parseStatsCsv(std::string text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);  // a spreadsheet's byte order mark
    const std::vector<std::string_view> lines = csvLines(text);
    std::string header = "index";
    for (const RecordField& f : kRecordFields) header.append(",").append(f.name);
    if (lines.empty() || lines.front() != header)
        badRow(1, 0, "expected the header that list --csv writes (" + header + ")");

    std::vector<CsvRow> rows;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const int lineNumber = static_cast<int>(i) + 1;
        if (lines[i].empty()) {
            // Blank lines are allowed only as the file's tail.
            if (std::all_of(lines.begin() + static_cast<std::ptrdiff_t>(i), lines.end(),
                            [](std::string_view l) { return l.empty(); }))
                break;
            badRow(lineNumber, 0, "an empty line");
        }
        rows.push_back(parseStatsRow(lines[i], lineNumber));
    }
    return rows;
}

}  // namespace

int importStats(const QString& csvName, const std::filesystem::path& dir, std::ostream& out) {
    std::vector<CsvRow> rows = parseStatsCsv(readWholeInput(csvName));
    std::stable_sort(rows.begin(), rows.end(),
                     [](const CsvRow& a, const CsvRow& b) { return a.index < b.index; });
    for (std::size_t i = 1; i < rows.size(); ++i) {
        if (rows[i].index == rows[i - 1].index) {
            badRow(rows[i].line, 1,
                   "monster " + std::to_string(rows[i].index) + " is on line " +
                       std::to_string(rows[i - 1].line) + " too");
        }
    }

    const std::filesystem::path file = dir / kStatsFileName;
    requireOwnGameFile(dir, kStatsFileName);
    const GameFolderLock lock(dir);
    const std::vector<unsigned char> old = readWholeFile(file);
    std::vector<unsigned char> bytes = old;
    std::size_t records = (old.size() + kRecordLength - 1) / kRecordLength;
    int changed = 0, appended = 0;
    for (const CsvRow& row : rows) {
        const auto index = static_cast<std::size_t>(row.index);
        if (index > records) {
            badRow(row.line, 1,
                   "monster " + std::to_string(row.index) +
                       " would leave a gap: the next record "
                       "to append is " +
                       std::to_string(records));
        }
        const std::size_t at = index * kRecordLength;
        if (bytes.size() < at + kRecordLength) bytes.resize(at + kRecordLength, 0);
        if (!std::equal(row.record.begin(), row.record.end(), bytes.begin() + std::ptrdiff_t(at))) {
            ++(index < (old.size() + kRecordLength - 1) / kRecordLength ? changed : appended);
            std::copy(row.record.begin(), row.record.end(), bytes.begin() + std::ptrdiff_t(at));
        }
        records = std::max(records, index + 1);
    }
    // Past the old end, zero bytes read as they would without the file
    // growing (a partial last record, the zero rows `list` shows for sprites
    // without a record): the file grows only up to the last whole record
    // that holds something.
    std::size_t length = bytes.size();
    while (length > old.size() && bytes[length - 1] == 0) --length;
    if (length > old.size())
        length = (length + kRecordLength - 1) / kRecordLength * kRecordLength;
    else
        length = old.size();
    bytes.resize(length);

    if (bytes == old) {
        out << "monsters.tat unchanged: " << rows.size() << (rows.size() == 1 ? " row" : " rows")
            << " read, each as the file holds it\n";
        return kExitSuccess;
    }
    rewriteGameFile(file, bytes);
    out << "monsters.tat: " << rows.size() << (rows.size() == 1 ? " row" : " rows") << " read, "
        << changed << (changed == 1 ? " record" : " records") << " changed, " << appended
        << " appended\n";
    return kExitSuccess;
}

}  // namespace karnwick::cli
