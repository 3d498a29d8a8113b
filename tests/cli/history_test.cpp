// `history`, `undo` and `redo`: every edit is recorded in the game folder,
// undo and redo bring the game files back byte for byte, as editors do, and a
// program killed in the middle of an edit or an undo leaves a history that
// still tells the truth.

#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>

#include "cli/edit_history.h"
#include "cli/game_edit.h"
#include "command_run.h"
#include "data/writer_calls.h"
#include "demo/set.h"
#include "game_files.h"
#include "golden.h"

using namespace karnwick;
using namespace std::string_literals;
using karnwick::testing::GameFolder;

namespace {

constexpr auto& run = karnwick::testing::runKarnwick;

// The game files of the folder, byte for byte; a missing one as "absent".
using Files = std::map<std::string, std::string>;
Files gameFiles() {
    return karnwick::testing::gameFileBytes();
}

void expectRuns(const char* command, const QStringList& arguments) {
    const auto r = run(command, arguments);
    ASSERT_EQ(r.status, 0) << command << ": " << r.err;
}

std::vector<std::string> historyLines() {
    const auto r = run("history", {});
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

#ifndef _WIN32  // the kills fork a copy of the test program, which Windows cannot
// Runs `work` in a child process that is then killed outright, as kill -9
// would at that point: no destructor, no clean-up (so `work` leaves what it
// holds on the heap).
template <typename Work>
void killedAfter(Work work) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        try {
            work();
        } catch (...) {
            ::_exit(3);
        }
        ::raise(SIGKILL);
        ::_exit(4);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

// The writer's own calls as they are, and how many steps a child has left
// before it is killed outright, as kill -9 would at that point.
WriterCalls gRealCalls;
int gStepsLeft = 0;

// The writer's call `Call`, killed first when the count of steps runs out.
template <auto Call>
auto stepOrDie() {
    return [](auto... arguments) {
        if (--gStepsLeft == 0) ::raise(SIGKILL);
        return (gRealCalls.*Call)(arguments...);
    };
}

// Runs `command` in a child killed just before its `step`-th rename, exchange
// or fsync. Whether it was killed (false: it ran to its end).
bool killedAtStep(const char* command, int step) {
    const pid_t child = ::fork();
    if (child == 0) {
        gRealCalls = writerCalls();
        gStepsLeft = step;
        writerCalls().rename = stepOrDie<&WriterCalls::rename>();
        writerCalls().renameNoReplace = stepOrDie<&WriterCalls::renameNoReplace>();
        writerCalls().exchange = stepOrDie<&WriterCalls::exchange>();
        writerCalls().fsync = stepOrDie<&WriterCalls::fsync>();
        ::_exit(run(command, {}).status == 0 ? 0 : 3);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0))
        << command << " at step " << step;
    return WIFSIGNALED(status);
}
#endif

}  // namespace

