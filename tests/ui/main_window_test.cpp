// The arena window against small game folders written by each test: start-up,
// monster choices, FIGHT, the error paths and the ways out.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/arena_settings.h"
#include "app/arena_start.h"
#include "data/palette.h"
#include "data/sprite.h"
#include "game_files.h"
#include "ui/main_window.h"
#include "ui/picture_box.h"

namespace {

using karnwick::MonsterStats;
using karnwick::testing::GameFolder;
using karnwick::testing::setField;

MonsterStats makeMonster(const std::string& name, int16_t hp, int16_t agility) {
    MonsterStats m{.hp = hp, .agility = agility, .strength = 20, .offMin = 4, .offMax = 9};
    m.defense = 3;
    setField(m.name, name);
    setField(m.special1, "Bite");
    setField(m.special2, "Club Smash");
    return m;
}

// Every number of the panel different, so a box showing another's field shows.
MonsterStats makeWraith() {
    MonsterStats m = makeMonster("Ice Wraith", 40, 9);
    m.level = 2, m.strength = 21, m.defense = 3, m.offMin = 4, m.offMax = 11, m.mpower = 5;
    m.sp1Min = 6, m.sp1Max = 7, m.sp2Min = 8, m.sp2Max = 10;
    return m;
}

// A window loaded from the current folder, its errors collected instead of shown.
struct Arena {
    arena::ArenaSettings settings{"settings.ini"};
    MainWindow window;
    QStringList errors;
    bool opened = false;

    // Started as the player starts it, in the current folder; a failure
    // quits at once instead of asking for another folder.
    Arena() {
        window.setErrorReporter([this](const QString& message) { errors << message; });
        opened = arena::startArena(
            window, std::filesystem::current_path(), settings,
            [](const QString&, const std::filesystem::path&) { return arena::StartChoice{}; });
    }
    ~Arena() { window.previewWindows().closeAll(); }

    void choose(int side, int position) {
        QComboBox* list = window.monsterList(side);
        list->setCurrentIndex(position);
        emit list->activated(position);
    }
    QString box(std::string_view field, int side) const {
        return window.statBox(field, side)->text();
    }
    QRgb pixel(int side, int x, int y) const { return window.spriteBox(side)->image().pixel(x, y); }
    QRgb colour(int index) const {
        return karnwick::packedToArgb(
            karnwick::packedColor(window.gamePalette(), static_cast<unsigned char>(index)));
    }
    QRgb background(int side) const {
        return window.spriteBox(side)->palette().color(QPalette::Button).rgb();
    }
    void expectNothingChosen(int side) const {
        EXPECT_EQ(window.monsterList(side)->currentText(), QStringLiteral("Pick Monster"));
        EXPECT_TRUE(box("name", side).isEmpty());
        EXPECT_EQ(window.fighters()[side], MonsterStats{});
    }
};

class ArenaWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder.writePalette();
        folder.writeSolidSprites(3);
        folder.writeRecords(
            {makeMonster("Goblin", 30, 12), makeWraith(), makeMonster("Troll", 50, 9)});
    }
    GameFolder folder;
};

// The lists hold one entry per complete sprite, nothing chosen; no sprite at
// all still opens the window. (A palette that stops the window is in the
// start-up tests of app/.)
TEST(ArenaStartUp, ListsFollowTheSprites) {
    for (const int count : {57, 0}) {
        GameFolder folder;
        folder.writePalette();
        folder.writeSolidSprites(count);
        Arena arena;
        ASSERT_TRUE(arena.opened) << count;
        EXPECT_TRUE(arena.window.isVisible());
        EXPECT_EQ(arena.window.lastMonsterIndex(), count - 1);
        for (int side = 0; side < 2; ++side) {
            ASSERT_EQ(arena.window.monsterList(side)->count(), count);
            EXPECT_EQ(arena.window.monsterList(side)->itemText(count - 1),
                      count ? QStringLiteral("56") : QString());
            arena.expectNothingChosen(side);
        }
        EXPECT_TRUE(arena.errors.isEmpty());
    }
}

