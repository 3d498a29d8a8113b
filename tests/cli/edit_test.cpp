// `karnwick set` and `karnwick import`: what list --csv and export sprite give
// out comes back byte for byte, changes touch only what they name, refusals
// write nothing, and concurrent writers never lose a change.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include <QImage>
#include <QProcess>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "command_run.h"
#include "data/folder_lock.h"
#include "data/record_fields.h"
#include "game_files.h"

using namespace karnwick;
using namespace std::string_literals;
using karnwick::testing::csvHeader;
using karnwick::testing::csvRow;
using karnwick::testing::GameFolder;
using karnwick::testing::readBytes;
using karnwick::testing::saneMonster;
using ::testing::HasSubstr;

namespace {

using Result = karnwick::testing::CommandRun;
constexpr auto& run = karnwick::testing::runKarnwick;

MonsterStats recordOf(const std::string& bytes, int monster) {
    RecordBytes record{};
    std::copy_n(bytes.begin() + monster * kRecordLength, kRecordLength, record.begin());
    return decodeMonsterStats(record);
}

// Random bytes with every number field at one of its limits in turn and the
// texts full of what a CSV cannot carry: NULs, line breaks, quotes,
// backslashes and the bytes Windows-1252 leaves undefined.
std::string wildRecords(int whole, int extraBytes, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(std::size_t(whole * kRecordLength + extraBytes), '\0');
    for (char& b : bytes) b = static_cast<char>(random());
    const std::string awkward = "\x00\x81\x8D\x8F\x90\x9D\\\"\r\n\x7F,\xFF"s;
    for (int r = 0; r < whole; ++r) {
        char* record = bytes.data() + r * kRecordLength;
        for (const RecordField& f : kRecordFields) {
            if (!f.number) {
                for (int i = 0; i < f.width; ++i)
                    record[f.offset + i] = awkward[std::size_t(r + i + f.offset) % awkward.size()];
            } else if ((r + f.offset) % 3 != 2) {
                record[f.offset] = (r + f.offset) % 3 ? '\xFF' : '\0';
                record[f.offset + 1] = (r + f.offset) % 3 ? '\x7F' : '\x80';
            }
        }
    }
    return bytes;
}

}  // namespace

TEST(Edit, ListCsvThroughImportStatsKeepsWildRecordsByteForByte) {
    struct Case {
        int records, extraBytes, sprites;
    };
    // More records than sprites, a partial last record, fewer records than
    // sprites (list shows zero rows past the end of the file).
    for (const Case c : {Case{6, 0, 6}, Case{7, 0, 3}, Case{3, 40, 5}, Case{2, 0, 6}}) {
        SCOPED_TRACE(c.records * 100 + c.sprites);
        GameFolder folder;
        const std::string wild = wildRecords(c.records, c.extraBytes, unsigned(c.records));
        folder.write(kStatsFileName, wild);
        folder.writeSprites(c.sprites);
        const Result list = run("list", {"--csv"});
        ASSERT_EQ(list.status, 0) << list.err;
        // One line per row: no byte of a text breaks the CSV.
        EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), c.sprites + 1);
        EXPECT_EQ(list.out.find('\0'), std::string::npos);
        folder.write("records.csv", list.out);
        std::string scrambled = wild;
        std::fill_n(scrambled.begin(), std::min<int>(int(wild.size()), c.sprites * kRecordLength),
                    'x');
        folder.write(kStatsFileName, scrambled);
        // Back through standard input, as `list --csv | karnwick import stats -`.
        const Result import = karnwick::testing::runProgram("import stats - <records.csv");
        ASSERT_EQ(import.status, 0) << import.err;
        EXPECT_EQ(readBytes(kStatsFileName), wild);
    }
}

