#include "battle/record_check.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>

#include "battle/battle.h"
#include "battle/rules.h"
#include "data/errors.h"
#include "data/game_file.h"
#include "data/palette.h"
#include "data/sprite.h"
#include "data/text_codec.h"

namespace karnwick {

namespace {

constexpr AttackKind kKinds[] = {AttackKind::Special1, AttackKind::Special2, AttackKind::Normal};

std::string kindName(const MonsterStats& s, AttackKind kind) {
    switch (kind) {
        case AttackKind::Special1:
            return "special attack 1 \"" + fieldText(s.special1) + "\"";
        case AttackKind::Special2:
            return "special attack 2 \"" + fieldText(s.special2) + "\"";
        case AttackKind::Normal:
            break;
    }
    return "the normal attack";
}

// Bytes the arena cannot show as letters: the C0 controls, DEL, and the five
// bytes Windows-1252 leaves undefined, which decode to C1 controls.
bool isControlByte(unsigned char b) {
    return b < 0x20 || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

// A text field with its control bytes written as \xNN, so a message can show
// where they are.
std::string escapedField(std::span<const char> field) {
    std::string shown;
    for (const char c : field) {
        const auto b = static_cast<unsigned char>(c);
        if (isControlByte(b)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", b);
            shown += escape;
        } else {
            shown += decodeWindows1252(std::string_view(&c, 1));
        }
    }
    return shown;
}

// Which kinds of attack (indexed by AttackKind) some action roll chooses.
std::array<bool, 3> usedKinds(const MonsterStats& s) {
    std::array<bool, 3> used{};
    for (int roll = 1; roll <= 100; ++roll)
        used[static_cast<std::size_t>(chooseAttack(static_cast<int16_t>(roll), s))] = true;
    return used;
}

// The damage rolls a range can give: the first and the last value of r.
struct RollSpan {
    int16_t first;
    int16_t last;
};
RollSpan rollsOf(const DamageRange& range, int16_t span) {
    const double lastR = std::nextafter(1.0, 0.0);
    return {damageRoll(range.low, span, 0.0), damageRoll(range.low, span, lastR)};
}

// What one record brings to the pair checks: per kind of attack it can make,
// the attack values it can reach; its defence values and lowest hit points.
struct Attack {
    AttackKind kind;
    bool magic;
    int32_t lowest;
    int32_t highest;
};
struct Fighter {
    std::vector<Attack> attacks;
    // Defence against the normal attack (agility) and a magic one (mpower).
    std::array<std::optional<int32_t>, 2> defence;
    int16_t lowestHp = 1;  // the fewest hit points it can be hit at
};

class RecordChecker {
  public:
    explicit RecordChecker(const std::vector<MonsterStats>& records) : m_records(records) {}

    std::vector<GameFileProblem> run() {
        std::vector<Fighter> fighters(m_records.size());
        for (std::size_t i = 0; i < m_records.size(); ++i) fighters[i] = checkAlone(i);
        checkPairs(fighters);
        std::stable_sort(m_problems.begin(), m_problems.end(),
                         [](const GameFileProblem& a, const GameFileProblem& b) {
                             return a.monster.value_or(-1) < b.monster.value_or(-1);
                         });
        return std::move(m_problems);
    }

  private:
    void add(std::size_t index, std::string field, std::string value, Severity severity,
             std::string effect, std::string hint) {
        m_problems.push_back({kStatsFileName, static_cast<int>(index),
                              fieldText(m_records[index].name), std::move(field), std::move(value),
                              severity, std::move(effect), std::move(hint)});
    }

    Fighter checkAlone(std::size_t i) {
        const MonsterStats& s = m_records[i];
        Fighter fighter;
        checkTexts(i);

        const Checked<int16_t> start = startingHitPoints(leadingNumber(panelHpText(s)));
        fighter.lowestHp = start.value < 1 ? start.value : int16_t{1};
        if (start.value < 1) {
            add(i, "hp", std::to_string(s.hp), Severity::Warning,
                "it starts with no hit points: every battle with it ends after the first turn",
                "an hp of 1 or more");
        }

        if (attackValue(0.0, s.level, 1).fault == RuleFault::DivisionByZero) {
            add(i, "level", std::to_string(s.level), Severity::Error,
                "100 - level is 0: every battle involving it stops with Division by zero in "
                "turn 1 (its attack value, or its defence value when it is attacked)",
                "a level from 0 to 99");
            return fighter;
        }
        if (s.level > 100) {
            add(i, "level", std::to_string(s.level), Severity::Warning,
                "100 - level is negative: the signs of its attack values and of its defence "
                "value turn over: against ordinary monsters its attacks miss and attacks on it "
                "hit harder",
                "a level from 0 to 99");
        }

        const std::array<bool, 3> used = usedKinds(s);
        if (!used[static_cast<std::size_t>(AttackKind::Special1)]) {
            add(i, "sp1Threshold", std::to_string(s.sp1Threshold), Severity::Warning,
                kindName(s, AttackKind::Special1) +
                    " never happens: no action roll from 1 to 100 is below sp1Threshold",
                "an sp1Threshold of 2 or more");
        }
        if (!used[static_cast<std::size_t>(AttackKind::Special2)]) {
            add(i, "sp1Threshold, sp2Threshold",
                std::to_string(s.sp1Threshold) + ", " + std::to_string(s.sp2Threshold),
                Severity::Warning,
                kindName(s, AttackKind::Special2) +
                    " never happens: no action roll from 1 to 100 lies above sp1Threshold and "
                    "below sp2Threshold",
                "an sp2Threshold at least 2 above sp1Threshold");
        }

        for (const AttackKind kind : kKinds) {
            if (!used[static_cast<std::size_t>(kind)]) continue;
            if (auto attack = checkAttack(i, kind)) fighter.attacks.push_back(*attack);
        }
        for (const bool magic : {false, true}) {
            const double stat = magic ? double(s.mpower) : double(s.agility);
            const Checked<int32_t> defence = defenceValue(stat, s.level, s.defense);
            if (defence.ok()) {
                fighter.defence[magic] = defence.value;
            } else if (!magic || anyMagicAttacker()) {
                add(i, magic ? "mpower, level, defense" : "agility, level, defense",
                    std::to_string(stat) + ", " + std::to_string(s.level) + ", " +
                        std::to_string(s.defense),
                    Severity::Error,
                    std::string("its defence value overflows 32 bits: every ") +
                        (magic ? "magic special attack" : "normal attack") +
                        " on it stops the battle with Overflow",
                    "a smaller defense");
            }
        }
        return fighter;
    }

    void checkTexts(std::size_t i) {
        const MonsterStats& s = m_records[i];
        const std::pair<const char*, std::span<const char>> texts[] = {
            {"name", s.name}, {"special1", s.special1}, {"special2", s.special2}};
        for (const auto& [field, bytes] : texts) {
            if (std::none_of(bytes.begin(), bytes.end(),
                             [](char c) { return isControlByte(static_cast<unsigned char>(c)); }))
                continue;
            add(i, field, '"' + escapedField(bytes) + '"', Severity::Warning,
                "it holds NUL or control characters: the arena's boxes show them as blanks, "
                "and the log and other programs may cut the text there",
                "pad texts with blanks");
        }
    }

    std::optional<Attack> checkAttack(std::size_t i, AttackKind kind) {
        const MonsterStats& s = m_records[i];
        const DamageRange range = damageRange(s, kind);
        const std::string bounds = std::to_string(range.high) + " - " + std::to_string(range.low);
        const Checked<int16_t> span = damageSpan(range);
        if (!span.ok()) {
            add(i, std::string(range.name), bounds, Severity::Error,
                "the damage range leaves 16 bits: every time " + kindName(s, kind) +
                    " comes, the battle stops with Overflow",
                "bounds no more than 32767 apart");
            return std::nullopt;
        }
        const RollSpan rolls = rollsOf(range, span.value);
        if (span.value < 0) {
            add(i, std::string(range.name), bounds, Severity::Warning,
                "the maximum is below the minimum: " + kindName(s, kind) + " rolls from " +
                    std::to_string(rolls.last) + " to " + std::to_string(rolls.first) +
                    ", the minimum included",
                "swap the two bounds");
        }
        const DuelStats stats = duelStats(s, s, kind);
        const bool magic = kind != AttackKind::Normal && s.magicFlag != 0;
        Attack attack{kind, magic, 0, 0};
        std::array<int32_t, 2> values{};
        for (int end = 0; end < 2; ++end) {
            const int16_t roll = end == 0 ? rolls.first : rolls.last;
            const Checked<int32_t> value = attackValue(stats.attack, s.level, roll);
            if (!value.ok()) {
                add(i,
                    std::string(magic ? "mpower" : "strength") + ", level, " +
                        std::string(range.name),
                    std::to_string(stats.attack) + ", " + std::to_string(s.level) + ", " + bounds,
                    Severity::Error,
                    "the attack value of " + kindName(s, kind) +
                        " overflows 32 bits at a "
                        "damage roll of " +
                        std::to_string(roll) + ": the battle stops with Overflow",
                    "a smaller damage range, level or " +
                        std::string(magic ? "mpower" : "strength"));
                return std::nullopt;
            }
            values[static_cast<std::size_t>(end)] = value.value;
        }
        attack.lowest = std::min(values[0], values[1]);
        attack.highest = std::max(values[0], values[1]);
        return attack;
    }

    bool anyMagicAttacker() const {
        return std::any_of(m_records.begin(), m_records.end(), [](const MonsterStats& s) {
            const std::array<bool, 3> used = usedKinds(s);
            return s.magicFlag != 0 && (used[0] || used[1]);
        });
    }

    // Damage is attack value - defence value, and a hit takes it from the
    // defender's hit points: both can leave their width for some pairs. For
    // every attack, the defenders with the lowest and highest defence value
    // and the one that leaves the fewest hit points are the worst cases.
    void checkPairs(const std::vector<Fighter>& fighters) {
        for (const bool magic : {false, true}) {
            std::optional<std::size_t> lowestDefence, highestDefence, weakest;
            for (std::size_t d = 0; d < fighters.size(); ++d) {
                const auto& defence = fighters[d].defence[magic];
                if (!defence) continue;
                auto value = [&](std::size_t k) { return *fighters[k].defence[magic]; };
                auto weakness = [&](std::size_t k) {
                    return -int64_t{value(k)} - fighters[k].lowestHp;
                };
                if (!lowestDefence || *defence < value(*lowestDefence)) lowestDefence = d;
                if (!highestDefence || *defence > value(*highestDefence)) highestDefence = d;
                if (!weakest || weakness(d) > weakness(*weakest)) weakest = d;
            }
            if (!lowestDefence) continue;
            for (std::size_t a = 0; a < fighters.size(); ++a) {
                for (const Attack& attack : fighters[a].attacks) {
                    if (attack.magic != magic) continue;
                    if (!checkPair(a, attack, *lowestDefence, attack.highest, fighters))
                        checkPair(a, attack, *weakest, attack.highest, fighters);
                    checkPair(a, attack, *highestDefence, attack.lowest, fighters);
                }
            }
        }
    }

    bool checkPair(std::size_t a, const Attack& attack, std::size_t d, int32_t attackValue,
                   const std::vector<Fighter>& fighters) {
        const MonsterStats& attacker = m_records[a];
        const int32_t defence = *fighters[d].defence[attack.magic];
        const std::string against =
            "monster " + std::to_string(d) + " \"" + fieldText(m_records[d].name) + "\"";
        const DamageRange range = damageRange(attacker, attack.kind);
        const std::string field = std::string(range.name);
        const std::string value = std::to_string(range.high) + " - " + std::to_string(range.low);
        const Checked<int32_t> damage = damageDone(attackValue, defence);
        if (!damage.ok()) {
            add(a, field, value, Severity::Error,
                kindName(attacker, attack.kind) + " on " + against +
                    " can overflow: attack value " + std::to_string(attackValue) +
                    " - defence value " + std::to_string(defence) +
                    " leaves 32 bits, and the battle stops with Overflow",
                "a smaller damage range");
            return true;
        }
        if (isMiss(damage.value)) return false;
        const int16_t hp = fighters[d].lowestHp;
        if (!applyHit(hp, damage.value).ok()) {
            add(a, field, value, Severity::Error,
                kindName(attacker, attack.kind) + " on " + against + " can overflow: a hit of " +
                    std::to_string(damage.value) + " on " + std::to_string(hp) +
                    " hit points leaves 16 bits, and the battle stops with Overflow",
                "a smaller damage range or level");
            return true;
        }
        return false;
    }

    const std::vector<MonsterStats>& m_records;
    std::vector<GameFileProblem> m_problems;
};

GameFileProblem fileProblem(std::string file, std::string field, std::string value,
                            Severity severity, std::string effect, std::string hint) {
    return {std::move(file),   std::nullopt,   "", std::move(field), std::move(value), severity,
            std::move(effect), std::move(hint)};
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
            fileProblem(kPaletteFileName, "", "", Severity::Error,
                        std::string(tooShort ? "it holds fewer than 768 numbers"
                                             : "it holds a number the arena cannot read") +
                            " (" + e.what() + "): the arena does not start",
                        tooShort ? "768 numbers: red, green and blue of each of the 256 entries"
                                 : "whole numbers from 0 to 63"));
        return;
    }
    try {
        makeColorFromRGB(palette);
    } catch (const GameError& e) {
        problems.push_back(fileProblem(kPaletteFileName, "", "", Severity::Error,
                                       std::string(e.what()) + ": the arena does not start",
                                       "levels from 0 to 63"));
        return;
    }
    static constexpr const char* kChannels[] = {"red", "green", "blue"};
    for (int i = 0; i < kPaletteEntries; ++i) {
        const int16_t scaled[] = {palette.palRed[i], palette.palGreen[i], palette.palBlue[i]};
        const auto packed =
            static_cast<uint32_t>(packedColor(palette, static_cast<unsigned char>(i)));
        for (int k = 0; k < 3; ++k) {
            const int level = scaled[k] / 4;
            if (level >= 0 && level <= 63) continue;
            std::string bleed = level > 63 ? "carries into " : "borrows from ";
            bleed += k < 2 ? kChannels[k + 1] : "the byte above blue, which no screen shows";
            problems.push_back(fileProblem(
                kPaletteFileName, "entry " + std::to_string(i) + " " + kChannels[k],
                std::to_string(level), Severity::Warning,
                "the level is outside 0-63: times 4 it leaves its byte and " + bleed + "; colour " +
                    std::to_string(i) + " shows as red " + std::to_string(packed & 0xFF) +
                    ", green " + std::to_string((packed >> 8) & 0xFF) + ", blue " +
                    std::to_string((packed >> 16) & 0xFF),
                "levels from 0 to 63"));
        }
    }
}

}  // namespace

