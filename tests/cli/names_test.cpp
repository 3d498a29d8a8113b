// Monsters named rather than numbered, and "did you mean" for what a player
// mistypes: every command takes a name wherever it takes an index, and a word
// that is nearly right is answered with the right one.

#include <gtest/gtest.h>

#include <QSet>
#include <algorithm>
#include <optional>

#include "cli/commands.h"
#include "cli/monster_names.h"
#include "command_run.h"
#include "data/suggestions.h"
#include "data/text_codec.h"
#include "demo/set.h"
#include "game_files.h"

using namespace karnwick;
using karnwick::testing::GameFolder;
using karnwick::testing::saneMonster;

namespace {

constexpr auto& run = karnwick::testing::runKarnwick;

// The demo set (Snarvel is 3, Wispet 7) with a few awkward names after it.
struct NamedFolder : GameFolder {
    NamedFolder() {
        writeDemoSet(path(), Existing::Refuse);
        std::vector<MonsterStats> monsters = makeDemoMonsters();
        monsters.push_back(
            saneMonster("\x8Cil b\x9C"
                        "uf"));                         // Windows-1252 letters past ASCII
        monsters.push_back(saneMonster("Snarveline"));  // a longer name on an exact one
        monsters.push_back(saneMonster("Mr. Gloop"));   // a dot inside a name
        monsters.push_back(saneMonster("Dup"));
        monsters.push_back(saneMonster("dup"));
        last = static_cast<int>(monsters.size()) - 1;
        writeRecords(monsters);
        writeSprites(last + 1);
    }
    int last = 0;
};

}  // namespace

TEST(MonsterNames, ResolveByIndexExactNameAndUniquePrefix) {
    NamedFolder folder;
    const auto names = cli::monsterNames(kStatsFileName, folder.last + 1);
    const cli::MonsterLookup lookup{.lastIndex = folder.last, .statsFile = kStatsFileName};
    const int gloop = folder.last - 2;
    const struct {
        const char* word;
        int index;
    } found[] = {
        {"3", 3},  // a number is always an index
        {"+3", 3},
        {"snarvel", 3},           // any case; the name's blanks ignored
        {"SNARVELI", gloop - 1},  // a unique prefix
        {"Wisp", 7},
        {"Mr. G", gloop},
        {"\xC5\x93IL B\xC5\x92UF", gloop - 2},  // "œIL BŒUF": the code page's own capitals
    };
    for (const auto& f : found) {
        SCOPED_TRACE(f.word);
        EXPECT_EQ(cli::resolveMonster(QString::fromUtf8(f.word), lookup, names), f.index);
    }
    const struct {
        const char* word;
        const char* message;
    } refused[] = {
        {"99", "monster \"99\" is not a monster index: the valid range is 0.."},
        {"-1", "monster \"-1\" is not a monster index"},
        {"Snarvl", "no monster is named \"Snarvl\"; did you mean 3 \"Snarvel\"?"},
        {"Qzxqzx", "no monster is named \"Qzxqzx\": give an index 0.."},
        {"Dup", "the monster \"Dup\" is ambiguous: 2 names fit: "},
        {"S", "is ambiguous: "},
        {"", "neither an index nor a name"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.word);
        try {
            cli::resolveMonster(QString::fromUtf8(r.word), lookup, names);
            ADD_FAILURE() << "resolved";
        } catch (const cli::CommandError& e) {
            EXPECT_EQ(e.status(), 2);
            EXPECT_NE(std::string(e.what()).find(r.message), std::string::npos) << e.what();
        }
    }
}

// Names are compared in Unicode's simple case folding, as the command line
// always compared them: Qt's folding is the yardstick for every code point.
// Where Qt folds a character to letters a name can hold, so must the engine;
// anything else must stay unable to match a name.
TEST(MonsterNames, CaseFoldingMatchesUnicodeForEveryCodePoint) {
    QSet<char32_t> nameLetters;  // every folded letter of the code page
    for (int byte = 0; byte < 256; ++byte) {
        const std::string letter = decodeWindows1252(std::string(1, static_cast<char>(byte)));
        for (const char32_t c : QString::fromStdString(letter).toCaseFolded().toUcs4())
            nameLetters.insert(c);
    }
    auto onlyNameLetters = [&](const QString& text) {
        const auto all = text.toUcs4();
        return std::all_of(all.begin(), all.end(),
                           [&](char32_t c) { return nameLetters.contains(c); });
    };
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        const QString one = QString::fromUcs4(&c, 1);
        const std::optional<std::string> folded = foldedCase(one.toStdString());
        ASSERT_TRUE(folded.has_value()) << std::hex << static_cast<unsigned>(c);
        const QString expected = one.toCaseFolded();
        if (onlyNameLetters(expected)) {
            ASSERT_EQ(*folded, expected.toStdString()) << std::hex << static_cast<unsigned>(c);
        } else {
            ASSERT_FALSE(onlyNameLetters(QString::fromStdString(*folded)))
                << std::hex << static_cast<unsigned>(c);
        }
    }
    EXPECT_EQ(foldedCase("K\xE2\x84\xAAlvin \xC5\xBF"), "kklvin s");  // Kelvin sign, long s
    for (const char* broken : {"\xC3", "a\xFF", "\xED\xA0\x80", "\xC0\xAF"})
        EXPECT_FALSE(foldedCase(broken).has_value()) << broken;
}