TEST(Edit, SetAndImportStatsChangeOnlyWhatTheyName) {
    GameFolder folder;
    folder.writeRecords({saneMonster("Ant"), saneMonster("Bee"), saneMonster("Cat")});
    folder.writeSprites(3);
    const std::string before = readBytes(kStatsFileName);

    // A text takes the CSV's escapes: \\ and \xHH for bytes that are no letter.
    Result set = run("set", {"1", "hp=-32768", "name=Grü\\x00\\\\", "spare11=7"});
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_THAT(set.out, HasSubstr("hp            25 -> -32768"));
    std::string expected = before;
    expected.replace(86, 10, "Gr\xFC\x00\\     "s);
    expected.replace(96, 2, "\x00\x80"s);
    expected.replace(86 + 84, 2, "\x07\x00"s);
    EXPECT_EQ(readBytes(kStatsFileName), expected);

    // N equal to the record count appends a record, zero but the fields given.
    set = run("set", {"3", "level=5"});
    ASSERT_EQ(set.status, 0) << set.err;
    MonsterStats appended;
    appended.level = 5;
    EXPECT_EQ(recordOf(readBytes(kStatsFileName), 3), appended);
    EXPECT_EQ(readBytes(kStatsFileName).substr(0, 3 * 86), expected);

    // A CSV of two rows: one record changed, one appended, the rest kept;
    // saved by a spreadsheet that separates with semicolons, one inside quotes.
    MonsterStats dog = saneMonster("D;g", 90);
    std::string semicolons = csvHeader() + csvRow(4, dog) + csvRow(0, saneMonster("Ant", 12));
    std::replace(semicolons.begin(), semicolons.end(), ',', ';');
    folder.write("two.csv", semicolons);
    const Result imported = run("import", {"stats", "two.csv"});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_THAT(imported.out, HasSubstr("monsters.tat: 2 rows read (CSV with ';' separators), 1 "
                                        "record changed, 1 appended\n"));
    const std::string after = readBytes(kStatsFileName);
    ASSERT_EQ(after.size(), 5u * 86);
    EXPECT_EQ(recordOf(after, 0), saneMonster("Ant", 12));
    EXPECT_EQ(after.substr(86, 2 * 86), expected.substr(86, 2 * 86));
    EXPECT_EQ(recordOf(after, 3), appended);
    EXPECT_EQ(recordOf(after, 4), dog);
}

// An import names each changed field up to twenty; from the twenty-first on
// the rest are counted.
TEST(Edit, ImportStatsNamesTwentyChangesAndCountsTheRest) {
    GameFolder folder;
    folder.writeRecords({saneMonster("Ant"), saneMonster("Bee")});
    folder.writeSprites(2);
    for (const int changes : {20, 21}) {
        SCOPED_TRACE(changes);
        MonsterStats records[2] = {saneMonster("Ant"), saneMonster("Bee")};
        for (int r = 0; r < 2; ++r) {
            int left = r == 0 ? 13 : changes - 13;
            for (const RecordField& f : kRecordFields)
                if (f.number && left-- > 0) records[r].*f.number += 1;
        }
        folder.write("rows.csv", csvHeader() + csvRow(0, records[0]) + csvRow(1, records[1]));
        const Result imported = run("import", {"stats", "rows.csv", "--dry-run"});
        ASSERT_EQ(imported.status, 0) << imported.err;
        std::istringstream lines(imported.out);
        int named = 0;
        for (std::string line; std::getline(lines, line);) named += line.starts_with("monster ");
        EXPECT_EQ(named, 20) << imported.out;
        EXPECT_EQ(imported.out.find(" more changes\n") != std::string::npos, changes == 21)
            << imported.out;
        if (changes == 21) {
            EXPECT_THAT(imported.out, HasSubstr("and 1 more changes\n"));
        }
        EXPECT_THAT(imported.out, HasSubstr("2 rows read, 2 records changed, 0 appended; dry run"));
    }
}

// An edit that changes nothing replaces no file and records nothing; one
// with --no-history leaves no history behind.
TEST(Edit, NoOpEditsAndNoHistoryLeaveNoTrace) {
    GameFolder folder;
    ASSERT_EQ(run("demo-data", {}).status, 0);
    ASSERT_EQ(run("export", {"sprite", "4", "-o", "four.png"}).status, 0);
    folder.write("rows.csv", run("list", {"--csv"}).out);
    const std::string hp = std::to_string(recordOf(readBytes(kStatsFileName), 4).hp);
    const auto before = karnwick::testing::folderState();
    const struct {
        const char* command;
        QStringList arguments;
        const char* says;
    } unchanged[] = {
        {"set", {"4", "hp=" + QString::fromStdString(hp)}, "  hp            "},
        {"import", {"sprite", "4", "four.png"}, "monster.dat: sprite 4 unchanged"},
        {"import", {"stats", "rows.csv"}, "monsters.tat unchanged: 57 rows read"},
    };
    for (const auto& u : unchanged) {
        SCOPED_TRACE(u.arguments.join(' ').toStdString());
        const Result result = run(u.command, u.arguments);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_THAT(result.out, HasSubstr(u.says));
        EXPECT_EQ(karnwick::testing::folderState(), before);
    }
    for (const auto& [command, arguments] :
         {std::pair{"demo-data", QStringList{"--force", "--no-history"}},
          {"set", {"4", "hp=1", "--no-history"}},
          {"import", {"sprite", "5", "four.png", "--no-history"}}}) {
        ASSERT_EQ(run(command, arguments).status, 0) << command;
        EXPECT_FALSE(std::filesystem::exists(".karnwick-history")) << command;
    }
}

