#include "battle/game_files_check.h"

#include <algorithm>
#include <optional>
#include <string>

#include "battle/rules.h"
#include "data/errors.h"
#include "data/game_file.h"
#include "data/palette.h"
#include "data/sprite.h"

namespace karnwick {

namespace {

GameFileProblem fileProblem(ProblemKind kind, std::string file, std::string field,
                            std::string value, Severity severity, std::string effect,
                            std::string hint) {
    return {kind,     std::move(file),   std::nullopt,    "", std::move(field), std::move(value),
            severity, std::move(effect), std::move(hint), {}};
}

// "0 to 63": the levels a palette entry's channel can hold.
std::string levelRange(std::string_view between) {
    // Appended rather than `"0" + std::string(...)`, which GCC 12 at -O3
    // takes for an overlapping copy (a false -Wrestrict).
    std::string range = "0";
    range.append(between);
    range += std::to_string(kHighestPaletteLevel);
    return range;
}

// What every palette problem asks for instead.
std::string levelsHint() {
    return "levels from " + levelRange(" to ");
}

void checkPalette(const std::filesystem::path& path, std::vector<GameFileProblem>& problems) {
    Palette palette;
    try {
        loadPalette(palette, path);
    } catch (const GameError& e) {
        if (e.kind() == ErrorKind::FileNotFound || e.kind() == ErrorKind::FileAccess ||
            e.kind() == ErrorKind::NotRegularFile)
            throw;
        const bool tooShort = e.kind() == ErrorKind::InputPastEndOfFile;
        problems.push_back(
            fileProblem(ProblemKind::PaletteUnreadable, kPaletteFileName, "", "", Severity::Error,
                        std::string(tooShort ? "it holds fewer than 768 numbers"
                                             : "it holds a number the arena cannot read") +
                            " (" + e.what() + "): the arena does not start",
                        tooShort ? "768 numbers: red, green and blue of each of the 256 entries"
                                 : "whole numbers from " + levelRange(" to ")));
        return;
    }
    try {
        makeColorFromRGB(palette);
    } catch (const GameError& e) {
        problems.push_back(fileProblem(
            ProblemKind::PaletteColourOverflow, kPaletteFileName, "", "", Severity::Error,
            std::string(e.what()) + ": the arena does not start", levelsHint()));
        return;
    }
    static constexpr const char* kChannels[] = {"red", "green", "blue"};
    for (int i = 0; i < kPaletteEntries; ++i) {
        const int16_t scaled[] = {palette.palRed[i], palette.palGreen[i], palette.palBlue[i]};
        const auto packed =
            static_cast<uint32_t>(packedColor(palette, static_cast<unsigned char>(i)));
        for (int k = 0; k < 3; ++k) {
            const int level = paletteLevel(scaled[k]);
            if (fitsColourByte(level)) continue;
            std::string bleed = level > kHighestPaletteLevel ? "carries into " : "borrows from ";
            bleed += k < 2 ? kChannels[k + 1] : "the byte above blue, which no screen shows";
            problems.push_back(fileProblem(ProblemKind::PaletteLevelOutOfRange, kPaletteFileName,
                                           "entry " + std::to_string(i) + " " + kChannels[k],
                                           std::to_string(level), Severity::Warning,
                                           "the level is outside " + levelRange("-") + ": times " +
                                               std::to_string(kPaletteLevelScale) +
                                               " it leaves its byte and " + bleed + "; colour " +
                                               std::to_string(i) + " shows as red " +
                                               std::to_string(packed & 0xFF) + ", green " +
                                               std::to_string((packed >> 8) & 0xFF) + ", blue " +
                                               std::to_string((packed >> 16) & 0xFF),
                                           levelsHint()));
        }
    }
}

// The sprite file decides how many monsters the arena offers; returns that
// number, or nothing when the arena cannot count them.
std::optional<int> checkSprites(const std::filesystem::path& path,
                                std::vector<GameFileProblem>& problems) {
    const GameFile sprites(path);
    const std::int64_t spriteBytes = sprites.size();
    if (spriteBytes % kSpriteBytes != 0) {
        problems.push_back(fileProblem(ProblemKind::SpriteLengthRagged, kSpriteFileName, "length",
                                       std::to_string(spriteBytes), Severity::Warning,
                                       "the length is not a multiple of 9000: the last " +
                                           std::to_string(spriteBytes % kSpriteBytes) +
                                           " bytes belong to no monster",
                                       "whole sprites of 9000 bytes"));
    }
    int monsters = 0;
    try {
        monsters = lastMonsterIndex(path) + 1;
    } catch (const GameError& e) {
        if (e.kind() != ErrorKind::Overflow) throw;
        problems.push_back(fileProblem(ProblemKind::TooManySprites, kSpriteFileName, "length",
                                       std::to_string(spriteBytes), Severity::Error,
                                       std::string(e.what()) + ": the arena does not start",
                                       "at most 32768 sprites"));
        return std::nullopt;
    }
    // The arena finds a monster's record as its index + 1 in 16 bits, which
    // the last of 32768 monsters overflows.
    int16_t recordNumber;
    if (__builtin_add_overflow(static_cast<int16_t>(monsters - 1), int16_t{1}, &recordNumber)) {
        problems.push_back(fileProblem(
            ProblemKind::LastSpriteUnchoosable, kSpriteFileName, "length",
            std::to_string(spriteBytes), Severity::Error,
            "it holds 32768 sprites: choosing monster 32767 stops the arena with Overflow (its "
            "record number 32768 leaves 16 bits)",
            "at most 32767 sprites"));
    }
    return monsters;
}

// Compares the record file with the sprite count; returns how many records it
// holds, whole or partial.
int checkRecordCount(const GameFile& stats, std::optional<int> monsters,
                     std::vector<GameFileProblem>& problems) {
    const std::int64_t statsBytes = stats.size();
    const int records = static_cast<int>(
        std::min<std::int64_t>((statsBytes + kRecordLength - 1) / kRecordLength, INT32_MAX));
    if (statsBytes % kRecordLength != 0) {
        problems.push_back(fileProblem(
            ProblemKind::RecordLengthRagged, kStatsFileName, "length", std::to_string(statsBytes),
            Severity::Warning,
            "the length is not a multiple of 86: record " + std::to_string(records) + " (monster " +
                std::to_string(records - 1) + ") is only partly there, its missing bytes read as 0",
            "whole records of 86 bytes"));
    }
    if (monsters && *monsters > records) {
        problems.push_back(fileProblem(
            ProblemKind::RecordsMissing, kStatsFileName, "records", std::to_string(records),
            Severity::Warning,
            "monster.dat holds " + std::to_string(*monsters) + " sprites: " +
                (*monsters - records == 1 ? "monster " + std::to_string(records) +
                                                " has no record and fights with a zero-filled one"
                                          : "monsters " + std::to_string(records) + " to " +
                                                std::to_string(*monsters - 1) +
                                                " have no record and fight with zero-filled ones") +
                " (no name, 0 hit points)",
            "one record per sprite"));
    } else if (monsters && records > *monsters) {
        problems.push_back(fileProblem(
            ProblemKind::RecordsUnused, kStatsFileName, "records", std::to_string(records),
            Severity::Warning,
            "monster.dat holds only " + std::to_string(*monsters) + " sprites: " +
                (records - *monsters == 1 ? "record " + std::to_string(records) + " is"
                                          : "records " + std::to_string(*monsters + 1) + " to " +
                                                std::to_string(records) + " are") +
                " never used",
            "one sprite per record"));
    }
    return records;
}

}  // namespace

GameFilesReport checkGameFiles(const std::filesystem::path& dir,
                               const std::vector<RecordOverride>& changes) {
    GameFilesReport report;
    checkPalette(dir / kPaletteFileName, report.problems);
    const std::optional<int> monsters = checkSprites(dir / kSpriteFileName, report.problems);
    report.monsters = monsters.value_or(0);
    const GameFile stats(dir / kStatsFileName);
    report.records = checkRecordCount(stats, monsters, report.problems);

    // Every monster the arena can choose meets others in battle, a sprite
    // without a record on a zero-filled one (read past the end of the file),
    // but not monster 32767, whose record number overflows.
    const int chosen = monsters ? std::min(*monsters, int{INT16_MAX}) : report.records;
    std::vector<MonsterStats> records(static_cast<std::size_t>(std::max(chosen, 0)));
    for (std::size_t m = 0; m < records.size(); ++m) {
        RecordBytes bytes;
        stats.readAt(static_cast<std::int64_t>(m) * kRecordLength, bytes);
        records[m] = decodeMonsterStats(bytes);
        applyRecordOverrides(changes, static_cast<int>(m), records[m]);
    }
    for (GameFileProblem& problem :
         checkRecords(records, static_cast<std::size_t>(std::max(report.records, 0))))
        report.problems.push_back(std::move(problem));
    return report;
}

std::string reportSummaryLine(const GameFilesReport& report) {
    if (report.problems.empty())
        return "No problems found: " + std::to_string(report.monsters) + " monsters, " +
               std::to_string(report.records) + " records";
    return std::to_string(report.problems.size()) +
           (report.problems.size() == 1 ? " problem" : " problems") + " found";
}

}  // namespace karnwick
