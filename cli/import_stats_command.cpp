#include "cli/import_stats_command.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_input.h"
#include "cli/command_line.h"
#include "cli/csv_text.h"
#include "cli/edit_history.h"
#include "cli/field_value.h"
#include "cli/game_edit.h"
#include "cli/import_command.h"
#include "cli/standard_output.h"
#include "data/errors.h"
#include "data/file_writer.h"
#include "data/monster_stats.h"
#include "data/record_fields.h"

namespace karnwick::cli {

namespace {

struct CsvRow {
    int line;
    int index;
    MonsterStats record;
};

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

// One field's VALUE into its place in the row's record.
void putField(MonsterStats& record, const RecordField& field, const std::string& value,
              int lineNumber, int column) {
    std::string bytes = value;
    try {
        if (!field.number) bytes = csvTextBytes(value);
    } catch (const CommandError& e) {
        refuseCsvLine(lineNumber, column, e.what());
    }
    try {
        assignField(record, field, bytes);
    } catch (const CommandError& e) {
        refuseCsvLine(lineNumber, column, quotedText(value) + ": " + e.what());
    }
}

CsvRow parseStatsRow(std::string_view line, int lineNumber, char separator) {
    const std::vector<CsvField> fields = splitCsvLine(line, lineNumber, separator);
    if (fields.size() != kRecordFieldCount + 1) {
        refuseCsvLine(lineNumber, 0,
                      std::to_string(fields.size()) + " columns where the header has " +
                          std::to_string(kRecordFieldCount + 1));
    }
    CsvRow row{lineNumber, 0, {}};
    const auto index = wholeNumber(QString::fromStdString(fields[0].text), LLONG_MIN, LLONG_MAX);
    if (!index || !recordIndexFits(*index)) {
        refuseCsvLine(lineNumber, 1,
                      quotedText(fields[0].text) + " is not a monster index from 0 to " +
                          std::to_string(kLastRecordIndex));
    }
    row.index = static_cast<int>(*index);
    for (std::size_t f = 0; f < kRecordFields.size(); ++f)
        putField(row.record, kRecordFields[f], fields[f + 1].text, lineNumber,
                 static_cast<int>(f) + 2);
    return row;
}

struct StatsCsv {
    std::vector<CsvRow> rows;
    char separator = ',';
};

// The header names every field; its separator, a comma or the semicolon of a
// spreadsheet in a locale with a decimal comma, is the file's.
StatsCsv parseStatsCsv(std::string text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);  // a spreadsheet's byte order mark
    const std::vector<std::string_view> lines = csvLines(text);
    std::string header = "index";
    for (const RecordField& f : kRecordFields) header.append(",").append(f.name);
    StatsCsv csv;
    if (!lines.empty() && lines.front() != header) {
        std::string semicolons = header;
        std::replace(semicolons.begin(), semicolons.end(), ',', ';');
        if (lines.front() == semicolons) csv.separator = ';';
    }
    if (lines.empty() || (lines.front() != header && csv.separator == ','))
        refuseCsvLine(1, 0, "expected the header that list --csv writes (" + header + ")");

    std::vector<CsvRow>& rows = csv.rows;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const int lineNumber = static_cast<int>(i) + 1;
        if (lines[i].empty()) {
            // Blank lines are allowed only as the file's tail.
            if (std::all_of(lines.begin() + static_cast<std::ptrdiff_t>(i), lines.end(),
                            [](std::string_view l) { return l.empty(); }))
                break;
            refuseCsvLine(lineNumber, 0, "an empty line");
        }
        rows.push_back(parseStatsRow(lines[i], lineNumber, csv.separator));
    }
    return csv;
}

// At most this many changed fields are named one a line; the rest are counted.
constexpr std::size_t kNamedChanges = 20;

// "monster 3 hp 47 -> 50" for every field a record changes, "monster 57
// appended" for a new one.
std::vector<std::string> changeLines(const std::vector<unsigned char>& old,
                                     const std::vector<unsigned char>& bytes) {
    std::vector<std::string> lines;
    const std::size_t oldRecords = (old.size() + kRecordLength - 1) / kRecordLength;
    for (std::size_t m = 0; m * kRecordLength < bytes.size(); ++m) {
        RecordBytes before{}, after{};
        for (std::size_t i = 0; i < kRecordLength; ++i) {
            const std::size_t at = m * kRecordLength + i;
            if (at < old.size()) before[i] = old[at];
            if (at < bytes.size()) after[i] = bytes[at];
        }
        if (m >= oldRecords) {
            lines.push_back("monster " + std::to_string(m) + " appended");
            continue;
        }
        const MonsterStats was = decodeMonsterStats(before), is = decodeMonsterStats(after);
        for (const RecordField& field : kRecordFields) {
            const std::string from = shownFieldValue(was, field), to = shownFieldValue(is, field);
            if (from != to)
                lines.push_back("monster " + std::to_string(m) + " " + std::string(field.name) +
                                " " + from + " -> " + to);
        }
    }
    return lines;
}