// A sample of places (twips / 15) and the focus order along the tab indexes.
TEST_F(ArenaWindowTest, ControlsSitAtTheirPlacesInTabOrder) {
    Arena arena;
    EXPECT_EQ(arena.window.windowTitle(), QStringLiteral("Karnwick Battle Arena"));
    EXPECT_EQ(arena.window.size(), QSize(684, 543));
    const std::pair<const char*, QRect> places[] = {
        {"pic11", {544, 32, 100, 100}},     {"cboMonsterList0", {16, 144, 89, 21}},
        {"txtArena", {16, 24, 305, 273}},   {"txtCurrentHP1", {408, 376, 97, 43}},
        {"cmdFIGHT", {296, 376, 81, 49}},   {"cmdPreview2", {416, 488, 81, 33}},
        {"txtSP2max1", {544, 512, 65, 19}}, {"Label251", {616, 368, 49, 17}},
    };
    for (const auto& [name, place] : places) {
        const auto* widget = arena.window.findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_EQ(widget->geometry(), place) << name;
    }
    EXPECT_EQ(arena.window.findChild<QLabel*>("Label90")->text(), QStringLiteral("Stength"));

    QStringList order;
    QWidget* focus = arena.window.statBox("name", 0);
    for (int i = 0; i < 8; ++i, focus = focus->nextInFocusChain()) {
        while (focus->focusPolicy() == Qt::NoFocus || focus->focusProxy())
            focus = focus->nextInFocusChain();
        order << focus->objectName();
    }
    EXPECT_EQ(order, (QStringList{"txtName0", "txtHP0", "txtAgi0", "txtStr0", "txtLevel0",
                                  "txtDef0", "txtOffMin0", "txtMpower0"}));
}

TEST_F(ArenaWindowTest, AChoiceFillsOnlyItsSideAndAFailedReadKeepsTheOldBoxes) {
    Arena arena;
    arena.window.currentHpBox(1)->setText(QStringLiteral("17"));
    arena.choose(1, 1);

    EXPECT_EQ(arena.window.fighters()[1], makeWraith());
    const std::pair<const char*, const char*> panel[] = {
        {"name", "Ice Wraith"},
        {"hp", "40"},
        {"agility", "9"},
        {"level", "2"},
        {"strength", "21"},
        {"special1", "Bite        "},
        {"special2", "Club Smash  "},
        {"defense", "3"},
        {"sp1Min", "6"},
        {"sp1Max", "7"},
        {"sp2Min", "8"},
        {"sp2Max", "10"},
        {"offMin", "4"},
        {"offMax", "11"},
        {"mpower", "5"},
    };
    for (const auto& [field, text] : panel) EXPECT_EQ(arena.box(field, 1), text) << field;
    // A box narrower than its text shows the start ("Club Smash  "), not the tail.
    QLineEdit* special2 = arena.window.statBox("special2", 1);
    ASSERT_GT(special2->fontMetrics().horizontalAdvance(special2->text()),
              special2->contentsRect().width());
    EXPECT_EQ(special2->cursorPosition(), 0);
    EXPECT_EQ(arena.window.currentHpBox(1)->text(), QStringLiteral("17"));
    // 100 units on 96 pixels: the sprite's 90 units of width cover pixels 0
    // to 85 without a gap, the rest keeps the background, and the box paints
    // that image inside its 2-pixel border.
    PictureBox* sprite = arena.window.spriteBox(1);
    int wrong = 0;
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 96; ++x)
            wrong += arena.pixel(1, x, y) != (x <= 85 ? arena.colour(2) : arena.background(1));
    EXPECT_EQ(wrong, 0);
    const QImage shown = sprite->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.copy(2, 2, 96, 96), sprite->image());

    arena.expectNothingChosen(0);
    EXPECT_EQ(arena.pixel(0, 0, 0), arena.background(0));
    EXPECT_TRUE(arena.errors.isEmpty());

    // A record that cannot be read: the new sprite shows, the old boxes stay.
    const std::filesystem::path records = folder.path() / karnwick::kStatsFileName;
    std::filesystem::remove(records);
    std::filesystem::create_directory(records);
    arena.choose(1, 0);
    ASSERT_EQ(arena.errors.size(), 1);
    EXPECT_TRUE(arena.errors[0].contains(QStringLiteral("monsters.tat")))
        << arena.errors[0].toStdString();
    EXPECT_EQ(arena.pixel(1, 0, 0), arena.colour(1));
    EXPECT_EQ(arena.box("name", 1), QStringLiteral("Ice Wraith"));
}