// A game file shared through a link is never split from its set. (Other
// refusals are rows of refusals_test.cpp.)
TEST(Edit, ALinkedGameFileIsRefused) {
    GameFolder folder;
    folder.writeRecords({saneMonster("Ant"), saneMonster("Bee"), saneMonster("Cat")});
    folder.writeSprites(3);
    std::filesystem::create_directory("shared");
    std::filesystem::rename(kStatsFileName, "shared/monsters.tat");
    karnwick::testing::makeLink("shared/monsters.tat", kStatsFileName);
    if (IsSkipped()) return;
    karnwick::testing::expectRefused("set", {"0", "hp=1"},
                                     "monsters.tat is a link to " +
                                         platform::pathText(folder.path() / "shared/monsters.tat") +
                                         ": pass --dir with ");

    // So is one shared through a hard link: a new file under one name would
    // leave the other with the old data.
    std::filesystem::remove(kStatsFileName);
    std::filesystem::create_hard_link("shared/monsters.tat", kStatsFileName);
    folder.write("one.csv", csvHeader() + csvRow(0, saneMonster("Dog")));
    for (const auto& [command, arguments] :
         {std::pair{"set", QStringList{"0", "hp=1"}}, {"import", {"stats", "one.csv"}}})
        karnwick::testing::expectRefused(
            command, arguments,
            "karnwick " + std::string(command) +
                ": monsters.tat has 2 hard links, and an edit would leave the other names with "
                "the old data: copy it into a folder of its own and pass --dir with that folder\n");
}

#ifndef _WIN32  // owners and mode bits are POSIX's
// Write-protected game files are replaced by no edit without --force, as rm
// asks first: for root by their mode bits (root passes every permission
// check), for anyone else by their permission. Root's edit of another user's
// files leaves them that user's, with their mode, through undo and redo too.
TEST(Edit, WriteProtectedGameFilesNeedForceAndKeepTheirOwner) {
    GameFolder folder;
    ASSERT_EQ(run("demo-data", {}).status, 0);
    ASSERT_EQ(run("export", {"sprite", "1", "-o", "one.png"}).status, 0);
    folder.write("one.csv", csvHeader() + csvRow(0, saneMonster("Dog")));
    const bool root = ::geteuid() == 0;
    const uid_t owner = root ? 65534 : ::geteuid();
    const gid_t group = root ? 65534 : ::getegid();
    for (const char* name : {".", kStatsFileName, kSpriteFileName})
        ASSERT_EQ(::chown(name, owner, group), 0);
    for (const char* name : {kStatsFileName, kSpriteFileName}) ASSERT_EQ(::chmod(name, 0440), 0);
    const struct {
        const char* command;
        QStringList arguments;
        const char* file;
    } edits[] = {
        {"set", {"0", "hp=6"}, kStatsFileName},
        {"import", {"stats", "one.csv"}, kStatsFileName},
        {"import", {"sprite", "0", "one.png"}, kSpriteFileName},
        {"undo", {}, kSpriteFileName},
        {"redo", {}, kSpriteFileName},
    };
    for (const auto& edit : edits) {
        SCOPED_TRACE(edit.command);
        karnwick::testing::expectRefused(
            edit.command, edit.arguments,
            "./"s + edit.file + ": is write-protected (use --force to replace it)\n");
        const Result forced = run(edit.command, edit.arguments + QStringList{"--force"});
        ASSERT_EQ(forced.status, 0) << forced.err;
        struct stat status {};
        ASSERT_EQ(::stat(edit.file, &status), 0);
        EXPECT_EQ(status.st_uid, owner);
        EXPECT_EQ(status.st_gid, group);
        EXPECT_EQ(status.st_mode & 07777, 0440u);
    }
    // The copies the history keeps are as private as the files, and the
    // history stays the folder owner's.
    for (const auto& item : std::filesystem::recursive_directory_iterator(".karnwick-history")) {
        struct stat status {};
        ASSERT_EQ(::stat(item.path().c_str(), &status), 0);
        EXPECT_EQ(status.st_uid, owner) << item.path();
        if (item.path().filename() != "entry" && item.is_regular_file()) {
            EXPECT_EQ(status.st_mode & 0777, 0440u) << item.path();
        }
    }
    if (!root) return;
    // Anyone else is stopped by the permission itself: a file with write bits
    // that are not theirs. Root's edits left them a history they can write.
    ASSERT_EQ(::chown(kStatsFileName, 0, 0) | ::chmod(kStatsFileName, 0644), 0);
    // The build may sit in a private folder (a home folder of mode 0700) that
    // the other user cannot reach: they run a copy of the program from the
    // system's temporary folder.
    char shared[] = "/tmp/karnwick-other-user-XXXXXX";
    ASSERT_NE(::mkdtemp(shared), nullptr);
    const std::filesystem::path program = std::filesystem::path(shared) / "karnwick";
    std::filesystem::copy_file(KARNWICK_BINARY, program);
    ASSERT_EQ(::chmod(shared, 0755) | ::chmod(program.c_str(), 0755), 0);
    for (const char* force : {"", "--force"}) {
        QProcess set;
        set.setChildProcessModifier([] {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(9);
        });
        QStringList arguments{"set", "0", "hp=9"};
        if (*force) arguments << force;
        set.start(QString::fromStdString(program.string()), arguments);
        ASSERT_TRUE(set.waitForFinished(30000));
        EXPECT_EQ(set.exitCode(), *force ? 0 : 2);
        EXPECT_EQ(set.readAllStandardError().toStdString(),
                  *force ? ""
                         : "karnwick set: ./monsters.tat: is write-protected (use --force to "
                           "replace it)\n");
    }
    std::filesystem::remove_all(shared);
    EXPECT_EQ(recordOf(readBytes(kStatsFileName), 0).hp, 9);
}
#endif

