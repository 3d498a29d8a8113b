#include "cli/set_command.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "battle/record_check.h"
#include "cli/command_line.h"
#include "cli/csv_text.h"
#include "cli/edit_history.h"
#include "cli/field_value.h"
#include "cli/game_edit.h"
#include "cli/roster.h"
#include "cli/standard_output.h"
#include "data/errors.h"
#include "data/file_writer.h"
#include "data/record_fields.h"
#include "data/sprite.h"
#include "data/suggestions.h"
#include "data/text_codec.h"

namespace karnwick::cli {

namespace {

struct Change {
    const RecordField* field;
    std::string value;  // the number's text, or the text's bytes in Windows-1252
};

std::vector<std::string> allFieldNames() {
    std::vector<std::string> names;
    for (const RecordField& f : kRecordFields) names.emplace_back(f.name);
    return names;
}

Change parseChange(const QString& argument) {
    // The bytes the shell passed: a text must be UTF-8 to be read as letters.
    const std::string text = cli::bytesFromArgument(argument);
    const auto equals = text.find('=');
    if (equals == std::string::npos)
        throw cli::CommandError(quotedText(text) + " is not FIELD=VALUE");
    const std::string name = text.substr(0, equals);
    const RecordField* field = findRecordField(name);
    if (!field)
        throw cli::CommandError(
            unknownFieldMessage(name, suggestionOrList(name, allFieldNames(), "fields")));
    Change change{field, text.substr(equals + 1)};
    // Letters come as UTF-8; any other byte is written \xHH, as in the CSV
    // of `list --csv`, so a value means the same in both.
    if (!field->number && !isUtf8(change.value))
        throw cli::CommandError(quotedText(text) +
                                " is not UTF-8: write a byte of the game's text as \\xHH");
    try {
        if (!field->number) change.value = cli::csvTextBytes(change.value);
        // Tried on a blank record, so a wrong value is named before any file is read.
        MonsterStats trial;
        cli::assignField(trial, *field, change.value);
    } catch (const CommandError& e) {
        throw cli::CommandError(quotedText(text) + ": " + e.what());
    }
    return change;
}

// A field's value as `list` shows it: a number, or the text in quotes at full
// width with control bytes escaped.
std::string shownValue(const RecordField& field, const MonsterStats& stats) {
    if (field.number) return std::to_string(stats.*field.number);
    return quotedText(fieldText(textField(stats, field)));
}

// The records the arena fights with: one per sprite, zero past the end of
// the record file; every record when the sprites cannot be counted.
std::vector<MonsterStats> recordsOfTheSet(const std::vector<unsigned char>& bytes,
                                          const std::filesystem::path& dir, int monster) {
    std::size_t count = (bytes.size() + kRecordLength - 1) / kRecordLength;
    try {
        count = static_cast<std::size_t>(lastMonsterIndex(dir / kSpriteFileName) + 1);
    } catch (const GameError&) {
    }
    count = std::max(count, static_cast<std::size_t>(monster) + 1);
    std::vector<MonsterStats> records(count);
    for (std::size_t m = 0; m < count; ++m) records[m] = recordAt(bytes, m);
    return records;
}

// Every FIELD=VALUE after N; a field named twice is refused before anything is read.
std::vector<Change> parseChanges(const QStringList& arguments) {
    std::vector<Change> changes;
    for (const QString& argument : arguments) {
        Change change = parseChange(argument);
        for (const Change& earlier : changes) {
            if (earlier.field == change.field)
                throw cli::CommandError(std::string(change.field->name) + " is given twice");
        }
        changes.push_back(std::move(change));
    }
    return changes;
}

void printChanges(std::ostream& out, long long index, bool appended, bool dryRun,
                  const std::vector<Change>& changes, const MonsterStats& before,
                  const MonsterStats& after) {
    out << "Monster " << index;
    if (appended)
        out << " (a new record)";
    else
        out << " " << shownValue(kRecordFields[0], before);
    out << (dryRun ? ", dry run: nothing written\n" : "\n");
    for (const Change& change : changes) {
        std::string label(change.field->name);
        label.resize(14, ' ');
        out << "  " << label << shownValue(*change.field, before) << " -> "
            << shownValue(*change.field, after) << "\n";
    }
}

// The line `history` shows: "monster 3 "Snarvel": hp 47 -> 50, defense 4 -> 6".
std::string changeSummary(long long index, const std::vector<Change>& changes,
                          const MonsterStats& before, const MonsterStats& after) {
    std::string summary =
        "monster " + std::to_string(index) + " " + shownValue(kRecordFields[0], after) + ":";
    for (std::size_t i = 0; i < changes.size(); ++i) {
        summary += (i ? ", " : " ") + std::string(changes[i].field->name) + " " +
                   shownValue(*changes[i].field, before) + " -> " +
                   shownValue(*changes[i].field, after);
    }
    return summary;
}

// What check says about this one monster, judged among the records of the set.
void printCheck(std::ostream& out, const std::vector<unsigned char>& bytes,
                const std::filesystem::path& dir, int monster) {
    std::vector<GameFileProblem> problems;
    for (GameFileProblem& p : checkRecords(recordsOfTheSet(bytes, dir, monster)))
        if (p.monster == monster) problems.push_back(std::move(p));
    if (problems.empty()) out << "check: no problems with monster " << monster << "\n";
    for (const GameFileProblem& p : problems) {
        out << "check: " << p.field << " = " << p.value << ": "
            << (p.severity == Severity::Error ? "error" : "warning") << ": " << p.effect;
        if (!p.hint.empty()) out << " (fix: " << p.hint << ")";
        out << "\n";
    }
}

struct SetRequest {
    QString monster;              // N, by index or name
    std::vector<Change> changes;  // each FIELD=VALUE, already tried on a blank record
    EditMode mode;
};

// The request, or nothing when the help was asked for and written to `out`.
std::optional<SetRequest> parseRequest(cli::CommandLine& line, const QStringList& arguments,
                                       std::ostream& out) {
    QCommandLineParser& parser = line.parser();
    parser.addPositionalArgument("N", "The monster, by index or name.");
    parser.addPositionalArgument("FIELD=VALUE", "A field and its new value.", "FIELD=VALUE...");
    const cli::EditOptions editOptions =
        cli::addEditOptions(line, "Show each field before and after; write nothing.");
    line.addDirOption();
    if (!line.parse(arguments, out)) return std::nullopt;

    const QStringList positional = line.positionalArguments();
    if (positional.size() < 2) throw cli::CommandError("expected N and at least one FIELD=VALUE");
    return SetRequest{positional.front(), parseChanges(positional.mid(1)),
                      cli::editMode(line, editOptions)};
}

// Shows the change and what check says of the record, then writes it and
// records it in the history; a dry run stops after showing it.
void changeRecord(const SetRequest& request, const std::filesystem::path& dir, std::ostream& out) {
    const cli::EditMode& mode = request.mode;
    const std::filesystem::path file = dir / kStatsFileName;
    cli::requireStandardOutput();
    cli::requireOwnGameFile(dir, kStatsFileName, cli::MissingFile::Created);
    std::optional<cli::GameFolderLock> lock;
    if (!mode.dryRun) lock.emplace(dir);
    // A game file that cannot be written is refused as such, not as history,
    // and before anything is shown as changed.
    if (!mode.dryRun) checkWritable(file, mode.existing());

    std::vector<unsigned char> bytes = cli::readWholeFile(file);
    const auto records = static_cast<int>((bytes.size() + kRecordLength - 1) / kRecordLength);
    const int16_t index =
        cli::monsterIndex(request.monster, records - 1, cli::Appending::Allowed, file);
    const MonsterStats before = recordAt(bytes, std::size_t(index));
    MonsterStats after = before;
    for (const Change& change : request.changes)
        cli::assignField(after, *change.field, change.value);
    const std::vector<unsigned char> old = bytes;
    putRecord(bytes, std::size_t(index), after);
    // A history that cannot be written refuses the edit before anything is
    // shown as changed.
    std::optional<cli::PendingEdit> record;
    if (!mode.dryRun && mode.recordHistory && bytes != old) {
        record.emplace(dir, "set", changeSummary(index, request.changes, before, after),
                       std::vector<cli::RestoredFile>{{kStatsFileName, true, bytes}});
    }
    printChanges(out, index, index == records, mode.dryRun, request.changes, before, after);
    if (mode.dryRun) return;
    // Written even when check objects: a modder may want a wild record.
    printCheck(out, bytes, dir, index);
    if (bytes == old) return;
    cli::commitAfterReport(out, [&] {
        cli::rewriteGameFile(file, bytes, mode.existing());
        if (record) record->keep();
    });
}

}  // namespace

int runSetCommand(const Command& command, const QStringList& arguments, std::ostream& out,
                  std::ostream&) {
    cli::CommandLine line(command,
                          "Changes fields of monster N's record in monsters.tat, by the names\n"
                          "`list --csv` uses (spares included). Numbers are -32768..32767; texts\n"
                          "are padded with blanks to the field's width; a byte that is no letter\n"
                          "is written \\xHH, as in the CSV. Every other byte stays.\n"
                          "N equal to the number of records appends a record, zero but the\n"
                          "fields given. After the change, what check says about the monster.");
    const std::optional<SetRequest> request = parseRequest(line, arguments, out);
    if (!request) return cli::kExitSuccess;
    changeRecord(*request, line.lockGameDir(), out);
    return cli::kExitSuccess;
}

}  // namespace karnwick::cli