TEST_F(ArenaWindowTest, ArrowKeysChooseButTypingEnterAndEscapeDoNothing) {
    Arena arena;
    QApplication::setActiveWindow(&arena.window);
    QComboBox* list = arena.window.monsterList(0);
    list->setFocus();

    // Enter in the text field, then the focus leaving it, with an item's text.
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(list, QStringLiteral("2"));
    QTest::keyClick(list, Qt::Key_Return);
    QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(list, QStringLiteral("1"));
    arena.window.fightButton()->setFocus();
    EXPECT_TRUE(arena.box("name", 0).isEmpty());
    EXPECT_EQ(arena.window.fighters()[0], MonsterStats{});
    EXPECT_EQ(list->count(), 3);

    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(arena.box("name", 0), QStringLiteral("Goblin    "));
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(arena.box("name", 0), QStringLiteral("Ice Wraith"));

    // The statistics boxes show a record; typing cannot change it.
    QLineEdit* name = arena.window.statBox("name", 0);
    QTest::keyClicks(name, QStringLiteral("xyz"));
    EXPECT_EQ(name->text(), QStringLiteral("Ice Wraith"));

    // Enter and Escape press no button: FIGHT stays unclicked.
    arena.window.fightButton()->setFocus();
    QTest::keyClick(arena.window.fightButton(), Qt::Key_Return);
    QTest::keyClick(arena.window.fightButton(), Qt::Key_Escape);
    EXPECT_TRUE(arena.window.arenaLog()->toPlainText().isEmpty());
    EXPECT_TRUE(arena.window.isVisible());
}

// Both fighters only ever use the normal attack and every one lands, so a
// battle is its list of damages, Goblin striking first; the second click
// goes on from the same random source.
TEST_F(ArenaWindowTest, FightShowsTheBattleAndClicksGoOnFromTheSameRandomSource) {
    Arena arena;
    arena.choose(0, 0);
    arena.choose(1, 1);
    const struct {
        std::vector<int> damages;
        const char *hp0, *hp1;
    } clicks[] = {
        {{4, 6, 5, 6, 7, 2, 3, 2, 4, 7, 3, 3, 5, 6}, "-2", "9"},
        {{2, 3, 5, 10, 3, 10, 2, 6, 2, 8}, "-7", "26"},
    };
    for (const auto& click : clicks) {
        QString log = "Monster 1 Goes first \n";
        for (std::size_t turn = 0; turn < click.damages.size(); ++turn) {
            const char* names[] = {"Goblin    ", "Ice Wraith"};
            log += QString("%1attacks %2\n and caused %3 damage to %2\n\n")
                       .arg(names[turn % 2], names[1 - turn % 2])
                       .arg(click.damages[turn]);
        }
        QTest::mouseClick(arena.window.fightButton(), Qt::LeftButton);
        EXPECT_EQ(arena.window.arenaLog()->toPlainText(), log);
        EXPECT_EQ(arena.window.currentHpBox(0)->text(), click.hp0);
        EXPECT_EQ(arena.window.currentHpBox(1)->text(), click.hp1);
        for (int side = 0; side < 2; ++side)
            EXPECT_EQ(arena.window.currentHpBox(side)->cursorPosition(), 0);
    }
    EXPECT_TRUE(arena.errors.isEmpty());
}

// The tooltip asks the engine when it is shown, with the boxes' texts as
// they stand, and changes nothing else.
TEST_F(ArenaWindowTest, FightTooltipShowsTheExactOddsOfTheNextBattle) {
    Arena arena;
    arena.choose(0, 0);
    arena.choose(1, 2);
    const QString expected = QString::fromUtf8(
        "Monster One wins 0.82% \u00b7 Monster Two wins 99.18% \u00b7 15.2 turns on average\n"
        "Ctrl+B opens the balance window \u00b7 Ctrl+O opens another game folder \u00b7 F5 reads "
        "the files again");
    QPushButton* fight = arena.window.fightButton();
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), fight->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(fight, &help);
    EXPECT_EQ(QToolTip::text(), expected);
    EXPECT_TRUE(arena.window.arenaLog()->toPlainText().isEmpty());

    // The largest 16-bit HP starts the battle; one beyond stops it before its
    // first turn.
    arena.window.statBox("hp", 1)->setText("32767");
    EXPECT_FALSE(arena.window.fightOdds().contains("run-time error"))
        << arena.window.fightOdds().toStdString();
    arena.window.statBox("hp", 1)->setText("32768");
    EXPECT_TRUE(arena.window.fightOdds().contains(
        QString::fromUtf8("\u00b7 run-time error 100.00% \u00b7 0.0 turns on average")))
        << arena.window.fightOdds().toStdString();
}