TEST(History, UndoAndRedoRestoreEveryKindOfEditByteForByte) {
    GameFolder folder;
    writeDemoSet(folder.path(), Existing::Refuse);
    const Files original = gameFiles();
    // Each edit, then the files as it left them.
    std::vector<Files> states{original};
    expectRuns("set", {"3", "hp=50", "name=Grumble"});
    states.push_back(gameFiles());
    expectRuns("set", {"Wispet", "defense=9"});
    states.push_back(gameFiles());
    {
        // import stats of a CSV with one name changed and a record appended.
        const auto csv = run("list", {"--csv"});
        std::string text = csv.out;
        text.replace(text.find("Grubnik"), 7, "Grubzik");
        text += "57,\"New\",1,0,0,0,0,0,1,1,1,0,0,\"\",\"\",0,0,0,0,1,1,1,1,1,1,0,0,0,0,0\r\n";
        folder.write("rows.csv", text);
        const auto dry = run("import", {"stats", "rows.csv", "--dry-run"});
        EXPECT_EQ(dry.out,
                  "monster 0 name \"Grubnik   \" -> \"Grubzik   \"\nmonster 57 appended\n"
                  "monsters.tat: 58 rows read, 1 record changed, 1 appended; dry run: nothing "
                  "written\n");
        EXPECT_TRUE(gameFiles() == states.back());
        expectRuns("import", {"stats", "rows.csv"});
        states.push_back(gameFiles());
    }
    {
        // import sprite, by name, of another monster's picture.
        expectRuns("export", {"sprite", "5", "-o", "five.png"});
        const auto dry = run("import", {"sprite", "wispet", "five.png", "--dry-run"});
        EXPECT_TRUE(dry.out.starts_with("monster.dat: sprite 7 replaced, "));
        EXPECT_TRUE(dry.out.ends_with(" pixels changed; dry run: nothing written\n")) << dry.out;
        EXPECT_TRUE(gameFiles() == states.back());
        expectRuns("import", {"sprite", "wispet", "five.png"});
        states.push_back(gameFiles());
    }
    {
        // demo-data --force over the edited set brings the demo files back.
        expectRuns("demo-data", {"--force"});
        states.push_back(gameFiles());
        EXPECT_TRUE(states.back() == original);
    }
    for (std::size_t i = 1; i + 1 < states.size(); ++i) ASSERT_FALSE(states[i] == states[i - 1]);

    // Back to the start, one edit at a time, then forward again.
    for (std::size_t i = states.size() - 1; i > 0; --i) {
        expectRuns("undo", {});
        EXPECT_TRUE(gameFiles() == states[i - 1]) << "undo to state " << i - 1;
    }
    const auto nothing = run("undo", {});
    EXPECT_EQ(nothing.status, 2);
    EXPECT_NE(nothing.err.find("karnwick undo: nothing to undo in "), std::string::npos);
    for (std::size_t i = 1; i < states.size(); ++i) {
        expectRuns("redo", {});
        EXPECT_TRUE(gameFiles() == states[i]) << "redo to state " << i;
    }
    EXPECT_EQ(run("redo", {}).status, 2);

    // A new edit after an undo drops what could have been redone.
    expectRuns("undo", {});
    expectRuns("set", {"0", "hp=1"});
    EXPECT_EQ(run("redo", {}).status, 2);
    expectRuns("undo", {});
    EXPECT_TRUE(gameFiles() == states[states.size() - 2]);
}

// The listing with fixed times: the widest command sets the column, a
// rename is summarised under the new name, undone edits are marked, and a
// `set` that changes nothing writes and records nothing.
TEST(Golden, History) {
    GameFolder folder;
    karnwick::testing::writeGoldenSet(folder);
    struct FixedClock {
        QDateTime next{QDate(2026, 12, 8), QTime(9, 59, 30)};
        ~FixedClock() {
            cli::historyClock() = [] { return QDateTime::currentDateTime(); };
        }
    } clock;
    cli::historyClock() = [&clock] { return clock.next = clock.next.addSecs(90); };
    karnwick::testing::expectGolden("history",
                                    karnwick::testing::goldenTranscript(
                                        folder, {
                                                    {{"history"}},
                                                    {{"set", "6", "level=99", "name=Glasswünd"}},
                                                    {{"set", "0", "hp=41"}},
                                                    {{"export", "sprite", "2", "-o", "two.png"}},
                                                    {{"import", "sprite", "1", "two.png"}},
                                                    {{"undo"}},
                                                    {{"history"}},
                                                    {{"redo"}},
                                                    {{"undo"}},
                                                    {{"undo"}},
                                                    {{"set", "3", "hp=1"}},
                                                    {{"history"}},
                                                }));
    // The history folder is no game file: check and the readers pass it by.
    EXPECT_EQ(run("check", {}).out.find("karnwick-history"), std::string::npos);
}

