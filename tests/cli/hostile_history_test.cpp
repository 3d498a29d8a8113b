// A game folder from anyone's archive may carry a .karnwick-history crafted to
// reach outside the folder or to wipe a game file. Each case builds such a
// folder from literal bytes inside a sandbox, runs the real program on it and
// checks that it refuses with status 2, names the entry and why, leaves the
// game files byte for byte, and changes nothing beside the sandbox (where a
// decoy file and a decoy history wait to be written through).

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "command_run.h"

namespace fs = std::filesystem;

namespace {

using karnwick::testing::CommandRun;
using karnwick::testing::kPosix;
using karnwick::testing::makeFifo;
using karnwick::testing::makeLink;
using karnwick::testing::readBytes;
using karnwick::testing::runProgram;
using ::testing::HasSubstr;

constexpr std::string_view kPalette = "palette\r\n";
constexpr std::string_view kSprites = "sprites";
constexpr std::string_view kRecordsBefore = "records before";
constexpr std::string_view kRecordsNow = "records now";

std::string state(std::string_view bytes) {
    return std::to_string(bytes.size()) + " " + karnwick::testing::sha256Hex(bytes);
}

// The entry of a `set` that made monsters.tat kRecordsNow from kRecordsBefore.
std::string setEntry(const std::string& extra = "") {
    return "format 2\nnumber 1\ntime 2026-12-08 10:00:00\ncommand set\ntarget 0\nsummary hp\n"
           "file monsters.tat present " +
           state(kRecordsBefore) + "\n" + extra + "after monsters.tat " + state(kRecordsNow) + "\n";
}

void writeFile(const fs::path& file, std::string_view bytes) {
    std::ofstream(file, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

// An entry folder holding `entry` and the copy of monsters.tat.
void writeEntryFolder(const fs::path& folder, const std::string& entry) {
    fs::create_directories(folder);
    writeFile(folder / "entry", entry);
    writeFile(folder / "monsters.tat", kRecordsBefore);
}

// parent/ holds a decoy file, a decoy history and sandbox/game/, a game folder
// of three small files with a history of one `set`.
class Sandbox {
  public:
    Sandbox() {
        static int counter = 0;
        m_parent = fs::temp_directory_path() / ("karnwick-hostile-" + std::to_string(::getpid()) +
                                                "-" + std::to_string(counter++));
        fs::remove_all(m_parent);
        fs::create_directories(game());
        writeFile(decoy(), "decoy");
        fs::permissions(decoy(), fs::perms(0600));
        writeEntryFolder(m_parent / "outside" / "000001", setEntry());
        writeFile(game() / "mypal.pal", kPalette);
        writeFile(game() / "monster.dat", kSprites);
        writeFile(game() / "monsters.tat", kRecordsNow);
        writeEntryFolder(history() / "000001", setEntry());
    }
    ~Sandbox() {
        std::error_code ignored;
        fs::remove_all(m_parent, ignored);
    }

    fs::path parent() const { return m_parent; }
    fs::path game() const { return m_parent / "sandbox" / "game"; }
    fs::path history() const { return game() / ".karnwick-history"; }
    fs::path entry() const { return history() / "000001"; }
    fs::path decoy() const { return m_parent / "decoy"; }

    std::map<std::string, std::string> gameFiles() const {
        return karnwick::testing::gameFileBytes(game());
    }

    // Everything beside the sandbox, so a write, a new link or new rights there
    // show as a difference.
    std::map<std::string, std::string> outside() const {
        auto state = karnwick::testing::folderState(m_parent);
        std::erase_if(state, [&](const auto& item) {
            return item.first.starts_with((m_parent / "sandbox").string());
        });
        return state;
    }

  private:
    fs::path m_parent;
};

struct HostileCase {
    const char* name;
    std::function<void(const Sandbox&)> craft;
    const char* arguments;
    std::string says;  // within standard error
};

void PrintTo(const HostileCase& c, std::ostream* out) {
    *out << c.name;
}

class HostileHistory : public ::testing::TestWithParam<HostileCase> {};

// Edit 1's entry with `extra` lines before its last; DECOY stands for the
// decoy's path.
auto entryWith(std::string extra) {
    return [extra](const Sandbox& s) {
        std::string lines = extra;
        if (const auto at = lines.find("DECOY"); at != std::string::npos)
            lines.replace(at, 5, karnwick::platform::pathText(s.decoy()));
        writeFile(s.entry() / "entry", setEntry(lines));
    };
}

void linkedHistory(const Sandbox& s) {
    fs::remove_all(s.history());
    makeLink(s.parent() / "outside", s.history());
}

void fifoHistory(const Sandbox& s) {
    fs::remove_all(s.history());
    makeFifo(s.history());
}

void damagedCopy(const Sandbox& s) {
    writeFile(s.entry() / "monsters.tat", "records befor!");
}

const std::string kEntry = "./.karnwick-history/000001 cannot be used: ";
// The start of the decoy's absolute path: "/", or its drive's "C:/" on Windows.
const std::string kDecoyRoot = karnwick::platform::pathText(fs::temp_directory_path().root_path());
const std::string kNoRecord = "cannot record the edit in ./.karnwick-history: it is a ";

const HostileCase kCases[] = {
    {"AbsoluteFileLine", entryWith("file DECOY absent\n"), "undo",
     kEntry + "it names the file \"" + kDecoyRoot},
    {"AbsolutePresentLine", entryWith("file DECOY present " + state("x") + "\n"), "undo",
     kEntry + "it names the file \"" + kDecoyRoot},
    {"RelativeFileLine", entryWith("file ../../decoy absent\n"), "undo",
     kEntry + "it names the file \"../../decoy\", which is none of mypal.pal, monster.dat and "
              "monsters.tat"},
    {"DotDotFileLine", entryWith("file .. absent\n"), "undo", kEntry + "it names the file \"..\""},
    {"NulInAName", entryWith(std::string("file mon\0sters.tat absent\n", 26)), "undo",
     kEntry + "it names the file \"mon\\x00sters.tat\""},
    {"NameTwice", entryWith("file monsters.tat absent\n"), "undo",
     kEntry + "it names monsters.tat twice"},
    {"LinkedEntryFolder",
     [](const Sandbox& s) {
         fs::remove_all(s.entry());
         makeLink(s.parent() / "outside" / "000001", s.entry());
     },
     "undo", kEntry + "it is a symbolic link"},
    {"LinkedCopy",
     [](const Sandbox& s) {
         fs::remove(s.entry() / "monsters.tat");
         makeLink(s.decoy(), s.entry() / "monsters.tat");
     },
     "undo", kEntry + "its copy of monsters.tat is a symbolic link"},
    {"MissingCopy", [](const Sandbox& s) { fs::remove(s.entry() / "monsters.tat"); }, "undo",
     kEntry + "its copy of monsters.tat is missing"},
    {"CutCopy", [](const Sandbox& s) { fs::resize_file(s.entry() / "monsters.tat", 3); }, "undo",
     kEntry + "its copy of monsters.tat holds 3 bytes, not the 14 it was recorded with"},
    {"DamagedCopy", damagedCopy, "undo",
     kEntry + "its copy of monsters.tat is not what was kept (its SHA-256 differs)"},
    {"DamagedCopyEvenWithForce", damagedCopy, "undo --force",
     kEntry + "its copy of monsters.tat is not what was kept (its SHA-256 differs)"},
    {"FifoAsCopy",
     [](const Sandbox& s) {
         fs::remove(s.entry() / "monsters.tat");
         makeFifo(s.entry() / "monsters.tat");
     },
     "undo", kEntry + "its copy of monsters.tat is a FIFO, not a file"},
    {"EntryOfAnEarlierKarnwick",
     [](const Sandbox& s) {
         writeFile(s.entry() / "entry",
                   "number 1\ncommand set\ntarget 0\nfile monsters.tat present\n");
     },
     "undo", kEntry + "an earlier karnwick recorded it without the sizes and hashes"},
    {"GarbageNewestEntry",
     [](const Sandbox& s) { writeEntryFolder(s.history() / "000002", "no entry at all\n"); },
     "undo", "./.karnwick-history/000002 cannot be used: it names no command"},
    {"RedoThroughALinkedCopy",
     [](const Sandbox& s) {
         writeEntryFolder(s.history() / "000002",
                          "format 2\ncommand undo\ntarget 1\nfile monsters.tat present " +
                              state(kRecordsBefore) + "\nafter monsters.tat " + state(kRecordsNow) +
                              "\n");
         fs::remove(s.history() / "000002" / "monsters.tat");
         makeLink(s.decoy(), s.history() / "000002" / "monsters.tat");
     },
     "redo",
     "./.karnwick-history/000002 cannot be used: its copy of monsters.tat is a symbolic link"},
    {"HardLinkedGameFile",
     [](const Sandbox& s) { fs::create_hard_link(s.game() / "monsters.tat", s.game() / "b.tat"); },
     "undo", "monsters.tat has 2 hard links"},
    {"LinkedGameFile",
     [](const Sandbox& s) {
         fs::remove(s.game() / "monsters.tat");
         makeLink("../../decoy", s.game() / "monsters.tat");
     },
     "undo", "monsters.tat is a link to "},
    {"GameFileChangedOutside",
     [](const Sandbox& s) { writeFile(s.game() / "monsters.tat", "records NOW"); }, "undo",
     "./monsters.tat changed since the last recorded edit"},
    {"LinkedHistoryForUndo", linkedHistory, "undo",
     "./.karnwick-history cannot be the history of the edits: it is a symbolic link, not a "
     "folder"},
    {"LinkedHistoryForSet", linkedHistory, "set 0 hp=5",
     "karnwick set: nothing was written: " + kNoRecord +
         "symbolic link, not a folder; pass --no-history"},
    {"DanglingLinkAsHistoryForSet",
     [](const Sandbox& s) {
         fs::remove_all(s.history());
         makeLink(s.parent() / "made-through-a-link", s.history());
     },
     "set 0 hp=5", kNoRecord + "symbolic link, not a folder"},
    {"FifoAsHistoryForHistory", fifoHistory, "history", "it is a FIFO, not a folder"},
    {"FifoAsHistoryForSet", fifoHistory, "set 0 hp=5", kNoRecord + "FIFO, not a folder"},
    {"FileAsHistoryForRedo",
     [](const Sandbox& s) {
         fs::remove_all(s.history());
         writeFile(s.history(), "000001");
     },
     "redo", "./.karnwick-history cannot be the history of the edits: it is a file, not a folder"},
    {"LastEntryNumberTaken",
     [](const Sandbox& s) { fs::rename(s.entry(), s.history() / "999999"); }, "set 0 hp=5",
     "it holds edit 999999, the last number an edit can take"},
};

TEST_P(HostileHistory, IsRefusedAndNothingIsWritten) {
    const HostileCase& c = GetParam();
    const Sandbox sandbox;
    c.craft(sandbox);
    if (IsSkipped()) return;
    const auto files = sandbox.gameFiles();
    const auto outside = sandbox.outside();
    const CommandRun run = runProgram(c.arguments, sandbox.game());
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_THAT(run.err, HasSubstr(c.says));
    EXPECT_EQ(sandbox.gameFiles(), files);
    EXPECT_EQ(sandbox.outside(), outside);
    EXPECT_FALSE(fs::exists(sandbox.game() / "mon"));
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileHistory, ::testing::ValuesIn(kCases),
                         [](const auto& item) { return std::string(item.param.name); });

// Only six digits make an entry: other names are named by `history` and
// never read as an edit.
TEST(HostileHistoryBaseline, OtherNamesAreIgnoredAndNamed) {
    const Sandbox sandbox;
    fs::rename(sandbox.entry(), sandbox.history() / "-00001");
    writeEntryFolder(sandbox.history() / "1000000", setEntry());
    writeFile(sandbox.history() / "notes", "");
    CommandRun history = runProgram("history", sandbox.game());
    EXPECT_EQ(history.status, 0);
    EXPECT_EQ(history.out,
              "No edits recorded\nNot edits, ignored in ./.karnwick-history: \"-00001\" "
              "\"1000000\" \"notes\"\n");
    const CommandRun undo = runProgram("undo", sandbox.game());
    EXPECT_EQ(undo.status, 2);
    EXPECT_EQ(undo.err, "karnwick undo: nothing to undo in ./.karnwick-history\n");
    // An entry that cannot be used is listed with the reason.
    fs::create_directory(sandbox.history() / "000004");
    makeFifo(sandbox.history() / "000004" / "entry");
    if (IsSkipped()) return;
    history = runProgram("history", sandbox.game());
    EXPECT_TRUE(history.out.starts_with(
        "4                   (unusable: its entry file is a FIFO, not a file)\nNot edits"))
        << history.out;
    EXPECT_EQ(readBytes(sandbox.game() / "monsters.tat"), kRecordsNow);
}

// An edit killed between its copies and its number left a pending entry: it
// counts as made exactly when the game files are as it meant to leave them.
TEST(HostileHistoryBaseline, APendingEntryIsKeptOnlyWhenItsEditLanded) {
    for (const bool landed : {false, true}) {
        for (const std::string first : {"history", "set 0 hp=22"}) {
            SCOPED_TRACE(first + (landed ? " after a landed edit" : ""));
            const Sandbox sandbox;
            const std::string meant = landed ? std::string(kRecordsNow) : "records 555";
            writeEntryFolder(sandbox.history() / ".pending-000002",
                             "format 2\ntime 2026-12-08 10:00:00\ncommand set\ntarget 0\nsummary "
                             "hp 61 -> 555\nfile "
                             "monsters.tat present " +
                                 state(kRecordsBefore) + "\nafter monsters.tat " + state(meant) +
                                 "\n");
            // Every writer settles it before it numbers its own edit.
            const CommandRun run = runProgram(first, sandbox.game());
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_FALSE(fs::exists(sandbox.history() / ".pending-000002"));
            const std::string listed = runProgram("history", sandbox.game()).out;
            EXPECT_EQ(listed.find("2  2026-12-08 10:00:00  set           hp 61 -> 555\n") !=
                          std::string::npos,
                      landed)
                << listed;
            if (first != "history") continue;
            // Without the pending entry the crafted history is sound and undoes,
            // so every refusal of HostileHistory is for what was crafted.
            const CommandRun undo = runProgram("undo", sandbox.game());
            EXPECT_EQ(undo.status, 0) << undo.err;
            EXPECT_EQ(undo.out,
                      landed ? "Undid edit 2 (set: hp 61 -> 555)\n" : "Undid edit 1 (set: hp)\n");
            EXPECT_EQ(readBytes(sandbox.game() / "monsters.tat"), kRecordsBefore);
        }
    }
}

// The history knows the files by their bytes, so a copy of the folder (cp -a,
// a backup put back, another disk) still undoes; undo and redo report before
// they change anything, so a report that cannot be written changes nothing.
TEST(HostileHistoryBaseline, ACopiedFolderUndoesAndAFailedReportChangesNothing) {
    const Sandbox sandbox;
    ASSERT_EQ(runProgram("demo-data --force --no-history", sandbox.game()).status, 0);
    fs::remove_all(sandbox.history());
    ASSERT_EQ(runProgram("set 1 hp=5", sandbox.game()).status, 0);
    const fs::path copy = sandbox.game().parent_path() / "copy";
    fs::copy(sandbox.game(), copy, fs::copy_options::recursive);
    const std::string edited = readBytes(copy / "monsters.tat");
    // A full or closed standard output is bash's and POSIX's to give.
    for (const char* redirect : {">/dev/full", ">&-"}) {
        if (!kPosix) break;
        const CommandRun failed = runProgram(std::string("undo ") + redirect, copy);
        EXPECT_EQ(failed.status, 2) << redirect;
        EXPECT_THAT(failed.err, HasSubstr("karnwick undo: cannot write to standard output"));
        EXPECT_EQ(readBytes(copy / "monsters.tat"), edited);
    }
    const CommandRun undo = runProgram("undo", copy);
    EXPECT_EQ(undo.status, 0) << undo.err;
    EXPECT_NE(readBytes(copy / "monsters.tat"), edited);
    if constexpr (kPosix) {
        EXPECT_EQ(runProgram("redo >/dev/full", copy).status, 2);
    }
    EXPECT_NE(readBytes(copy / "monsters.tat"), edited);
    EXPECT_EQ(runProgram("redo", copy).status, 0);
    EXPECT_EQ(readBytes(copy / "monsters.tat"), edited);
}

}  // namespace