// A battle that stops keeps its log so far, and the box names the record's
// field behind the error; the next click starts afresh.
TEST_F(ArenaWindowTest, ABattleErrorNamesTheRecordBehindIt) {
    MonsterStats wild = makeMonster("Wild", 30, 50);
    wild.offMin = -30000;
    wild.offMax = 30000;
    MonsterStats cobblet = makeMonster("Cobblet", 40, 9);
    cobblet.level = 100;
    const QString check =
        QStringLiteral("\n\nRun karnwick check for every problem of these files.");
    struct Row {
        MonsterStats one, two;
        QString log, error;
    };
    const Row rows[] = {
        {wild, makeMonster("Ice Wraith", 40, 9),
         "Monster 1 Goes first \nWild      attacks Ice Wraith\n",
         "turn 1, Monster One attacking: overflow in the damage range offMax - offMin\n\n"
         "Monster One \"Wild\" has offMax - offMin 30000 - -30000" +
             check},
        {makeMonster("Goblin", 30, 12), cobblet,
         "Monster 1 Goes first \nGoblin    attacks Cobblet   \n",
         "turn 1, Monster One attacking: division by zero in the defence value\n\n"
         "Monster Two \"Cobblet\" has level 100" +
             check},
    };
    for (const Row& row : rows) {
        folder.writeRecords({row.one, row.two});
        Arena arena;
        arena.choose(0, 0);
        arena.choose(1, 1);
        for (int click = 1; click <= 2; ++click) {
            QTest::mouseClick(arena.window.fightButton(), Qt::LeftButton);
            EXPECT_EQ(arena.window.arenaLog()->toPlainText(), row.log);
            EXPECT_EQ(arena.window.currentHpBox(1)->text(), QStringLiteral("40"));
            ASSERT_EQ(arena.errors.size(), click);
            EXPECT_EQ(arena.errors.last(), row.error);
        }
    }
}