// The oldest edits go first past either limit, the count of edits or the
// bytes their copies take; the limits are lowered so a few edits reach them.
TEST(History, DropsTheOldestEditsPastEitherLimit) {
    GameFolder folder;
    writeDemoSet(folder.path(), Existing::Refuse);
    const cli::HistoryLimits saved = cli::historyLimits();
    struct Restore {
        cli::HistoryLimits limits;
        ~Restore() { cli::historyLimits() = limits; }
    } restore{saved};
    cli::historyLimits().edits = 4;
    for (int i = 0; i < 6; ++i) expectRuns("set", {"0", "hp=" + QString::number(i + 100)});
    std::vector<std::string> lines = historyLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(lines.front().starts_with("6  ")) << lines.front();
    EXPECT_TRUE(lines.back().starts_with("3  ")) << lines.back();
    EXPECT_NE(lines.back().find("hp 101 -> 102"), std::string::npos) << lines.back();

    // Every entry holds a copy of monsters.tat: room for two and a half.
    const auto copy = static_cast<std::int64_t>(std::filesystem::file_size(kStatsFileName));
    cli::historyLimits() = {saved.edits, copy * 5 / 2};
    expectRuns("set", {"0", "hp=7"});
    lines = historyLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines.front().starts_with("7  ")) << lines.front();
    EXPECT_TRUE(lines.back().starts_with("6  ")) << lines.back();
    // What is kept still undoes; the undo, an entry too, pushes out edit 6.
    expectRuns("undo", {});
    EXPECT_NE(run("list", {"0"}).out.find("hp            105\n"), std::string::npos);
    EXPECT_EQ(run("undo", {}).status, 2);
    // An edit whose copy alone passes the limit is refused, and told the limit.
    cli::historyLimits().bytes = copy - 1;
    EXPECT_EQ(run("set", {"0", "hp=8"}).err,
              "karnwick set: nothing was written: cannot record the edit in ./.karnwick-history: "
              "the files it replaces are larger than " +
                  std::to_string(copy - 1) + " bytes; pass --no-history to edit without it\n");
}

// Every kind of edit refuses, before it shows any change, when its history
// cannot be written, unless told not to record it.
TEST(History, AnEditThatCannotBeRecordedIsRefusedUnlessAskedNotTo) {
    GameFolder folder;
    writeDemoSet(folder.path(), Existing::Refuse);
    const Files before = gameFiles();
    MonsterStats zero = makeDemoMonsters()[0];
    zero.hp = 3;
    folder.write("hp.csv", karnwick::testing::csvHeader() + karnwick::testing::csvRow(0, zero));
    folder.write(cli::kHistoryFolderName, "in the way");
    for (const auto& [command, arguments] :
         {std::pair<const char*, QStringList>{"set", {"0", "hp=3"}},
          {"import", {"stats", "hp.csv"}},
          {"demo-data", {"--force"}}}) {
        const auto r = run(command, arguments);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "karnwick "s + command +
                             ": nothing was written: cannot record the edit in "
                             "./.karnwick-history: it is a file, not "
                             "a folder; pass --no-history to edit without it\n");
        EXPECT_TRUE(gameFiles() == before);
    }
    expectRuns("set", {"0", "hp=3", "--no-history"});
    EXPECT_FALSE(gameFiles() == before);
    // A folder that cannot be written is refused as the game file's problem
    // (POSIX's write bit on a folder; root passes it).
    std::filesystem::remove(cli::kHistoryFolderName);
#ifndef _WIN32
    if (::geteuid() != 0) {
        std::filesystem::permissions(".", std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::remove);
        const auto r = run("set", {"0", "hp=4"});
        std::filesystem::permissions(".", std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err.find("history"), std::string::npos) << r.err;
    }
#endif
}