void printChangeLines(const std::vector<std::string>& lines, std::ostream& out) {
    for (std::size_t i = 0; i < lines.size() && i < kNamedChanges; ++i) out << lines[i] << "\n";
    if (lines.size() > kNamedChanges)
        out << "and " << lines.size() - kNamedChanges << " more changes\n";
}

// The rows in the order of their indexes; a monster on two lines is refused.
std::vector<CsvRow> rowsByIndex(std::vector<CsvRow> rows) {
    std::stable_sort(rows.begin(), rows.end(),
                     [](const CsvRow& a, const CsvRow& b) { return a.index < b.index; });
    for (std::size_t i = 1; i < rows.size(); ++i) {
        if (rows[i].index == rows[i - 1].index) {
            refuseCsvLine(rows[i].line, 1,
                          "monster " + std::to_string(rows[i].index) + " is on line " +
                              std::to_string(rows[i - 1].line) + " too");
        }
    }
    return rows;
}

// The record file with the rows in place, and what they changed.
struct ImportedRecords {
    std::vector<unsigned char> bytes;
    int changed = 0;
    std::size_t appended = 0;
};

ImportedRecords importedRecords(const std::vector<unsigned char>& old,
                                const std::vector<CsvRow>& rows) {
    ImportedRecords imported{old};
    std::vector<unsigned char>& bytes = imported.bytes;
    const std::size_t oldRecords = (old.size() + kRecordLength - 1) / kRecordLength;
    std::size_t records = oldRecords;
    for (const CsvRow& row : rows) {
        const auto index = static_cast<std::size_t>(row.index);
        if (index > records) {
            refuseCsvLine(row.line, 1,
                          "monster " + std::to_string(row.index) +
                              " would leave a gap: the next record "
                              "to append is " +
                              std::to_string(records));
        }
        if (index < oldRecords && recordAt(old, index) != row.record) ++imported.changed;
        putRecord(bytes, index, row.record);
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
    // Zero rows before the last one that holds something are appended too.
    imported.appended = (length + kRecordLength - 1) / kRecordLength - oldRecords;
    return imported;
}

}  // namespace

int importStats(const ImportRequest& request, const std::filesystem::path& dir, std::ostream& out) {
    const EditMode& mode = request.mode;
    requireStandardOutput();
    StatsCsv csv = parseStatsCsv(readWholeInput(request.file));
    const std::vector<CsvRow> rows = rowsByIndex(std::move(csv.rows));

    const std::filesystem::path file = dir / kStatsFileName;
    requireOwnGameFile(dir, kStatsFileName, MissingFile::Created);
    std::optional<GameFolderLock> lock;
    if (!mode.dryRun) lock.emplace(dir);
    const std::vector<unsigned char> old = readWholeFile(file);
    const ImportedRecords imported = importedRecords(old, rows);

    // A semicolon file is named as such, so a sheet saved in another locale
    // than expected shows in the summary.
    const std::string read = std::to_string(rows.size()) + (rows.size() == 1 ? " row" : " rows") +
                             " read" + (csv.separator == ';' ? " (CSV with ';' separators)" : "");
    if (imported.bytes == old) {
        out << kStatsFileName << " unchanged: " << read << ", each as the file holds it\n";
        return kExitSuccess;
    }
    const std::string summary = read + ", " + std::to_string(imported.changed) +
                                (imported.changed == 1 ? " record" : " records") + " changed, " +
                                std::to_string(imported.appended) + " appended";
    // A game file that cannot be written is refused as such, not as history,
    // and before anything is shown as changed.
    if (!mode.dryRun) checkWritable(file, mode.existing());
    // A history that cannot be written is refused before any change is shown.
    std::optional<PendingEdit> record;
    if (!mode.dryRun && mode.recordHistory) {
        record.emplace(dir, "import stats", summary + " from " + inputName(request.file),
                       std::vector<RestoredFile>{{kStatsFileName, true, imported.bytes}});
    }
    printChangeLines(changeLines(old, imported.bytes), out);
    if (mode.dryRun) {
        out << kStatsFileName << ": " << summary << "; dry run: nothing written\n";
        return kExitSuccess;
    }
    out << kStatsFileName << ": " << summary << "\n";
    commitAfterReport(out, [&] {
        rewriteGameFile(file, imported.bytes, mode.existing());
        if (record) record->keep();
    });
    return kExitSuccess;
}

}  // namespace karnwick::cli