// Ten candidates are all listed; from the eleventh on, the rest are counted.
TEST(MonsterNames, AmbiguousNamesListAtMostTenWithIndexes) {
    GameFolder folder;
    std::vector<MonsterStats> monsters;
    for (int i = 0; i < 11; ++i) monsters.push_back(saneMonster("Imp" + std::to_string(i)));
    folder.writeRecords(monsters);
    const std::string ten =
        "0 \"Imp0\", 1 \"Imp1\", 2 \"Imp2\", 3 \"Imp3\", 4 \"Imp4\", 5 \"Imp5\", "
        "6 \"Imp6\", 7 \"Imp7\", 8 \"Imp8\", 9 \"Imp9\"";
    for (const int count : {10, 11}) {
        const auto names = cli::monsterNames(kStatsFileName, count);
        try {
            cli::resolveMonster("imp", {.lastIndex = count - 1, .statsFile = kStatsFileName},
                                names);
            ADD_FAILURE() << "resolved";
        } catch (const cli::CommandError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "the monster \"imp\" is ambiguous: " + std::to_string(count) +
                          " names fit: " + ten + (count == 11 ? " and 1 more" : ""));
        }
    }
    // "Imp1" is exact, though "Imp10" starts with it.
    EXPECT_EQ(cli::resolveMonster("imp1", {.lastIndex = 10, .statsFile = kStatsFileName},
                                  cli::monsterNames(kStatsFileName, 11)),
              1);
}

TEST(MonsterNames, EveryCommandTakesANameWhereItTakesAnIndex) {
    NamedFolder folder;
    const struct {
        const char* command;
        QStringList byIndex, byName;
    } same[] = {
        {"odds", {"3", "7"}, {"Snarvel", "Wispet"}},
        {"duel", {"3", "7", "--battles", "2"}, {"snarvel", "WISPET", "--battles", "2"}},
        {"list", {"7"}, {"wisp"}},
        {"odds", {"3", "7", "--set", "3.hp=9"}, {"3", "7", "--set", "Snarvel.hp=9"}},
        {"odds",
         {"3", "7", "--set", QString::number(folder.last - 2) + ".hp=9"},
         {"3", "7", "--set", "Mr. Gloop.hp=9"}},
        {"sweep", {"3", "7", "3.hp", "1..3"}, {"Snarvel", "Wispet", "snarvel.hp", "1..3"}},
        {"set", {"3", "hp=40", "--dry-run"}, {"Snarvel", "hp=40", "--dry-run"}},
    };
    for (const auto& s : same) {
        SCOPED_TRACE(s.byName.join(' ').toStdString());
        const auto byIndex = run(s.command, s.byIndex);
        const auto byName = run(s.command, s.byName);
        EXPECT_EQ(byIndex.status, 0) << byIndex.err;
        EXPECT_EQ(byName.status, 0) << byName.err;
        EXPECT_EQ(byName.out, byIndex.out);
    }
    // export sprite names its file by the index.
    EXPECT_EQ(run("export", {"sprite", "wispet"}).status, 0);
    EXPECT_TRUE(std::filesystem::exists("sprite-7.png"));
}

TEST(Suggestions, NearWordsAreSuggestedFarOnesListed) {
    NamedFolder folder;
    EXPECT_EQ(editDistance("nmae", "name"), 1u);  // two letters swapped
    EXPECT_EQ(editDistance("HP", "hp"), 0u);
    // One edit is allowed up to three letters, two up to eight, three beyond.
    const std::string candidates[] = {"odds", "magicFlag"};
    const struct {
        const char* typed;
        bool near;
    } allowances[] = {
        {"ods", true},     {"oxs", false},      {"oxxs", true},
        {"magicFl", true}, {"magicFxx", false}, {"magicFxxx", true},
    };
    for (const auto& a : allowances)
        EXPECT_EQ(nearestWords(a.typed, candidates).size(), a.near ? 1u : 0u) << a.typed;
    const struct {
        const char* command;
        QStringList args;
        const char* message;
    } wrong[] = {
        {"set",
         {"1", "nmae=Grub"},
         "karnwick set: unknown field \"nmae\"; did you mean \"name\"?\n"},
        {"set", {"1", "zzzzzz=1"}, "unknown field \"zzzzzz\"; the fields are name, hp, spare1,"},
        {"odds",
         {"0", "1", "--set", "1.hpp=3"},
         "--set \"1.hpp=3\": unknown field \"hpp\"; did you mean \"hp\"?\n"},
        {"sweep", {"0", "1", "0.agilty", "1..3"}, "did you mean \"agility\"?"},
        {"set",
         {"1", "hp=2", "--dry-rnu"},
         "unknown option \"--dry-rnu\"; did you mean \"--dry-run\"?"},
        {"list", {"--jsno"}, "unknown option \"--jsno\"; did you mean \"--json\"?"},
        {"list", {"--frobnicate"}, "unknown option \"--frobnicate\" (see --help)"},
    };
    for (const auto& w : wrong) karnwick::testing::expectRefused(w.command, w.args, w.message);
}
