// Finding the game folder at start-up: the command line (answered before any
// window system), the choice between the argument, the current folder and the
// remembered one, the retry after a failed start, with the player's answers
// given through the chooser seam, and the program itself against a settings
// file that is no file.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/arena_icon.h"
#include "app/arena_settings.h"
#include "app/arena_start.h"
#include "app/command_line.h"
#include "app/demo_folder.h"
#include "app/start_folder.h"
#include "data/palette.h"
#include "data/sprite.h"
#include "demo/set.h"
#include "game_files.h"
#include "ui/main_window.h"

namespace {

namespace fs = std::filesystem;
using karnwick::testing::GameFolder;
using Action = arena::CommandLine::Action;
using Kind = arena::StartChoice::Kind;

void fillGameFolder(const fs::path& folder, int monsters = 2) {
    fs::create_directories(folder);
    std::string palette;
    for (int i = 0; i < 768; ++i) palette += "1\r\n";
    std::ofstream(folder / karnwick::kPaletteFileName) << palette;
    std::ofstream(folder / karnwick::kSpriteFileName)
        << std::string(std::size_t(monsters) * karnwick::kSpriteBytes, '\1');
    std::ofstream(folder / karnwick::kStatsFileName)
        << std::string(std::size_t(monsters) * karnwick::kRecordLength, ' ');
}

// Settings in a temporary file, never the player's own.
struct TempSettings {
    QTemporaryDir dir;
    arena::ArenaSettings settings{dir.filePath(QStringLiteral("arena.conf")).toStdString()};
    fs::path remembered() const { return settings.rememberedFolder(); }
};

TEST(ArenaCommandLine, AnswersEveryUsageBeforeTheWindowSystem) {
    GameFolder folder;
    const std::string dir = folder.path().string();
    // A folder name that is not UTF-8 arrives as bytes and stays so.
    const std::string latin1 = dir +
                               "/bad\xff"
                               "name";
    fs::create_directory(latin1);
    struct Row {
        std::vector<std::string> arguments;
        int exitCode;  // -1: the arena runs
        fs::path folder;
        std::string said;  // on stdout when the exit code is 0, else on stderr
    };
    const std::vector<Row> rows = {
        {{}, -1, {}, {}},
        {{dir}, -1, dir, {}},
        {{dir + "/"}, -1, dir, {}},
        {{latin1}, -1, latin1, {}},
        {{"-platform", "offscreen", "-style=fusion", dir}, -1, dir, {}},
        {{"--help"}, 0, {}, "Ctrl+O"},
        {{"-V"}, 0, {}, "karnwick-arena " KARNWICK_VERSION "\n"},
        {{dir + "/nowhere"}, 2, {}, "karnwick-arena: " + dir + "/nowhere: no such folder\n"},
        {{dir + "/mypal.pal"}, 2, {}, "mypal.pal: not a folder"},
        {{dir, dir}, 2, {}, "karnwick-arena: only one game folder can be given\n"},
        {{"--fight"}, 2, {}, "karnwick-arena: Unknown option 'fight'.\n"},
        {{"-platform"}, 2, {}, "Missing value after '-platform'"},
        {{"--balance", "--set", "3.hp=120", "--set", " 4 . agility = -2", dir}, -1, dir, {}},
        {{"--set", "3.hq=1"}, 2, {}, "karnwick-arena: --set \"3.hq=1\": unknown field \"hq\""},
        {{"--set", "3.hp=40000"}, 2, {}, "is not a whole number from -32768 to 32767"},
        // A name is looked up once the folder is read; its field is checked now.
        {{"--set", "Mr. Gloop.hp=5"}, -1, {}, {}},
        {{"--set", "Gloop.hq=5"}, 2, {}, "unknown field \"hq\"; did you mean \"hp\"?\n"},
    };
    folder.writePalette();
    for (const Row& row : rows) {
        std::vector<std::string> argv = {"karnwick-arena"};
        argv.insert(argv.end(), row.arguments.begin(), row.arguments.end());
        const arena::CommandLine line = arena::parseCommandLine(argv);
        const std::string context = row.arguments.empty() ? "(none)" : row.arguments.front();
        EXPECT_EQ(line.action, row.exitCode < 0 ? Action::Run : Action::Exit) << context;
        EXPECT_EQ(line.exitCode, std::max(row.exitCode, 0)) << context;
        EXPECT_EQ(line.folder, row.folder) << context;
        const bool balance = !row.arguments.empty() && row.arguments.front() == "--balance";
        EXPECT_EQ(line.balance, balance) << context;
        if (balance) {
            EXPECT_EQ(line.setTexts, (std::vector<std::string>{"3.hp=120", " 4 . agility = -2"}));
        }
        const QString said = row.exitCode == 2 ? line.err : line.out;
        EXPECT_TRUE(said.contains(QString::fromStdString(row.said)))
            << context << ": " << said.toStdString();
    }
}

// --set names its monster by index or by name, as karnwick's does, in the
// folder the window opened; a change that folder cannot take is told and left
// out, and the others are kept.
TEST(ArenaStartUp, StartChangesNameMonstersAsKarnwickDoes) {
    QTemporaryDir root;
    const fs::path demo = fs::path(root.path().toStdString()) / "demo";
    fs::create_directories(demo);
    karnwick::writeDemoSet(demo, karnwick::Existing::Refuse);
    TempSettings temp;
    MainWindow window;
    QStringList told;
    window.setErrorReporter([&](const QString& text) { told << text; });
    ASSERT_TRUE(arena::startArena(window, demo, temp.settings, [](const QString&, const fs::path&) {
        return arena::StartChoice{};
    }));
    const auto changes = arena::readStartChanges(
        window, {"snarvel.hp=5", " Wisp . level = 9", "2.hp=1", "Nobody.hp=1", "99.hp=1"});
    std::vector<std::string> read;
    for (const auto& change : changes) read.push_back(karnwick::recordOverrideText(change));
    EXPECT_EQ(read, (std::vector<std::string>{"3.hp=5", "7.level=9", "2.hp=1"}));
    ASSERT_EQ(told.size(), 2);
    EXPECT_TRUE(told[0].startsWith("--set \"Nobody.hp=1\": no monster is named \"Nobody\""))
        << told[0].toStdString();
    EXPECT_TRUE(told[1].contains("monster \"99\" is not a monster index: the valid range is 0.."))
        << told[1].toStdString();
}

// The argument wins; then a current folder holding the palette; then the
// remembered folder while it still holds the game files; else the current one.
TEST(ArenaStartFolder, ArgumentThenPaletteHereThenRememberedThenHere) {
    GameFolder empty;
    GameFolder game;
    fillGameFolder(game.path());
    GameFolder paletteOnly;
    paletteOnly.writePalette();
    const fs::path none;
    const fs::path e = empty.path(), g = game.path(), p = paletteOnly.path();
    struct Row {
        fs::path argument, current, remembered, expected;
    };
    const std::vector<Row> rows = {
        {e, g, g, e},    {none, p, g, p},          {none, e, g, g},
        {none, e, p, e}, {none, e, e / "gone", e}, {none, e, none, e},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(arena::chooseStartFolder(row.argument, row.current, row.remembered), row.expected)
            << row.argument << " | " << row.current << " | " << row.remembered;
    }
}

// Each row starts in a folder and answers the failure dialog in turn; it ends
// shown in `opened` (empty: the player quit), having asked `asked` times and
// told the player `told` things once the window was shown.
TEST(ArenaStartUp, FailureDialogChoices) {
    QTemporaryDir root;
    const fs::path base = root.path().toStdString();
    const fs::path empty = base / "empty", game = base / "game", palette = base / "palette";
    const fs::path latin1 = base / "caf\xe9";
    fs::create_directories(empty);
    fillGameFolder(game);
    fillGameFolder(latin1, 3);
    fs::create_directories(palette);
    fs::copy_file(game / karnwick::kPaletteFileName, palette / karnwick::kPaletteFileName);
    // The demo set goes into the data folder of this test, not the player's;
    // the first try finds a palette of another game there, and nothing else.
    qputenv("XDG_DATA_HOME", (base / "data").c_str());
    const fs::path demo = arena::demoSetFolder();
    ASSERT_EQ(demo, base / "data" / "karnwick" / "demo");
    fs::create_directories(demo);
    fs::copy_file(game / karnwick::kPaletteFileName, demo / karnwick::kPaletteFileName);
    const fs::path here = fs::current_path();

    const arena::StartChoice quit;
    const arena::StartChoice tryDemo{Kind::DemoSet, {}};
    auto pick = [](fs::path f) { return arena::StartChoice{Kind::Folder, std::move(f)}; };
    struct Row {
        const char* name;
        fs::path start;
        std::vector<arena::StartChoice> answers;
        fs::path opened;
        int monsters;
        int told;
    };
    const std::vector<Row> rows = {
        {"works at once", game, {}, game, 2, 0},
        {"vanished, then a game", empty, {pick(empty / "vanished"), pick(game)}, game, 2, 0},
        {"quit", empty, {quit}, {}, 0, 0},
        {"demo set over a palette alone", empty, {tryDemo}, demo, karnwick::kDemoMonsterCount, 0},
        {"demo set already there", empty, {tryDemo}, demo, karnwick::kDemoMonsterCount, 0},
        {"palette alone opens and tells", palette, {}, palette, 0, 1},
        {"not UTF-8", empty, {pick(latin1)}, latin1, 3, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempSettings temp;
        MainWindow window;
        QStringList told;
        window.setErrorReporter([&](const QString& text) { told << text; });
        std::vector<QString> texts;
        const bool started = arena::startArena(
            window, row.start, temp.settings, [&](const QString& text, const fs::path&) {
                texts.push_back(text);
                return texts.size() <= row.answers.size() ? row.answers[texts.size() - 1] : quit;
            });
        EXPECT_EQ(texts.size(), row.answers.size());
        EXPECT_EQ(started, !row.opened.empty());
        EXPECT_EQ(window.isVisible(), started);
        EXPECT_EQ(temp.remembered(), row.opened);
        EXPECT_EQ(told.size(), row.told);
        if (!started) continue;
        // The window reads its folder; the program's own stays where it was.
        EXPECT_EQ(window.gameFolder(), row.opened);
        EXPECT_EQ(fs::current_path(), here);
        EXPECT_EQ(window.monsterList(1)->count(), row.monsters);
        if (row.told) {
            EXPECT_TRUE(told[0].contains("monster.dat: file not found"));
        }
    }
    // The first failure names the folder, the file and all three ways on.
    MainWindow window;
    TempSettings temp;
    QString text;
    arena::startArena(window, empty, temp.settings, [&](const QString& t, const fs::path&) {
        text = t;
        return quit;
    });
    for (const char* part : {"empty", "mypal.pal", "karnwick demo-data DIR", "Try the Demo Set"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(part))) << text.toStdString();
    // Any failure while the folder loads is a failed start the player is
    // told of, not the end of the program.
    MainWindow throwing;
    throwing.setErrorReporter([](const QString&) { throw std::runtime_error("no room to tell"); });
    QString thrown;
    EXPECT_FALSE(
        arena::startArena(throwing, palette, temp.settings, [&](const QString& t, const fs::path&) {
            thrown = t;
            return quit;
        }));
    EXPECT_TRUE(thrown.contains("no room to tell")) << thrown.toStdString();
    // Offscreen, the real dialog asks no one and quits at once.
    EXPECT_EQ(arena::askForGameFolder(text, empty).kind, Kind::Quit);
    // The demo set written over the lone palette is the whole demo set.
    EXPECT_EQ(karnwick::testing::readBytes(demo / karnwick::kPaletteFileName),
              karnwick::makeDemoSet().palette);
}

// A settings file that is a FIFO (or a folder) would hold the arena before
// its window with a blocking read; it is left alone with a word on stderr, and
// the start goes on in the folder given (here an empty one, which fails and,
// offscreen, quits with status 1).
TEST(ArenaProgram, StartsPastASettingsFileThatIsNoFile) {
    QTemporaryDir home;
    const fs::path config = fs::path(home.path().toStdString()) / "config";
    const fs::path file = config / "karnwick" / "karnwick-arena.conf";
    const fs::path empty = fs::path(home.path().toStdString()) / "empty";
    fs::create_directories(file.parent_path());
    fs::create_directories(empty);
    for (const bool fifo : {true, false}) {
        SCOPED_TRACE(fifo ? "FIFO" : "folder");
        fs::remove_all(file);
        if (fifo) {
            ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
        } else {
            fs::create_directory(file);
        }
        QProcess arena;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(config));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        arena.setProcessEnvironment(environment);
        arena.start(QStringLiteral(KARNWICK_ARENA), {QString::fromStdString(empty)});
        const bool finished = arena.waitForFinished(10000);
        if (!finished) arena.kill();
        ASSERT_TRUE(finished) << "the arena hangs on its settings file";
        EXPECT_EQ(arena.exitCode(), 1);
        const QString said = QString::fromUtf8(arena.readAllStandardError());
        EXPECT_TRUE(said.contains(QString::fromStdString(
            "karnwick-arena: " + file.string() +
            ": not a regular file; the arena neither reads nor remembers its last game folder "
            "there\n")))
            << said.toStdString();
        EXPECT_TRUE(said.contains(QStringLiteral("The arena cannot start in the folder")));
        EXPECT_EQ(fs::is_fifo(file), fifo);
        EXPECT_EQ(fs::is_directory(file), !fifo);
    }
}

// The icon comes once the window has been painted, with all four renderings
// (a lost resource leaves it empty).
TEST(ArenaIcon, GivenWithItsRenderingsAfterTheFirstPaint) {
    QWidget window;
    arena::giveArenaIconAfterFirstPaint(window);
    window.show();
    EXPECT_TRUE(QGuiApplication::windowIcon().isNull());
    ASSERT_TRUE(QTest::qWaitFor([] { return !QGuiApplication::windowIcon().isNull(); }));
    const QIcon icon = QGuiApplication::windowIcon();
    EXPECT_EQ(icon.availableSizes().size(), 4);
    EXPECT_NE(icon.pixmap(QSize(48, 48)).toImage().pixelColor(24, 24), QColor(Qt::transparent));
}

// The failure box: Enter presses Open Game Folder, Escape presses Quit.
TEST(ArenaStartUp, FailureBoxEnterOpensAndEscapeQuits) {
    for (const auto& [key, button] : {std::pair{Qt::Key_Return, &arena::FailureBox::open},
                                      std::pair{Qt::Key_Escape, &arena::FailureBox::quit}}) {
        const arena::FailureBox failure = arena::makeFailureBox(QStringLiteral("text"));
        failure.box->show();
        QApplication::setActiveWindow(failure.box.get());
        QTest::keyClick(failure.box.get(), key);
        EXPECT_EQ(failure.box->clickedButton(), failure.*button) << key;
    }
}

}  // namespace