std::vector<GameFileProblem> checkRecords(const std::vector<MonsterStats>& records) {
    return RecordChecker(records).run();
}

GameFilesReport checkGameFiles(const std::filesystem::path& dir) {
    GameFilesReport report;
    checkPalette(dir / kPaletteFileName, report.problems);

    const GameFile sprites(dir / kSpriteFileName);
    const std::int64_t spriteBytes = sprites.size();
    if (spriteBytes % kSpriteBytes != 0) {
        report.problems.push_back(fileProblem(
            kSpriteFileName, "length", std::to_string(spriteBytes), Severity::Warning,
            "the length is not a multiple of 9000: the last " +
                std::to_string(spriteBytes % kSpriteBytes) + " bytes belong to no monster",
            "whole sprites of 9000 bytes"));
    }
    bool counted = true;
    try {
        report.monsters = countMonsters(dir / kSpriteFileName) + 1;
    } catch (const GameError& e) {
        if (e.kind() != ErrorKind::Overflow) throw;
        counted = false;
        report.problems.push_back(fileProblem(
            kSpriteFileName, "length", std::to_string(spriteBytes), Severity::Error,
            std::string(e.what()) + ": the arena does not start", "at most 32768 sprites"));
    }

    const GameFile stats(dir / kStatsFileName);
    const std::int64_t statsBytes = stats.size();
    report.records = static_cast<int>(
        std::min<std::int64_t>((statsBytes + kRecordLength - 1) / kRecordLength, INT32_MAX));
    if (statsBytes % kRecordLength != 0) {
        report.problems.push_back(fileProblem(
            kStatsFileName, "length", std::to_string(statsBytes), Severity::Warning,
            "the length is not a multiple of 86: record " + std::to_string(report.records) +
                " (monster " + std::to_string(report.records - 1) +
                ") is only partly there, its missing bytes read as 0",
            "whole records of 86 bytes"));
    }
    if (counted && report.monsters > report.records) {
        report.problems.push_back(fileProblem(
            kStatsFileName, "records", std::to_string(report.records), Severity::Warning,
            "monster.dat holds " + std::to_string(report.monsters) + " sprites: monsters " +
                std::to_string(report.records) + " to " + std::to_string(report.monsters - 1) +
                " have no record and fight with zero-filled ones (no name, 0 hit points)",
            "one record per sprite"));
    } else if (counted && report.records > report.monsters) {
        report.problems.push_back(fileProblem(
            kStatsFileName, "records", std::to_string(report.records), Severity::Warning,
            "monster.dat holds only " + std::to_string(report.monsters) + " sprites: records " +
                std::to_string(report.monsters + 1) + " to " + std::to_string(report.records) +
                " are never used",
            "one sprite per record"));
    }

    // Only the records the arena offers can meet in a battle.
    const int used = counted ? std::min(report.monsters, report.records) : report.records;
    std::vector<MonsterStats> records(static_cast<std::size_t>(std::max(used, 0)));
    for (std::size_t m = 0; m < records.size(); ++m) {
        RecordBytes bytes;
        stats.readAt(static_cast<std::int64_t>(m) * kRecordLength, bytes);
        records[m] = decodeMonsterStats(bytes);
    }
    for (GameFileProblem& problem : checkRecords(records))
        report.problems.push_back(std::move(problem));
    return report;
}

}  // namespace karnwick