// Ctrl+O and F5 read the game files again: each row changes the files or
// answers the folder dialog, presses a key and finds the window reloaded or,
// when the new files cannot be read, just as it was. A folder opened with
// Ctrl+O is the one the next start remembers.
TEST_F(ArenaWindowTest, ShortcutsReloadTheGameFiles) {
    GameFolder other;
    other.writePalette();
    other.writeSolidSprites(5);
    GameFolder broken;  // no palette
    std::filesystem::current_path(folder.path());
    const std::filesystem::path none;
    struct Row {
        const char* name;
        Qt::Key key;
        std::function<void()> change;
        std::filesystem::path picked;  // Ctrl+O's answer; empty: cancelled
        std::filesystem::path folderAfter;
        int monsters;
        int errors;
    };
    const std::vector<Row> rows = {
        {"F5 after more sprites", Qt::Key_F5, [&] { folder.writeSolidSprites(4); }, none,
         folder.path(), 4, 0},
        {"F5 after the palette broke", Qt::Key_F5,
         [&] { folder.write(karnwick::kPaletteFileName, "1,2"); }, none, folder.path(), 3, 1},
        {"Ctrl+O to another game", Qt::Key_O, [] {}, other.path(), other.path(), 5, 0},
        {"Ctrl+O cancelled", Qt::Key_O, [] {}, none, folder.path(), 3, 0},
        {"Ctrl+O to a folder without a palette", Qt::Key_O, [] {}, broken.path(), folder.path(), 3,
         1},
        {"Ctrl+O to a folder that is gone", Qt::Key_O, [] {}, broken.path() / "gone", folder.path(),
         3, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        folder.writePalette();
        folder.writeSolidSprites(3);
        std::filesystem::current_path(folder.path());
        Arena arena;
        arena.window.setFolderPicker([&](const std::filesystem::path& current) {
            EXPECT_EQ(current, folder.path());
            return row.picked.empty() ? std::nullopt : std::optional(row.picked);
        });
        arena.choose(0, 1);
        arena.window.showPreview(1);
        const QImage preview = arena.window.previewWindows().pictureBox(1)->image();
        row.change();

        QApplication::setActiveWindow(&arena.window);
        QTest::keyClick(&arena.window, row.key,
                        row.key == Qt::Key_O ? Qt::ControlModifier : Qt::NoModifier);
        const bool reloaded = row.errors == 0 && (row.key == Qt::Key_F5 || !row.picked.empty());
        EXPECT_EQ(arena.window.gameFolder(), row.folderAfter);
        EXPECT_EQ(arena.settings.rememberedFolder(), row.folderAfter);
        EXPECT_EQ(std::filesystem::current_path(), folder.path());
        EXPECT_EQ(arena.errors.size(), row.errors);
        for (int side = 0; side < 2; ++side)
            EXPECT_EQ(arena.window.monsterList(side)->count(), row.monsters);
        EXPECT_EQ(arena.box("name", 0).isEmpty(), reloaded);
        EXPECT_EQ(arena.pixel(0, 0, 0) == arena.background(0), reloaded);
        if (reloaded) arena.expectNothingChosen(0);
        // The open preview redraws with the new files, in the same window.
        ASSERT_NE(arena.window.previewWindows().window(1), nullptr);
        EXPECT_EQ(arena.window.previewWindows().pictureBox(1)->image() != preview,
                  reloaded && row.monsters != 3);
    }
}

// While another command writes the game folder, F5 waits a few seconds, not
// without end, then asks: Cancel leaves the window as it was, Retry waits
// again and reads the folder once it is free.
TEST_F(ArenaWindowTest, F5WhileAnotherCommandWritesAsksToRetry) {
    using namespace std::chrono;
    Arena arena;
    arena.choose(0, 1);
    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    // The other command: the folder's exclusive lock, in system calls alone
    // (a forked child of a threaded program), for ten seconds at the most.
    const pid_t writer = ::fork();
    if (writer == 0) {
        const int dir = ::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY);
        if (dir < 0 || ::flock(dir, LOCK_EX) != 0 || ::write(ready[1], "x", 1) != 1) ::_exit(1);
        pollfd released{release[0], POLLIN, 0};
        ::_exit(::poll(&released, 1, 10'000) == 1 ? 0 : 1);
    }
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    QStringList asked;
    arena.window.setRetryAsker([&](const QString& message) {
        asked << message;
        return false;
    });
    const auto started = steady_clock::now();
    EXPECT_FALSE(arena.window.reloadGameFiles());
    EXPECT_GE(steady_clock::now() - started, seconds(2));
    EXPECT_LT(steady_clock::now() - started, seconds(8));
    const QString busy = QString::fromStdString(folder.path().string()) +
                         ": cannot read (another karnwick command is writing this folder)";
    EXPECT_EQ(asked, QStringList{busy});
    EXPECT_EQ(arena.box("name", 0), QStringLiteral("Ice Wraith"));
    EXPECT_TRUE(arena.errors.isEmpty());

    arena.window.setRetryAsker([&](const QString& message) {
        asked << message;
        return ::write(release[1], "x", 1) == 1;  // the other command ends meanwhile
    });
    EXPECT_TRUE(arena.window.reloadGameFiles());
    EXPECT_EQ(asked, (QStringList{busy, busy}));
    arena.expectNothingChosen(0);
    int status = 0;
    ::waitpid(writer, &status, 0);
    EXPECT_EQ(status, 0);
    for (const int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
}

TEST_F(ArenaWindowTest, AltEClosesEveryWindowAndEndsTheProgram) {
    Arena arena;
    arena.window.showPreview(1);
    ASSERT_NE(arena.window.previewWindows().window(1), nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&arena.window));
    QApplication::setActiveWindow(&arena.window);

    QTimer::singleShot(0, &arena.window,
                       [&arena] { QTest::keyClick(&arena.window, Qt::Key_E, Qt::AltModifier); });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(2); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_FALSE(arena.window.isVisible());
    EXPECT_EQ(arena.window.previewWindows().window(1), nullptr);
}

TEST_F(ArenaWindowTest, ClosingTheMainWindowLeavesAPreviewOpen) {
    Arena arena;
    arena.window.showPreview(3);
    arena.window.close();
    QWidget* preview = arena.window.previewWindows().window(3);
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->isVisible());
    EXPECT_TRUE(arena.errors.isEmpty());
}

}  // namespace