// A missing monsters.tat is made by the first edit, and the appended count is
// the records the file gained. (The ranges a refusal offers: refusals_test.cpp.)
TEST(Edit, TheFirstEditMakesTheRecordFileAndAppendsAreCounted) {
    GameFolder folder;
    // A missing monsters.tat reads as empty, as the game reads it: the first
    // edit creates it, unless the folder holds no monster.dat either.
    Result result = run("set", {"0", "hp=1"});
    EXPECT_EQ(result.status, 2);
    EXPECT_THAT(result.err, HasSubstr("no monster.dat in "));
    folder.writeSprites(1);
    ASSERT_EQ(run("set", {"0", "hp=1"}).status, 0);
    MonsterStats first;
    first.hp = 1;
    EXPECT_EQ(recordOf(readBytes(kStatsFileName), 0), first);
    ASSERT_EQ(run("undo", {}).status, 0);
    EXPECT_FALSE(std::filesystem::exists(kStatsFileName));
    folder.write("first.csv", csvHeader() + csvRow(0, saneMonster("Ant")));
    result = run("import", {"stats", "first.csv"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(readBytes(kStatsFileName).size(), std::size_t(kRecordLength));

    // 60 sprites, 57 records: rows 57 and 58 are the zero rows list shows, 59
    // holds something, so three records are added.
    folder.writeSprites(60);
    folder.writeRecords(std::vector<MonsterStats>(57, saneMonster("Ant")));
    folder.write("last.csv", csvHeader() + csvRow(57, MonsterStats{}) + csvRow(58, MonsterStats{}) +
                                 csvRow(59, saneMonster("Eel")));
    result = run("import", {"stats", "last.csv"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              "monster 57 appended\nmonster 58 appended\nmonster 59 appended\n"
              "monsters.tat: 3 rows read, 0 records changed, 3 appended\n");
    EXPECT_EQ(std::filesystem::file_size(kStatsFileName), 60u * kRecordLength);
}

#ifndef _WIN32  // closed streams, /dev/full and /proc come from bash and Linux
// The program itself with its standard streams closed, full or failing: every
// edit refuses a closed output before any work, and one whose report cannot
// be written changes nothing, so the status says whether the change landed;
// a read that fails is never the end of the input.
TEST(Edit, StandardStreamsThatFailChangeNothing) {
    GameFolder folder;
    folder.writePalette();
    folder.writeRecords({saneMonster("Ant"), saneMonster("Bee")});
    folder.writeSprites(2);
    folder.write("rows.csv", csvHeader() + csvRow(0, saneMonster("Cat")));
    ASSERT_EQ(run("export", {"sprite", "1", "-o", "one.png"}).status, 0);
    const auto before = karnwick::testing::gameFileBytes();
    std::vector<std::pair<std::string, std::string>> cases = {
        {"import stats - <&-", "karnwick import: cannot read standard input (it is closed)"},
        {"import stats - </tmp", "karnwick import: cannot read standard input (it is a folder)"},
        {"import stats - 0>>rows.csv", "cannot read standard input (Bad file descriptor)"},
        {"import stats /proc/self/mem", "cannot read /proc/self/mem (Input/output error)"},
    };
    for (const std::string edit :
         {"set 0 hp=5", "import stats rows.csv", "import sprite 0 one.png", "demo-data --force"}) {
        const std::string says =
            "karnwick " + edit.substr(0, edit.find(' ')) + ": cannot write to standard output";
        cases.emplace_back(edit + " >/dev/full", says + ": No space left on device");
        cases.emplace_back(edit + " >&-", says + " (it is closed)");
    }
    for (const auto& [line, says] : cases) {
        SCOPED_TRACE(line);
        const Result shell = karnwick::testing::runProgram(line);
        EXPECT_EQ(shell.status, 2);
        EXPECT_THAT(shell.err, HasSubstr(says));
        EXPECT_EQ(karnwick::testing::gameFileBytes(), before);
    }
}
#endif

// export sprite then import sprite is the identity, for the indexed image and
// for the same picture in plain colours; a sparse monster.dat stays sparse.
TEST(Edit, ImportSpriteTakesIndexesOrColoursAndKeepsASparseFileSparse) {
    GameFolder folder;
    folder.writePalette();
    folder.writeSprites(4);
    constexpr std::int64_t kSprites = 1000;
    std::filesystem::resize_file(kSpriteFileName, kSprites * kSpriteBytes);
    ASSERT_EQ(run("export", {"sprite", "2", "-o", "two.png"}).status, 0);
    QImage plain = QImage("two.png").convertToFormat(QImage::Format_ARGB32);
    ASSERT_TRUE(plain.save("plain.png"));
    plain.setPixel(0, 0, plain.pixel(0, 0) + 1);  // one step off a palette colour
    ASSERT_TRUE(plain.save("near.png"));
    std::string expected = readBytes(kSpriteFileName);
    const std::string two = expected.substr(2 * kSpriteBytes, kSpriteBytes);

    const struct {
        QStringList arguments;
        std::int64_t monster;
    } cases[] = {
        {{"sprite", "700", "two.png"}, 700},
        {{"sprite", "1000", "plain.png"}, 1000},  // appends
        {{"sprite", "0", "near.png", "--nearest"}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Result result = run("import", c.arguments);
        ASSERT_EQ(result.status, 0) << result.err;
        expected.resize(
            std::max<std::size_t>(expected.size(), std::size_t(c.monster + 1) * kSpriteBytes));
        expected.replace(std::size_t(c.monster) * kSpriteBytes, kSpriteBytes, two);
        ASSERT_EQ(readBytes(kSpriteFileName), expected);
    }
#ifndef _WIN32  // a file is sparse on Windows only when asked to be
    struct stat status {};
    ASSERT_EQ(::stat(kSpriteFileName, &status), 0);
    EXPECT_LT(status.st_blocks * 512, 1 << 20) << "of " << status.st_size << " bytes";
#endif
}

// Every command that writes into a game folder waits while another command
// reads it, a reader waits while another command writes, each says so after
// a second and then does its work.
TEST(Edit, EveryCommandWaitsForTheFolderLockAndSaysSo) {
    GameFolder folder;
    folder.writePalette();
    folder.writeRecords({saneMonster("Ant"), saneMonster("Bee")});
    folder.writeSprites(2);
    ASSERT_EQ(run("export", {"sprite", "1", "-o", "one.png"}).status, 0);
    folder.write("one.csv", csvHeader() + csvRow(0, saneMonster("Dog", 70)));
    const struct {
        FolderAccess held;
        QStringList arguments;
    } rows[] = {
        {FolderAccess::Read, {"set", "0", "hp=7"}},
        {FolderAccess::Read, {"import", "stats", "../one.csv"}},
        {FolderAccess::Read, {"import", "sprite", "0", "../one.png"}},
        {FolderAccess::Read, {"demo-data", "--force", "."}},
        {FolderAccess::Read, {"export", "all", ".", "--dir", ".."}},
        {FolderAccess::Write, {"list"}},
    };
    std::vector<std::unique_ptr<FolderLock>> locks;
    std::vector<std::unique_ptr<QProcess>> commands;
    std::vector<std::filesystem::path> dirs;
    for (const auto& row : rows) {
        const std::filesystem::path dir = folder.path() / ("d" + std::to_string(dirs.size()));
        std::filesystem::create_directory(dir);
        for (const char* name : {kPaletteFileName, kSpriteFileName, kStatsFileName})
            std::filesystem::copy_file(name, dir / name);
        locks.push_back(std::make_unique<FolderLock>(dir, row.held));
        auto& command = commands.emplace_back(std::make_unique<QProcess>());
        command->setWorkingDirectory(karnwick::testing::pathArgument(dir));
        command->start(KARNWICK_BINARY, row.arguments);
        dirs.push_back(dir);
    }
    commands.front()->waitForFinished(1500);
    for (std::size_t i = 0; i < commands.size(); ++i) {
        SCOPED_TRACE(rows[i].arguments.join(' ').toStdString());
        const std::string note = "karnwick: waiting for another karnwick command to finish in " +
                                 platform::pathText(dirs[i]) + "\n";
        std::string err;
        for (int waited = 0; err.find(note) == std::string::npos && waited < 50; ++waited) {
            commands[i]->waitForReadyRead(100);
            err += commands[i]->readAllStandardError().toStdString();
        }
        EXPECT_EQ(err, note);
        EXPECT_EQ(commands[i]->state(), QProcess::Running);
    }
    locks.clear();
    for (auto& command : commands) {
        ASSERT_TRUE(command->waitForFinished(30000));
        EXPECT_EQ(command->exitCode(), 0) << command->readAllStandardError().toStdString();
    }
    EXPECT_EQ(recordOf(readBytes(dirs[0] / kStatsFileName), 0).hp, 7);
    EXPECT_EQ(recordOf(readBytes(dirs[1] / kStatsFileName), 0), saneMonster("Dog", 70));
    EXPECT_EQ(readBytes(dirs[2] / kSpriteFileName).substr(0, kSpriteBytes),
              readBytes(kSpriteFileName).substr(kSpriteBytes, kSpriteBytes));
    EXPECT_EQ(readBytes(dirs[3] / kStatsFileName).size(), 57u * kRecordLength);
    EXPECT_EQ(readBytes(dirs[4] / "sprite-1.png"), readBytes("one.png"));
    EXPECT_NE(commands[5]->readAllStandardOutput().indexOf("Bee"), -1);
}

// Writers at once each read, change and replace the whole file: without the
// lock, one's rename would drop another's change.
TEST(Edit, SixtyConcurrentSetsAllLand) {
    GameFolder folder;
    std::vector<MonsterStats> monsters(10, saneMonster("Ant"));
    folder.writeRecords(monsters);
    const char* fields[] = {"hp", "level", "agility", "strength", "defense", "mpower"};
    std::vector<std::unique_ptr<QProcess>> writers;
    for (int m = 0; m < 10; ++m) {
        for (const char* field : fields) {
            auto& p = writers.emplace_back(std::make_unique<QProcess>());
            p->start(KARNWICK_BINARY,
                     {"set", QString::number(m), QString("%1=%2").arg(field).arg(1000 + m)});
        }
    }
    // A reader meanwhile (the arena) always finds a whole file.
    for (auto& p : writers) {
        for (int waited = 0; !p->waitForFinished(1); ++waited) {
            ASSERT_LT(waited, 60000);
            ASSERT_EQ(karnwick::testing::readAsTheArena(kStatsFileName).size(),
                      10u * kRecordLength);
        }
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }
    const std::string after = readBytes(kStatsFileName);
    for (int m = 0; m < 10; ++m) {
        const MonsterStats s = recordOf(after, m);
        for (const int16_t value : {s.hp, s.level, s.agility, s.strength, s.defense, s.mpower})
            EXPECT_EQ(value, 1000 + m) << "monster " << m;
    }
}
