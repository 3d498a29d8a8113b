#include "cli/set_command.h"

#include <algorithm>
#include <string>
#include <vector>

#include "battle/record_check.h"
#include "cli/command_line.h"
#include "cli/game_edit.h"
#include "data/errors.h"
#include "data/record_fields.h"
#include "data/sprite.h"

using namespace karnwick;

namespace {

struct Change {
    const RecordField* field;
    std::string bytes;  // as the record holds them: text at full width, numbers little-endian
};

std::string allFieldNames() {
    std::string names;
    for (const RecordField& f : kRecordFields)
        names += (names.empty() ? "" : ", ") + std::string(f.name);
    return names;
}

Change parseChange(const QString& argument) {
    // The bytes the shell passed: a text must be UTF-8 to be read as letters.
    const std::string text = cli::bytesFromArgument(argument);
    const auto equals = text.find('=');
    if (equals == std::string::npos) throw cli::CommandError("\"" + text + "\" is not FIELD=VALUE");
    const std::string name = text.substr(0, equals);
    const std::string value = text.substr(equals + 1);
    const auto field = std::find_if(kRecordFields.begin(), kRecordFields.end(),
                                    [&](const RecordField& f) { return f.name == name; });
    if (field == kRecordFields.end())
        throw cli::CommandError("\"" + name + "\" is not a record field: the fields are " +
                                allFieldNames());
    if (field->number) {
        const auto number = cli::wholeNumber(QString::fromStdString(value), -32768, 32767);
        if (!number) {
            throw cli::CommandError(name + "=" + value + ": " + name +
                                    " takes a whole number from -32768 to 32767");
        }
        const auto u = static_cast<uint16_t>(*number);
        return {&*field, {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)}};
    }
    std::string problem;
    auto bytes = cli::fieldBytes(value, field->width, problem);
    if (!bytes) throw cli::CommandError(name + "=" + value + ": " + name + " takes " + problem);
    return {&*field, std::move(*bytes)};
}

// A field's value as `list` shows it: a number, or the text in quotes at full
// width with control bytes escaped.
std::string shownValue(const RecordField& field, const unsigned char* record) {
    if (field.number) {
        const auto u =
            static_cast<uint16_t>(record[field.offset] | (record[field.offset + 1] << 8));
        return std::to_string(static_cast<int16_t>(u));
    }
    return quotedText(fieldText(
        {reinterpret_cast<const char*>(record) + field.offset, std::size_t(field.width)}));
}

// The records the arena fights with: one per sprite, zero past the end of
// the record file; every record when the sprites cannot be counted.
std::vector<MonsterStats> recordsOfTheSet(const std::vector<unsigned char>& bytes,
                                          const std::filesystem::path& dir, int monster) {
    std::size_t count = (bytes.size() + kRecordLength - 1) / kRecordLength;
    try {
        count = static_cast<std::size_t>(countMonsters(dir / kSpriteFileName) + 1);
    } catch (const GameError&) {
    }
    count = std::max(count, static_cast<std::size_t>(monster) + 1);
    std::vector<MonsterStats> records(count);
    for (std::size_t m = 0; m < count; ++m) {
        RecordBytes record{};
        for (std::size_t i = 0; i < record.size() && m * kRecordLength + i < bytes.size(); ++i)
            record[i] = bytes[m * kRecordLength + i];
        records[m] = decodeMonsterStats(record);
    }
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

// N as a record index: one of the file's records, or the one just past them.
long long monsterIndex(const QString& argument, long long records) {
    const auto index =
        cli::wholeNumber(argument, 0, std::min<long long>(records, kLastRecordIndex));
    if (!index && !cli::wholeNumber(argument, -(1LL << 62), 1LL << 62))
        throw cli::CommandError("\"" + argument.toStdString() + "\" is not a monster index");
    if (!index) {
        throw cli::CommandError("monster \"" + argument.toStdString() +
                                "\" has no record: monsters.tat holds " + std::to_string(records) +
                                " (0.." + std::to_string(records - 1) + ", and " +
                                std::to_string(records) + " appends one)");
    }
    return *index;
}

void printChanges(std::ostream& out, long long index, bool appended, bool dryRun,
                  const std::vector<Change>& changes, const unsigned char* before,
                  const unsigned char* after) {
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

}  // namespace

int runSetCommand(const QStringList& arguments, std::ostream& out, std::ostream&) {
    cli::CommandLine line("set", "N FIELD=VALUE...",
                          "Changes fields of monster N's record in monsters.tat, by the names\n"
                          "`list --csv` uses (spares included). Numbers are -32768..32767; texts\n"
                          "are padded with blanks to the field's width. Every other byte stays.\n"
                          "N equal to the number of records appends a record, zero but the\n"
                          "fields given. After the change, what check says about the monster.");
    QCommandLineParser& parser = line.parser();
    parser.addPositionalArgument("N", "The monster index.");
    parser.addPositionalArgument("FIELD=VALUE", "A field and its new value.", "FIELD=VALUE...");
    const QCommandLineOption dryRunOption("dry-run",
                                          "Show each field before and after; write nothing.");
    parser.addOption(dryRunOption);
    line.addDirOption();
    if (!line.parse(arguments, out)) return cli::kExitSuccess;

    const QStringList positional = line.positionalArguments();
    if (positional.size() < 2) throw cli::CommandError("expected N and at least one FIELD=VALUE");
    const std::vector<Change> changes = parseChanges(positional.mid(1));
    const bool dryRun = line.isSet(dryRunOption);

    const std::filesystem::path dir = line.gameDir();
    const std::filesystem::path file = dir / kStatsFileName;
    cli::requireOwnGameFile(dir, kStatsFileName);
    std::optional<cli::GameFolderLock> lock;
    if (!dryRun) lock.emplace(dir);

    std::vector<unsigned char> bytes = cli::readWholeFile(file);
    const auto records = static_cast<long long>((bytes.size() + kRecordLength - 1) / kRecordLength);
    const long long index = monsterIndex(positional.front(), records);
    const auto at = static_cast<std::size_t>(index) * kRecordLength;
    const std::size_t oldSize = bytes.size();
    if (bytes.size() < at + kRecordLength) bytes.resize(at + kRecordLength, 0);
    std::vector<unsigned char> before(
        bytes.begin() + static_cast<std::ptrdiff_t>(at),
        bytes.begin() + static_cast<std::ptrdiff_t>(at + kRecordLength));
    for (const Change& change : changes)
        std::copy(change.bytes.begin(), change.bytes.end(),
                  bytes.begin() + static_cast<std::ptrdiff_t>(at) + change.field->offset);
    const unsigned char* after = bytes.data() + at;

    printChanges(out, index, index == records, dryRun, changes, before.data(), after);
    if (dryRun) return cli::kExitSuccess;

    if (bytes.size() != oldSize || !std::equal(before.begin(), before.end(), after))
        cli::rewriteGameFile(file, bytes);
    lock.reset();

    // Written even when check objects: a modder may want a wild record.
    printCheck(out, bytes, dir, static_cast<int>(index));
    return cli::kExitSuccess;
}