#ifndef _WIN32
// A kill -9 during an edit or an undo: the history holds the edit exactly
// when the game files were replaced, so undo still restores byte for byte.
TEST(History, AKilledEditOrUndoLeavesATruthfulHistory) {
    GameFolder folder;
    writeDemoSet(folder.path(), Existing::Refuse);
    const Files original = gameFiles();
    const std::vector<std::string> stats{kStatsFileName};
    std::vector<unsigned char> changed(original.at(kStatsFileName).begin(),
                                       original.at(kStatsFileName).end());
    changed[20] ^= 0x55;

    // Killed after the copies were written, before the game file was.
    killedAfter([&] { new cli::PendingEdit(".", "set", "lost", stats); });
    EXPECT_EQ(historyLines(), std::vector<std::string>{"No edits recorded"});
    EXPECT_TRUE(gameFiles() == original);

    // Killed after the game file was replaced, before the entry took its number.
    killedAfter([&] {
        new cli::PendingEdit(".", "set", "landed", stats);
        cli::rewriteGameFile(kStatsFileName, changed, Existing::Replace);
    });
    const Files edited = gameFiles();
    ASSERT_FALSE(edited == original);
    ASSERT_EQ(historyLines().size(), 1u);
    EXPECT_TRUE(historyLines()[0].ends_with("set           landed"));

    // The same for the undo itself, whose restore is an edit too.
    killedAfter([&] {
        new cli::PendingEdit(".", "undo", "undid 1 (set: landed)", stats, 1);
        cli::restoreGameFiles(".",
                              {{kStatsFileName, true,
                                std::vector<unsigned char>(original.at(kStatsFileName).begin(),
                                                           original.at(kStatsFileName).end())}},
                              Existing::Replace);
    });
    EXPECT_TRUE(gameFiles() == original);
    expectRuns("redo", {});
    EXPECT_TRUE(gameFiles() == edited);
    killedAfter([&] { new cli::PendingEdit(".", "undo", "undid 1", stats, 1); });
    expectRuns("undo", {});
    EXPECT_TRUE(gameFiles() == original);
}
#endif

// An edit whose entry cannot take its number has landed all the same: the
// pending entry stays for the next use to settle, as after a kill.
TEST(History, AnEntryThatCannotTakeItsNumberStaysPending) {
    GameFolder folder;
    writeDemoSet(folder.path(), Existing::Refuse);
    std::filesystem::create_directories(".karnwick-history/999998");
    {
        cli::PendingEdit edit(".", "set", "late", std::vector<std::string>{kStatsFileName});
        std::filesystem::create_directory(".karnwick-history/999999");
        edit.keep();
    }
    EXPECT_TRUE(std::filesystem::exists(".karnwick-history/.pending-999999/entry"));
}

#ifndef _WIN32
// An undo or a redo killed at any of its steps leaves the files all before or
// all after it, and a history that lists it exactly when it landed, so the
// next undo or redo still brings back the other side byte for byte.
TEST(History, AnUndoOrRedoKilledAtAnyStepLeavesWholeFilesAndATruthfulHistory) {
    GameFolder folder;
    writeDemoSet(folder.path(), Existing::Refuse);
    const Files original = gameFiles();
    expectRuns("set", {"3", "hp=77", "level=9"});
    const Files edited = gameFiles();
    for (const auto& [command, from, to, back] :
         {std::tuple{"undo", &edited, &original, "redo"}, {"redo", &original, &edited, "undo"}}) {
        // The undo that ran to its end leaves the files as the redo needs them.
        int step = 1;
        for (; killedAtStep(command, step); ++step) {
            // Listing the history first lets it finish or undo a cut-short
            // commit, as any command that opens the folder does.
            const std::string newest = historyLines().front();
            const Files now = gameFiles();
            ASSERT_TRUE(now == *from || now == *to) << command << " at step " << step;
            EXPECT_EQ(newest.find(command + " "s) != std::string::npos, now == *to)
                << command << " at step " << step << ": " << newest;
            if (now == *to) expectRuns(back, {});
            ASSERT_TRUE(gameFiles() == *from);
        }
        EXPECT_GT(step, 3) << command;
        EXPECT_TRUE(gameFiles() == *to) << command;
    }
}
#endif
