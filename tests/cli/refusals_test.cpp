// Every command refusing what it cannot do: status 2, the message naming the
// value and the rule, and nothing written. The game set is the golden one:
// seven records and ten sprites.

#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>

#include "command_run.h"
#include "data/text_codec.h"
#include "golden.h"

using karnwick::testing::csvHeader;
using karnwick::testing::expectRefused;
using karnwick::testing::GameFolder;

namespace {

std::string row(int index, const char* name) {
    return karnwick::testing::csvRow(index, karnwick::testing::saneMonster(name));
}

}  // namespace

TEST(Refusals, NameTheProblemAndWriteNothing) {
    GameFolder folder;
    karnwick::testing::writeGoldenSet(folder);
    folder.write("taken.png", "keep");
    folder.write("bad.csv", csvHeader() + row(0, "Dog") + row(1, "D\\qg"));
    folder.write("gap.csv", csvHeader() + row(0, "Dog") + row(8, "Dog"));
    folder.write("twice.csv", csvHeader() + row(2, "Dog") + row(2, "Dog"));
    // Blank lines may only end a file: one between rows is no row left out.
    folder.write("blank.csv", csvHeader() + row(0, "Dog") + "\r\n" + row(1, "Cat") + "\r\n");
    folder.write("header.csv", "index,name\r\n0,\"Dog\"\r\n");
    folder.write("wide.csv", csvHeader() + ("0,\"Dog\"" + std::string(29, ',')) + "\"x\"y\r\n");
    QImage small(90, 99, QImage::Format_ARGB32), stray(90, 100, QImage::Format_ARGB32);
    small.fill(Qt::transparent);
    stray.fill(Qt::transparent);
    stray.setPixel(3, 1, qRgb(1, 2, 3));
    ASSERT_TRUE(small.save("small.png") && stray.save("stray.png"));
    // Indexes 3..9 on the game palette cut to 4 colours: 3 is its last
    // colour, the rest point past it.
    ASSERT_EQ(karnwick::testing::runKarnwick("export", {"sprite", "1", "-o", "one.png"}).status, 0);
    QImage shortPalette(90, 100, QImage::Format_Indexed8);
    shortPalette.setColorTable(QImage("one.png").colorTable().first(4));
    shortPalette.fill(0);
    std::string pastPalette = "short.png: ";
    for (int x = 2; x < 9; ++x) {
        shortPalette.scanLine(1)[x] = static_cast<uchar>(x + 1);
        if (x > 2 && x < 8)
            pastPalette += std::to_string(x) + ",1 index " + std::to_string(x + 1) +
                           " past the 4-colour palette; ";
    }
    pastPalette += "...; 6 pixels in all";
    ASSERT_TRUE(shortPalette.save("short.png"));

    const struct {
        const char* command;
        QStringList arguments;
        std::string message;
    } refusals[] = {
        {"odds", {"0"}, "karnwick odds: expected two monster indexes, A and B"},
        {"odds",
         {"0", "1", "--set", "1.hp"},
         "karnwick odds: --set \"1.hp\": expected INDEX.FIELD=VALUE, e.g. 3.hp=120\n"},
        {"odds",
         {"0", "1", "--set", "10.hp=5"},
         "--set \"10.hp=5\": monster \"10\" is not a monster index"},
        {"odds",
         {"0", "1", "--set", "1.name=5"},
         "unknown field \"name\"; the fields are hp, level,"},
        {"duel",
         {"0", "1", "--set", "1.hp=32768"},
         "the value \"32768\" is not a whole number from -32768 to 32767\n"},
        {"matrix", {"--threads", "0"}, "--threads takes a whole number from 1 to 1024"},
        {"matrix", {"7"}, "unexpected argument \"7\""},
        {"matrix", {"--png", ""}, "karnwick matrix: --png needs a file name\n"},
        {"odds",
         {"0", "1", "--set", ".hp=5"},
         "--set \".hp=5\": monster \"\" is not a monster index: the valid range is 0..9\n"},
        {"check", {"7"}, "karnwick check: takes no arguments (see --help)\n"},
        {"matrix",
         {"--csv", "--png", "missing/map.png"},
         "missing/map.png: cannot write (the folder missing does not exist)"},
        {"sweep", {"0", "1", "0.hp"}, "expected A, B, INDEX.FIELD and FROM..TO"},
        {"sweep", {"0", "1", "0hp", "1..3"}, "\"0hp\": expected INDEX.FIELD, e.g. 0.hp\n"},
        {"sweep", {"0", "1", "3.hp", "1..3"}, "monster 3 does not fight; the monsters are 0 and 1"},
        {"sweep", {"0", "1", "0.hp", "5..1"}, "the range \"5..1\" is empty: FROM is above TO"},
        {"sweep",
         {"0", "1", "0.hp", "1..40000"},
         "\"40000\" is not a whole number from -32768 to 32767"},
        {"sweep", {"0", "1", "0.hp", "1-5"}, "the range \"1-5\": expected FROM..TO"},
        {"sweep", {"0", "1", "0.hp", "1..5", "--step", "0"}, "--step takes a whole number from 1"},
        {"sweep",
         {"0", "1", "0.hp", "1..5", "--csv", "--target", "5"},
         "--csv, --json and --target exclude each other"},
        {"sweep",
         {"0", "1", "0.hp", "1..5", "--png", "taken.png"},
         "taken.png: already exists (use --force to replace it)"},
        // One sign: the parser of every number must not read "+-1" as -1.
        {"set", {"0", "hp=+-1"}, "\"hp=+-1\": hp takes a whole number from -32768 to 32767"},
        // A value pasted by mistake is shown by its start and length.
        {"set",
         {"0", "name=" + QString(100000, 'a')},
         "\"name=" + std::string(55, 'a') +
             "\"... (100005 bytes): name takes a text of at most 10"},
        {"set", {"0", "name=Abcdefghijk"}, "name takes a text of at most 10 characters"},
        {"set",
         {"0", "special2=名"},
         "\"special2=名\": a character Windows-1252 cannot hold (write other bytes as \\xHH)"},
        {"set", {"0", "name=a\\b"}, "\"name=a\\\\b\": a backslash that is neither"},
        // A Windows-1252 byte typed raw in a UTF-8 terminal.
        {"set",
         {"0", QString::fromStdU16String(karnwick::argumentText("name=Gr\xFC"))},
         "\"name=Gr\\xFC\" is not UTF-8: write a byte of the game's text as \\xHH"},
        {"set", {"8", "hp=1"}, "monster \"8\" has no record: monsters.tat holds 7"},
        {"set", {"0", "hp=1", "hp=2"}, "hp is given twice"},
        {"import", {"stats", "bad.csv"}, "line 3, column 2 (name): a backslash that is neither"},
        {"import",
         {"stats", "gap.csv"},
         "line 3, column 1 (index): monster 8 would leave a gap: the next record to append is 7"},
        {"import", {"stats", "twice.csv"}, "line 3, column 1 (index): monster 2 is on line 2 too"},
        {"import", {"stats", "blank.csv"}, "line 3: an empty line"},
        {"import", {"stats", "header.csv"}, "line 1: expected the header that list --csv writes"},
        {"import", {"stats", "wide.csv"}, "line 2, column 31: text after the closing quote;"},
        {"import",
         {"sprite", "0", "small.png"},
         "small.png is 90 x 99 pixels; a sprite is 90 x 100"},
        {"import",
         {"sprite", "0", "stray.png"},
         "1 pixel has a colour not in the game palette: (3, 1) #010203"},
        {"import", {"sprite", "0", "short.png"}, pastPalette},
#ifndef _WIN32  // a name of bytes that are no UTF-8, which only POSIX gives
        {"import",
         {"stats", QString::fromStdU16String(u"gone\xDCFF.csv")},
         "cannot read gone\\xFF.csv (No such file or directory)"},
#endif
        {"import",
         {"sprite", "11", "stray.png"},
         "monster \"11\" has no sprite: monster.dat holds 10 (0..9, and 10 appends one)"},
        {"export", {"palette", "-o", ""}, "-o needs a file name"},
        {"export", {"palette", "-o", "/dev/zero"}, "/dev/zero: not a regular file"},
        {"export", {"all", "-"}, "a set of files into a folder: it cannot go to standard output"},
        {"matrix", {"--png", "-", "--csv"}, "--png - writes the picture to standard output"},
        {"sweep", {"0", "1", "0.hp", "1..5", "--png", "-", "--json"}, "cannot go there too"},
        {"export", {"sprite", "1", "--scale", "0"}, "--scale"},
        {"export", {"all", "monster.dat/x"}, "monster.dat/x: cannot write (monster.dat"},
        {"demo-data", {"monster.dat/x"}, "monster.dat/x: cannot write (monster.dat"},
    };
    for (const auto& r : refusals) expectRefused(r.command, r.arguments, r.message);
}

// The index just past a game file's end appends one, up to the last index the
// arena reads: 32766 for a record (record 32768 would overflow), 32767 for a
// sprite. set and import sprite word the refusal alike, an empty file too.
TEST(Refusals, TheLastIndexOfEachGameFile) {
    GameFolder folder;
    karnwick::testing::writeGoldenSet(folder);
    ASSERT_EQ(karnwick::testing::runKarnwick("export", {"sprite", "1", "-o", "one.png"}).status, 0);
    std::filesystem::resize_file(karnwick::kStatsFileName, 0);
    std::filesystem::resize_file(karnwick::kSpriteFileName, 0);
    expectRefused(
        "set", {"1", "hp=1"},
        "karnwick set: monster \"1\" has no record: monsters.tat holds 0 (0 appends one)\n");
    expectRefused("import", {"sprite", "1", "one.png"},
                  "karnwick import: monster \"1\" has no sprite: monster.dat holds 0 (0 appends "
                  "one)\n");

    const struct {
        const char* file;
        std::uintmax_t size;
        const char* command;
        QStringList arguments;
        std::string says;  // empty: appended
    } ends[] = {
        {karnwick::kStatsFileName, 32766 * 86, "set", {"32766", "hp=-2", "--dry-run"}, ""},
        {karnwick::kStatsFileName,
         32767 * 86,
         "set",
         {"32767", "hp=1"},
         "32767 (0..32766; the arena reads no record past 32766)\n"},
        {karnwick::kSpriteFileName,
         32767ull * 9000,
         "import",
         {"sprite", "32767", "one.png", "--dry-run"},
         ""},
        {karnwick::kSpriteFileName,
         32768ull * 9000,
         "import",
         {"sprite", "32768", "one.png"},
         "monster.dat holds 32768 (0..32767; the arena reads no sprite past 32767)\n"},
    };
    for (const auto& e : ends) {
        SCOPED_TRACE(e.arguments.join(' ').toStdString());
        std::filesystem::resize_file(e.file, e.size);  // sparse
        if (!e.says.empty()) {
            expectRefused(e.command, e.arguments, e.says);
            continue;
        }
        const auto last = karnwick::testing::runKarnwick(e.command, e.arguments);
        EXPECT_EQ(last.status, 0) << last.err;
        EXPECT_NE(last.out.find(e.command == std::string("set") ? "Monster 32766 (a new record)"
                                                                : "sprite 32767 appended"),
                  std::string::npos)
            << last.out;
    }
}
