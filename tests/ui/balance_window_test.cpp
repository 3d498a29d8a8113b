// The Balance window against the demo set: every tab's copy is the command
// line's CSV (or check's text) for the same request, what-if changes and all,
// and the heat map chooses pairs in the arena.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QToolTip>
#include <QTreeWidget>
#include <atomic>
#include <fstream>
#include <memory>
#include <set>
#include <thread>

#include "battle/battle_fields.h"
#include "battle/outcome_columns.h"
#include "battle/sweep.h"
#include "charts/sweep_chart.h"
#include "data/file_writer.h"
#include "data/sprite.h"
#include "demo/set.h"
#include "game_files.h"
#include "ui/balance_launcher.h"
#include "ui/balance_window.h"
#include "ui/check_tab.h"
#include "ui/main_window.h"
#include "ui/match_up_tab.h"
#include "ui/monster_picker.h"
#include "ui/open_arenas.h"
#include "ui/roster_tab.h"
#include "ui/sweep_tab.h"
#include "ui/work_lane.h"

namespace {

using karnwick::balance::BalanceWindow;
using ::testing::HasSubstr;

// What `karnwick ARGS --dir FOLDER` prints, with tabs for its commas.
std::string commandLineOutput(QStringList arguments, bool tabs = true) {
    QProcess karnwick;
    arguments << "--dir" << QString::fromStdString(std::filesystem::current_path().string());
    karnwick.start(QStringLiteral(KARNWICK_BINARY), arguments);
    EXPECT_TRUE(karnwick.waitForFinished(120000)) << arguments.join(' ').toStdString();
    const QString out = QString::fromUtf8(karnwick.readAllStandardOutput());
    return (tabs ? QString(out).replace(',', '\t') : out).toStdString();
}

struct DemoArena {
    karnwick::testing::GameFolder folder;
    MainWindow window;
    QStringList errors;

    // The demo set in the test's folder, or in a folder of that name inside it.
    explicit DemoArena(const std::string& inside = {}) {
        const std::filesystem::path dir = std::filesystem::current_path() / inside;
        std::filesystem::create_directories(dir);
        karnwick::writeDemoSet(dir, karnwick::Existing::Replace);
        window.setErrorReporter([this](const QString& message) { errors << message; });
        window.loadGameFolder(dir);
        window.show();
    }
    ~DemoArena() {
        if (BalanceWindow* balance = window.balance().window()) delete balance;
    }
    BalanceWindow& open() { return *window.balance().open(); }
    void choose(int side, int index) { window.balance().choose(side, index); }
    BalanceWindow& openOn(int one, int two) {
        choose(0, one);
        choose(1, two);
        return open();
    }
    // Waits until every request of the window is answered.
    void settle(BalanceWindow& balance) {
        ASSERT_TRUE(QTest::qWaitFor([&] { return balance.isSettled(); }, 120000));
    }
    std::string copied(BalanceWindow& balance, int tab) {
        balance.tabs()->setCurrentIndex(tab);
        settle(balance);
        QApplication::clipboard()->clear();
        balance.copyToClipboard();
        return QApplication::clipboard()->text().toStdString();
    }
};

// What hovering `widget` at `at` shows.
QString toolTipAt(QWidget* widget, QPointF at) {
    QHelpEvent help(QEvent::ToolTip, at.toPoint(), widget->mapToGlobal(at.toPoint()));
    QApplication::sendEvent(widget, &help);
    return QToolTip::text();
}

// The line a copy starts with, naming the what-if changes as options.
std::string whatIf(const QStringList& sets) {
    return ("What if: " + sets.join(' ') + "\n").toStdString();
}

// Each tab's copy against the command line, first with changes given at the
// start (as --set gives them), then after a change typed into a what-if box:
// the roster has only the changed monster's row and column worked out again,
// and the sweep's range follows Monster Two's hp until the user sets one.
// Copy as Command, Match-up and Sweep name only the changes to the match-up's
// two monsters; Check checks the records as the changes leave them.
TEST(BalanceWindow, EveryTabCopiesTheCommandLinesNumbers) {
    DemoArena arena;
    arena.window.balance().setStartChanges({karnwick::parseRecordOverride("3.strength=40", 56),
                                            karnwick::parseRecordOverride("9.hp=50", 56)});
    BalanceWindow& balance = arena.openOn(3, 5);
    EXPECT_EQ(balance.windowTitle(), QStringLiteral("Karnwick Balance"));
    const QStringList tabs = {"&Match-up", "&Roster", "&Sweep", "&Check"};
    for (int i = 0; i < tabs.size(); ++i) EXPECT_EQ(balance.tabs()->tabText(i), tabs[i]);
    const int hp = arena.window.fighters()[1].hp;

    const QStringList atStart{"--set", "3.strength=40", "--set", "9.hp=50"};
    for (const QStringList& sets : {atStart, atStart + QStringList{"--set", "5.hp=77"}}) {
        if (sets.size() > 4) {
            balance.tabs()->setCurrentIndex(0);
            QSpinBox* box = balance.whatIfBox("hp", 1);
            box->setFocus();
            box->selectAll();
            QTest::keyClicks(box, QStringLiteral("77"));
            EXPECT_EQ(box->value(), 77);
            EXPECT_EQ(box->accessibleDescription(), QStringLiteral("changed"));
            EXPECT_EQ(balance.commandLine().section(" --dir", 0, 0),
                      "karnwick odds 3 5 --csv --set 3.strength=40 --set 5.hp=77");
        }
        QStringList ofPair = sets;
        ofPair.remove(2, 2);
        EXPECT_EQ(
            arena.copied(balance, 0),
            whatIf(ofPair) + commandLineOutput(QStringList{"odds", "3", "5", "--csv"} + ofPair));
        EXPECT_EQ(arena.copied(balance, 1),
                  whatIf(sets) + commandLineOutput(QStringList{"matrix", "--csv"} + sets));
        const int to = std::max(100, 2 * (sets.size() > 4 ? 77 : hp));
        EXPECT_EQ(arena.copied(balance, 2),
                  whatIf(ofPair) +
                      commandLineOutput(QStringList{"sweep", "3", "5", "5.hp",
                                                    QStringLiteral("1..%1").arg(to), "--csv"} +
                                        ofPair));
    }
    balance.sweepTo()->setValue(120);
    balance.whatIfBox("hp", 1)->setValue(90);
    EXPECT_EQ(balance.sweepTo()->value(), 120);
    balance.whatIfBox("level", 1)->setValue(100);
    const QStringList all = atStart + QStringList{"--set", "5.hp=90", "--set", "5.level=100"};
    const std::string checked = commandLineOutput(QStringList{"check"} + all, false);
    EXPECT_THAT(checked, HasSubstr("monster 5 \"Tickwort  \": level = 100: error"));
    EXPECT_EQ(arena.copied(balance, 3), whatIf(all) + checked);
    // Every control the keyboard reaches has a name for a screen reader.
    for (QWidget* control : balance.findChildren<QWidget*>()) {
        if ((control->focusPolicy() & Qt::TabFocus) && !control->focusProxy() &&
            !qobject_cast<QAbstractSpinBox*>(control->parentWidget()) &&
            !qobject_cast<QComboBox*>(control->parentWidget())) {
            EXPECT_FALSE(control->accessibleName().isEmpty() &&
                         control->property("text").toString().isEmpty())
                << control->metaObject()->className();
        }
    }
    EXPECT_TRUE(arena.errors.isEmpty());
}

// The heat map shows each pair's chance once its rows arrive. Its keyboard
// cursor starts on the arena's pair; a click on a cell chooses that pair in
// the arena and stays on the map, Enter opens the pair in Match-up. Just
// outside the grid a click chooses nothing and hovering shows nothing.
TEST(BalanceWindow, HeatMapChoosesAndOpensPairs) {
    DemoArena arena;
    BalanceWindow& balance = arena.openOn(4, 9);
    balance.tabs()->setCurrentIndex(1);
    karnwick::balance::RosterView* map = balance.rosterView();
    // Drawn while still grey: the rows that come later are painted over it.
    map->grab();
    arena.settle(balance);
    EXPECT_EQ(map->currentPair(), std::pair(4, 9));
    // At the window's first size the names are no smaller than the smallest
    // readable text: every n-th name only, the rest named on hover.
    EXPECT_GE(
        map->labelPixels(),
        QFontInfo(QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont)).pixelSize());
    const QPoint cell = map->cellCentre(7, 2);
    EXPECT_EQ(map->grab().toImage().pixelColor(cell),
              karnwick::charts::chanceColour(map->picture().oneWins[7 * 57 + 2]));
    QTest::mouseClick(map, Qt::LeftButton, {}, cell);
    EXPECT_EQ(arena.window.monsterList(0)->currentIndex(), 7);
    EXPECT_EQ(arena.window.monsterList(1)->currentIndex(), 2);
    EXPECT_EQ(arena.window.fighters()[0], karnwick::makeDemoMonsters()[7]);
    EXPECT_EQ(arena.window.fighters()[1], karnwick::makeDemoMonsters()[2]);
    EXPECT_EQ(balance.tabs()->currentIndex(), 1);

    const QRectF first = map->cellRect(0, 0), last = map->cellRect(56, 56);
    auto hover = [&](QPointF at) { return toolTipAt(map, at); };
    for (const QPointF outside : {QPointF(last.right() + 1, last.center().y()),
                                  QPointF(last.center().x(), last.bottom() + 1),
                                  QPointF(first.left() - 1, first.center().y()),
                                  QPointF(first.center().x(), first.top() - 1)}) {
        QTest::mouseClick(map, Qt::LeftButton, {}, outside.toPoint());
        EXPECT_EQ(arena.window.monsterList(0)->currentIndex(), 7);
        EXPECT_EQ(arena.window.monsterList(1)->currentIndex(), 2);
        EXPECT_TRUE(hover(outside).isEmpty()) << hover(outside).toStdString();
    }
    EXPECT_TRUE(hover(QPointF(last.right() - 1, last.bottom() - 1)).contains(" against 56 "));
    // The heat map's side of ChancesNearNoneOrAllShowHonestly.
    EXPECT_TRUE(hover(map->cellCentre(0, 5))
                    .contains(QString::fromUtf8(
                        "Monster One wins <0.01% \u00b7 Monster Two wins >99.99%")));

    map->setFocus();
    QTest::keyClick(map, Qt::Key_Left);
    QTest::keyClick(map, Qt::Key_Return);
    EXPECT_EQ(arena.window.monsterList(1)->currentIndex(), 1);
    EXPECT_EQ(balance.tabs()->currentIndex(), 0);
    arena.settle(balance);
    EXPECT_TRUE(balance.copiedText().contains(QStringLiteral("\n7\t1\t")));
}

// The roster is read whole under the folder's shared lock: while another
// command holds the folder (here with monsters.tat cut to nothing until it
// puts it back), the roster waits for it and then matches the command line.
TEST(BalanceWindow, RosterWaitsForAWriterAndReadsTheWholeSet) {
    DemoArena arena;
    BalanceWindow& balance = arena.open();
    QProcess writer;
    writer.setWorkingDirectory(QString::fromStdString(std::filesystem::current_path().string()));
    writer.start("flock", {"-x", ".", "sh", "-c",
                           "cp monsters.tat ../kept.tat && : > monsters.tat && : > held && "
                           "sleep 1.5 && mv ../kept.tat monsters.tat && rm held"});
    ASSERT_TRUE(QTest::qWaitFor([] { return std::filesystem::exists("held"); }, 10000));
    const std::string roster = arena.copied(balance, 1);
    EXPECT_EQ(roster, commandLineOutput({"matrix", "--csv"}));
    writer.waitForFinished(10000);
    EXPECT_EQ(writer.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(writer.exitCode(), 0);
}

// Requests typed faster than the lane answers: only the newest is applied,
// an older one running sees itself stale, and a stale request's throw says
// nothing while the current one's is shown once. The lane goes on after both.
TEST(BalanceWindow, LaneAppliesOnlyTheNewestAnswerAndOutlivesAThrow) {
    QObject owner;
    karnwick::balance::WorkLane lane(&owner);
    QStringList failures;
    QStringList applied;
    int idle = 0;
    lane.onFailure([&](const QString& message) { failures << message; });
    lane.onIdle([&] { ++idle; });
    std::atomic<bool> release = false;
    bool firstSawStale = false;
    auto answer = [&](QString value, bool hold) {
        lane.run([&, value, hold](const auto& stale, quint64 generation) {
            while (hold && !release) std::this_thread::yield();
            if (hold) firstSawStale = stale();
            karnwick::balance::postIfCurrent(lane, generation, [&, value] { applied << value; });
        });
    };
    answer("1", true);
    answer("12", false);
    answer("120", false);
    release = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !lane.busy(); }, 10000));
    EXPECT_EQ(applied, QStringList{"120"});
    EXPECT_TRUE(firstSawStale);

    lane.run([](const auto&, quint64) { throw std::runtime_error("an older roster"); });
    lane.run([](const auto&, quint64) { throw std::runtime_error("no room for the roster"); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !lane.busy(); }, 10000));
    EXPECT_EQ(failures, QStringList{"no room for the roster"});
    answer("5", false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !lane.busy(); }, 10000));
    EXPECT_EQ(applied, (QStringList{"120", "5"}));
    EXPECT_EQ(idle, 3);
}

// Closing the window while the roster still fills drops the answers on their
// way, and the arena's next Balance window fills whole.
TEST(BalanceWindow, ClosedWhileTheRosterFills) {
    DemoArena arena;
    QPointer<BalanceWindow> first = &arena.open();
    first->tabs()->setCurrentIndex(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return first->rosterRowsDone() > 0; }, 60000));
    first->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }, 10000));
    QTest::qWait(300);
    BalanceWindow& again = arena.open();
    EXPECT_EQ(arena.copied(again, 1), commandLineOutput({"matrix", "--csv"}));
}

// A value is bold exactly while it differs from the files, read from the
// box's own font after each step: typed, typed back to the file's value, a
// change of pair, Reset, and another folder whose file holds the value.
// Beside a changed value stands the files' one, and the chart keeps the
// files' odds to show each bar's move.
TEST(BalanceWindow, BoldMarksExactlyTheValuesThatDifferFromTheFiles) {
    DemoArena arena;
    BalanceWindow& balance = arena.openOn(3, 5);
    // The text shown is the spin box's line edit's: its font is the one read.
    auto bold = [&](const char* field, int side) {
        QSpinBox* box = balance.whatIfBox(field, side);
        box->ensurePolished();
        const bool shown = box->findChild<QLineEdit*>()->font().bold();
        EXPECT_EQ(shown, box->font().bold()) << field;
        return shown;
    };
    const karnwick::MonsterStats three = karnwick::makeDemoMonsters()[3];
    balance.whatIfBox("hp", 0)->setValue(85);
    balance.whatIfBox("level", 0)->setValue(8);
    EXPECT_TRUE(bold("hp", 0) && bold("level", 0));
    EXPECT_FALSE(bold("hp", 1) || bold("strength", 0));
    auto fileValue = [&](const char* field, int side) {
        return balance.findChild<QLabel*>(QStringLiteral("file_%1_%2").arg(field).arg(side + 1))
            ->text();
    };
    EXPECT_EQ(fileValue("hp", 0), QStringLiteral("file: %1").arg(three.hp));
    EXPECT_EQ(fileValue("hp", 1), "");
    arena.settle(balance);
    const auto& before = balance.matchUpView()->picture().before;
    ASSERT_TRUE(before.has_value());
    const karnwick::Fighters files{three, karnwick::makeDemoMonsters()[5]};
    EXPECT_DOUBLE_EQ(before->oneWins, karnwick::battleOdds(files).oneWins);
    EXPECT_NE(balance.matchUpView()->picture().odds->oneWins, before->oneWins);
    // Under each hit-point histogram, the figures `odds` prints.
    const std::string odds =
        commandLineOutput({"odds", "3", "5", "--set", "3.hp=85", "--set", "3.level=8"}, false);
    for (int side = 0; side < 2; ++side) {
        const std::string summary =
            karnwick::charts::hitPointsSummary(balance.matchUpView()->picture().hpLeft[side]);
        const QStringList figures = QString::fromStdString(summary).split(
            QRegularExpression("[^-0-9.]+"), Qt::SkipEmptyParts);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("\\n%1\\s+%2\\s+%3\\s+%4\\s+%5\\n")
                                           .arg(side == 0 ? "Monster One" : "Monster Two")
                                           .arg(figures.value(0), figures.value(1),
                                                figures.value(2), figures.value(3)))
                        .match(QString::fromStdString(odds))
                        .hasMatch())
            << summary << "\n"
            << odds;
    }
    balance.whatIfBox("level", 0)->setValue(three.level);
    EXPECT_FALSE(bold("level", 0));
    EXPECT_EQ(fileValue("level", 0), "");
    ASSERT_EQ(balance.changes().size(), 1u);
    arena.choose(0, 7);
    EXPECT_FALSE(bold("hp", 0));
    EXPECT_TRUE(balance.resetButton()->isEnabled());
    arena.choose(0, 3);
    EXPECT_TRUE(bold("hp", 0));
    arena.choose(0, 7);
    QTest::mouseClick(balance.resetButton(), Qt::LeftButton);
    arena.choose(0, 3);
    EXPECT_FALSE(bold("hp", 0) || bold("level", 0));
    EXPECT_FALSE(balance.resetButton()->isEnabled());
    EXPECT_EQ(fileValue("hp", 0), "");
    arena.settle(balance);
    EXPECT_FALSE(balance.matchUpView()->picture().before.has_value());

    balance.whatIfBox("level", 1)->setValue(100);
    EXPECT_TRUE(bold("level", 1));
    const std::filesystem::path other = std::filesystem::current_path() / "other";
    std::filesystem::create_directory(other);
    karnwick::writeDemoSet(other, karnwick::Existing::Replace);
    std::vector<karnwick::MonsterStats> records = karnwick::makeDemoMonsters();
    records[5].level = 100;
    std::ofstream(other / karnwick::kStatsFileName, std::ios::binary)
        << karnwick::testing::recordFileBytes(records);
    arena.window.setFolderPicker([&](const auto&) { return other; });
    ASSERT_TRUE(arena.window.openGameFolder());
    arena.choose(1, 5);
    EXPECT_EQ(balance.whatIfBox("level", 1)->value(), 100);
    EXPECT_FALSE(bold("level", 1));
    EXPECT_FALSE(balance.resetButton()->isEnabled());
    arena.settle(balance);
}

// Ctrl+C copies the tab shown whatever has the focus: a what-if box just
// typed into, or the sweep's range.
TEST(BalanceWindow, CtrlCCopiesTheTabFromABoxWithFocus) {
    DemoArena arena;
    BalanceWindow& balance = arena.openOn(3, 5);
    QApplication::setActiveWindow(&balance);
    for (const int tab : {0, 2}) {
        balance.tabs()->setCurrentIndex(tab);
        QSpinBox* box = tab == 0 ? balance.whatIfBox("hp", 0) : balance.sweepTo();
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, QStringLiteral("33"));
        if (tab == 2) QTest::keyClick(box, Qt::Key_Return);
        arena.settle(balance);
        QApplication::clipboard()->clear();
        QTest::keyClick(box, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QApplication::clipboard()->text().toStdString(),
                  balance.copiedText().toStdString());
        EXPECT_TRUE(balance.copiedText().startsWith(QStringLiteral("What if: --set 3.hp=33\n") +
                                                    (tab == 0 ? "one\t" : "value\t")));
        // The saved picture names the change in its title block too.
        EXPECT_EQ(tab == 0 ? balance.matchUpView()->picture().whatIf
                           : balance.sweepView()->chart().whatIf,
                  "What if: 3.hp=33");
    }
    balance.tabs()->setCurrentIndex(1);
    arena.settle(balance);
    EXPECT_EQ(balance.rosterView()->picture().whatIf, "What if: 3.hp=33");
}

// A proposed change opens Match-up on a battle of the changed monster:
// against monster 0, or against the one the arena has chosen already.
TEST(BalanceWindow, StartChangesOpenOnTheChangedMonster) {
    for (const int before : {-1, 9}) {
        DemoArena arena;
        if (before >= 0) arena.choose(1, before);
        arena.window.balance().setStartChanges({karnwick::parseRecordOverride("5.hp=120", 56)});
        BalanceWindow& balance = arena.open();
        EXPECT_EQ(arena.window.monsterList(0)->currentIndex(), 5);
        EXPECT_EQ(arena.window.monsterList(1)->currentIndex(), std::max(before, 0));
        EXPECT_EQ(balance.whatIfBox("hp", 0)->value(), 120);
        arena.settle(balance);
        EXPECT_TRUE(balance.matchUpView()->picture().odds.has_value());
        EXPECT_EQ(
            balance.commandLine().section(" --dir", 0, 0),
            QStringLiteral("karnwick odds 5 %1 --csv --set 5.hp=120").arg(std::max(before, 0)));
    }
}

// A chance that is there but rounds to none, or short of sure but rounds to
// all, says so in the text of `odds` (the heat map test reads the window);
// CSV keeps the full number. Monster 0 beats monster 5 once in about 28
// million battles.
TEST(BalanceWindow, ChancesNearNoneOrAllShowHonestly) {
    const karnwick::testing::GameFolder folder;
    karnwick::writeDemoSet(folder.path(), karnwick::Existing::Replace);
    const std::string text = commandLineOutput({"odds", "0", "5"}, false);
    EXPECT_THAT(text, HasSubstr("(Grubnik)           <0.01%\n"));
    EXPECT_THAT(text, HasSubstr("(Tickwort)         >99.99%\n"));
    EXPECT_THAT(commandLineOutput({"odds", "0", "5", "--csv"}, false),
                HasSubstr(",3.527225895676693e-08,"));
}

// A monster whose every battle is a run-time error is not a loser: its
// pairs get their own colour on the map, and the ranking shows its errors
// apart from its chance of winning.
TEST(BalanceWindow, ErrorsAreNotLosses) {
    DemoArena arena;
    arena.window.balance().setStartChanges({karnwick::parseRecordOverride("12.level=100", 56)});
    BalanceWindow& balance = arena.open();
    balance.tabs()->setCurrentIndex(1);
    arena.settle(balance);
    karnwick::balance::RosterView* map = balance.rosterView();
    const QImage drawn = map->grab().toImage();
    EXPECT_EQ(drawn.pixelColor(map->cellCentre(12, 3)), karnwick::charts::undecidedColour());
    EXPECT_EQ(drawn.pixelColor(map->cellCentre(3, 12)), karnwick::charts::undecidedColour());
    EXPECT_EQ(drawn.pixelColor(map->cellCentre(3, 4)),
              karnwick::charts::chanceColour(map->picture().oneWins[3 * 57 + 4]));
    QTreeWidget* ranking = balance.rosterTab()->ranking();
    ASSERT_EQ(ranking->topLevelItemCount(), 57);
    EXPECT_EQ(ranking->headerItem()->text(3), "Error");
    EXPECT_EQ(ranking->headerItem()->text(4), "Turn cap");
    const QTreeWidgetItem* last = ranking->topLevelItem(56);
    EXPECT_EQ(last->text(1), "12 Cobblet");
    EXPECT_EQ(last->text(2), "0.00%");
    EXPECT_EQ(last->text(3), "100.00%");
    // The changed monster is marked on the map and its move is shown.
    EXPECT_EQ(map->picture().marked, std::vector<int16_t>{12});
    EXPECT_TRUE(QRegularExpression("^\\d+(st|nd|rd|th) -> 57th$").match(last->text(5)).hasMatch())
        << last->text(5).toStdString();
    EXPECT_NE(last->text(5), "57th -> 57th");
    EXPECT_EQ(ranking->topLevelItem(0)->text(5), "");
    // Every other monster meets it twice in its 114 battles.
    EXPECT_EQ(ranking->topLevelItem(0)->text(3), "1.75%");
    // Sorted by a heading, by the numbers shown; a row chooses Monster One.
    ranking->sortByColumn(3, Qt::DescendingOrder);
    EXPECT_EQ(ranking->topLevelItem(0)->text(1), "12 Cobblet");
    ranking->sortByColumn(0, Qt::DescendingOrder);
    EXPECT_EQ(ranking->topLevelItem(0)->text(0), "57");
    EXPECT_EQ(ranking->topLevelItem(47)->text(0), "10");
    QTreeWidgetItem* row = ranking->topLevelItem(0);
    QTest::mouseClick(ranking->viewport(), Qt::LeftButton, {},
                      ranking->visualItemRect(row).center());
    EXPECT_EQ(arena.window.monsterList(0)->currentIndex(), 12);

    // Its match-up says so instead of drawing one solid block of turn 1.
    balance.tabs()->setCurrentIndex(0);
    auto turnBars = [&] {
        arena.settle(balance);
        const QImage chart = balance.matchUpView()->grab().toImage();
        int count = 0;
        for (int y = 0; y < chart.height(); ++y)
            for (int x = 0; x < chart.width(); ++x)
                count += chart.pixelColor(x, y) == QColor(90, 90, 90);
        return count;
    };
    arena.choose(0, 12);
    arena.choose(1, 3);
    EXPECT_LT(turnBars(), 60) << "only text shades of grey";
    arena.choose(0, 4);
    EXPECT_GT(turnBars(), 600);
}

// Copy as Command (Ctrl+Shift+C), pasted into a shell, prints what the tab
// shows, from a folder whose name needs quoting. Its message goes with the
// next thing the user does, here a tab changed with Ctrl+PgDown from a box.
TEST(BalanceWindow, CopiedCommandRunsInAShell) {
    DemoArena arena("it's a \"demo\" $HOME");
    BalanceWindow& balance = arena.openOn(3, 5);
    QApplication::setActiveWindow(&balance);
    balance.whatIfBox("agility", 1)->setValue(30);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PATH",
                       QFileInfo(KARNWICK_BINARY).absolutePath() + ":" + environment.value("PATH"));
    const QStringList commands = {"karnwick odds 3 5 --csv --set 5.agility=30 --dir ",
                                  "karnwick matrix --csv --set 5.agility=30 --dir ",
                                  "karnwick sweep 3 5 5.hp 1..122 --csv --set 5.agility=30 --dir ",
                                  "karnwick check --set 5.agility=30 --dir "};
    for (int tab = 0; tab < 4; ++tab) {
        ASSERT_EQ(balance.tabs()->currentIndex(), tab);
        arena.settle(balance);
        QApplication::clipboard()->clear();
        QTest::keyClick(&balance, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        const QString line = QApplication::clipboard()->text();
        EXPECT_TRUE(line.startsWith(commands[tab])) << line.toStdString();
        EXPECT_TRUE(balance.statusLabel()->text().startsWith("Copied: karnwick "));
        QProcess shell;
        shell.setProcessEnvironment(environment);
        shell.setWorkingDirectory(QDir::tempPath());
        shell.start("sh", {"-c", line});
        ASSERT_TRUE(shell.waitForFinished(60000));
        EXPECT_EQ(shell.exitCode(), 0) << shell.readAllStandardError().toStdString();
        QString out = QString::fromUtf8(shell.readAllStandardOutput());
        if (tab < 3) out.replace(',', '\t');
        EXPECT_EQ(("What if: --set 5.agility=30\n" + out).toStdString(),
                  balance.copiedText().toStdString());
        QSpinBox* box = balance.sweepFrom();
        if (tab == 2) box->setFocus();
        QTest::keyClick(tab == 2 ? static_cast<QWidget*>(box) : &balance, Qt::Key_PageDown,
                        Qt::ControlModifier);
        EXPECT_TRUE(balance.statusLabel()->text().isEmpty());
        EXPECT_EQ(box->value(), 1);
    }
    EXPECT_EQ(balance.tabs()->currentIndex(), 0);
}

// The Check tab is a table of monster, field and problem coloured by
// severity, with the summary below it rather than as a row; a row chooses its
// monster in the arena. It has no chart, so Save Picture is unavailable.
TEST(BalanceWindow, CheckTabTablesTheFindings) {
    DemoArena arena;
    arena.window.balance().setStartChanges({karnwick::parseRecordOverride("5.level=100", 56)});
    BalanceWindow& balance = arena.open();
    int picked = 0;
    balance.setPicturePicker([&](const auto&) -> std::optional<std::filesystem::path> {
        ++picked;
        return std::nullopt;
    });
    QApplication::setActiveWindow(&balance);
    balance.tabs()->setCurrentIndex(3);
    arena.settle(balance);
    QTreeWidget* table = balance.checkTab()->table();
    ASSERT_EQ(table->topLevelItemCount(), 1);
    QTreeWidgetItem* row = table->topLevelItem(0);
    EXPECT_EQ(row->text(0), "5 Tickwort");
    EXPECT_EQ(row->text(1), "level = 100");
    EXPECT_TRUE(row->text(2).startsWith("Error: 100 - level is 0")) << row->text(2).toStdString();
    EXPECT_EQ(balance.checkTab()->summary()->text(), "1 problem found");
    const QColor error = row->background(2).color();
    EXPECT_GT(error.red(), error.blue() + 20);
    EXPECT_TRUE(table->wordWrap());
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualItemRect(row).center());
    EXPECT_EQ(arena.window.monsterList(0)->currentIndex(), 5);

    QPushButton* save = nullptr;
    for (QPushButton* button : balance.findChildren<QPushButton*>())
        if (button->text().startsWith("Save Picture")) save = button;
    ASSERT_NE(save, nullptr);
    EXPECT_FALSE(save->isEnabled());
    QTest::keyClick(&balance, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(picked, 0);
    balance.tabs()->setCurrentIndex(1);
    EXPECT_TRUE(save->isEnabled());
    QTest::keyClick(&balance, Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(picked, 1);
}

// Save Picture suggests a name for the tab's chart in the folder pictures
// went to last, and a name typed without ".png" gets it.
TEST(BalanceWindow, SavePictureSuggestsANameAndKeepsTheFolder) {
    DemoArena arena;
    BalanceWindow& balance = arena.openOn(3, 22);
    std::vector<std::filesystem::path> suggested;
    std::filesystem::path answer;
    balance.setPicturePicker([&](const std::filesystem::path& file) {
        suggested.push_back(file);
        return std::optional(answer);
    });
    const std::filesystem::path pictures = std::filesystem::current_path() / "pictures";
    std::filesystem::create_directory(pictures);
    balance.tabs()->setCurrentIndex(2);
    balance.sweepField()->setCurrentText("agility");
    arena.settle(balance);
    answer = pictures / "curve";
    QTest::keyClick(&balance, Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(suggested.size(), 1u);
    EXPECT_EQ(suggested[0].filename(), "sweep-22-agility.png");
    EXPECT_FALSE(QImage(QString::fromStdString((pictures / "curve.png").string())).isNull());
    EXPECT_FALSE(std::filesystem::exists(pictures / "curve"));
    balance.tabs()->setCurrentIndex(1);
    arena.settle(balance);
    answer = pictures / "map.PNG";
    QTest::keyClick(&balance, Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(suggested.size(), 2u);
    EXPECT_EQ(suggested[1], pictures / "roster.png");
    EXPECT_TRUE(std::filesystem::exists(pictures / "map.PNG"));
}

// With a target, the sweep's caption answers in the command line's words,
// a single value and a tie over a run of values alike. The sweep follows its
// fields once the typing pauses; another field starts from its own default
// range; the field and a range the user set survive a change of pair and F5.
// While a new curve is worked out the old one is greyed.
TEST(BalanceWindow, SweepAnswersTheTargetFollowsTypingAndKeepsItsRange) {
    DemoArena arena;
    BalanceWindow& balance = arena.openOn(3, 5);
    balance.tabs()->setCurrentIndex(2);
    auto* target = balance.sweepTab()->findChild<QDoubleSpinBox*>();
    auto* hasTarget = balance.sweepTab()->findChild<QCheckBox*>();
    hasTarget->setChecked(true);
    for (const double percent : {50.0, 100.0}) {
        target->setValue(percent);
        emit target->editingFinished();
        arena.settle(balance);
        const karnwick::charts::SweepChart chart = balance.sweepView()->chart();
        ASSERT_TRUE(chart.target.has_value());
        const std::string caption =
            karnwick::targetAnswer(*chart.target, chart.field, chart.values, chart.odds);
        EXPECT_EQ(caption + "\n",
                  commandLineOutput({"sweep", "3", "5", "5.hp",
                                     QStringLiteral("1..%1").arg(balance.sweepTo()->value()),
                                     "--target", QString::number(percent)},
                                    false));
        EXPECT_EQ(caption.find("(a tie)") != std::string::npos, percent == 100.0) << caption;
    }

    QSpinBox* to = balance.sweepTo();
    to->setFocus();
    to->selectAll();
    QTest::keyClicks(to, QStringLiteral("150"));
    EXPECT_FALSE(balance.isSettled());
    arena.settle(balance);
    EXPECT_EQ(balance.sweepView()->picture().values.size(), 150u);
    EXPECT_FALSE(balance.sweepView()->isWorking());

    balance.sweepField()->setCurrentText("agility");
    EXPECT_TRUE(balance.sweepView()->isWorking());
    const int agility = karnwick::makeDemoMonsters()[5].agility;
    EXPECT_EQ(balance.sweepFrom()->value(), 1);
    EXPECT_EQ(to->value(), std::max(100, 2 * agility));
    to->setValue(60);
    arena.choose(0, 7);
    EXPECT_TRUE(arena.window.reloadGameFiles());
    arena.choose(0, 7);
    arena.choose(1, 5);
    arena.settle(balance);
    EXPECT_EQ(balance.sweepField()->currentText(), "agility");
    EXPECT_EQ(balance.sweepSide()->currentIndex(), 1);
    const karnwick::charts::SweepCurve& curve = balance.sweepView()->picture();
    EXPECT_EQ(curve.one, 7);
    EXPECT_EQ(curve.field, "agility");
    ASSERT_EQ(curve.values.size(), 60u);
    EXPECT_EQ(curve.odds.size(), 60u);
}

// The sweep curve marks the swept record's value as it stands, and hovering
// the plot reads out the nearest value's odds; outside the plot, nothing.
// Hovering a histogram's bar in Match-up reads out its value and chance.
TEST(BalanceWindow, ChartsMarkTheCurrentValueAndReadOutTheirPoints) {
    DemoArena arena;
    BalanceWindow& balance = arena.openOn(3, 5);
    balance.tabs()->setCurrentIndex(2);
    balance.whatIfBox("hp", 1)->setValue(70);
    arena.settle(balance);
    karnwick::balance::SweepView* view = balance.sweepView();
    const karnwick::charts::SweepChart chart = view->chart();
    ASSERT_EQ(chart.current, 70);
    const QImage drawn = view->grab().toImage();
    auto marked = [&](int value) {
        int count = 0;
        for (double chance = 0.02; chance < 1.0; chance += 0.02) {
            const QPoint at =
                karnwick::charts::sweepChartPoint(chart, view->rect(), value, chance).toPoint();
            count += drawn.pixelColor(at) == karnwick::charts::currentValueColour();
        }
        return count;
    };
    EXPECT_GT(marked(70), 10);
    EXPECT_EQ(marked(69), 0);
    EXPECT_EQ(marked(30), 0);

    auto hover = [&](QPointF at) { return toolTipAt(view, at).toStdString(); };
    const QPointF left = karnwick::charts::sweepChartPoint(chart, view->rect(), 1, 0.5);
    EXPECT_EQ(hover(left - QPointF(4, 0)), "");
    const std::string read = hover(karnwick::charts::sweepChartPoint(chart, view->rect(), 40, 0.5));
    EXPECT_EQ(read.rfind("hp 40: Monster One wins ", 0), 0u) << read;

    balance.tabs()->setCurrentIndex(0);
    arena.settle(balance);
    karnwick::balance::MatchUpView* matchUp = balance.matchUpView();
    matchUp->grab();
    const karnwick::BattleOdds& odds = *matchUp->picture().odds;
    const QRegularExpression turn("^turn (\\d+): (.+)$");
    int turns = 0, hitPoints = 0;
    for (int y = 0; y < matchUp->height(); y += 4)
        for (int x = 0; x < matchUp->width(); x += 3) {
            const QString text = toolTipAt(matchUp, QPoint(x, y));
            QToolTip::hideText();
            const QRegularExpressionMatch match = turn.match(text);
            if (match.hasMatch()) {
                ++turns;
                const int t = match.captured(1).toInt();
                EXPECT_EQ(match.captured(2).toStdString(),
                          karnwick::percentText(odds.turns[static_cast<std::size_t>(t - 1)]));
            }
            hitPoints += text.startsWith("Tickwort's hit points ");
        }
    EXPECT_GT(turns, 0);
    EXPECT_GT(hitPoints, 0);
}

// The window shrinks to 800 x 600 with every label whole. Each what-if
// field's name says in a tooltip what the number does in a battle, in its own
// words; a field no battle reads has none to say.
TEST(BalanceWindow, LabelsFitIn800By600AndFieldNamesSayWhatTheyDo) {
    DemoArena arena;
    BalanceWindow& balance = arena.openOn(3, 5);
    std::set<QString> said;
    for (const QLabel* label : balance.matchUpTab()->findChildren<QLabel*>()) {
        const std::string name = label->text().toStdString();
        if (!karnwick::isBattleField(name)) continue;
        EXPECT_EQ(label->toolTip().toStdString(), karnwick::battleFieldRole(name));
        EXPECT_GT(label->toolTip().size(), 30) << name;
        said.insert(label->toolTip());
    }
    EXPECT_EQ(said.size(), karnwick::kBattleFields.size());
    EXPECT_EQ(karnwick::battleFieldRole("spare1"), "");
    for (int tab = 0; tab < 4; ++tab) {
        balance.tabs()->setCurrentIndex(tab);
        const QSize least = balance.minimumSizeHint();
        EXPECT_LE(least.width(), 800) << tab;
        EXPECT_LE(least.height(), 600) << tab;
    }
    balance.resize(800, 600);
    QApplication::processEvents();
    for (QLabel* label : balance.findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty()) continue;
        EXPECT_GE(label->width(), label->minimumSizeHint().width()) << label->text().toStdString();
    }
}

// The title names the game folder exactly while another arena is open, so
// two Balance windows side by side can be told apart; an arena that died
// leaves a lock file that counts for nothing and is cleared.
TEST(BalanceWindow, TitleNamesTheFolderWhileAnotherArenaIsOpen) {
    const karnwick::balance::ArenaPresence thisArena;
    DemoArena arena("demo");
    BalanceWindow& balance = arena.open();
    const QString alone = QStringLiteral("Karnwick Balance");
    EXPECT_EQ(balance.windowTitle(), alone);
    {
        QFile dead(karnwick::balance::openArenasFolder() + "/arena-dead.lock");
        ASSERT_TRUE(dead.open(QIODevice::WriteOnly));
        dead.write("2147483646\nkarnwick-arena\n\n");
    }
    auto other = std::make_unique<karnwick::balance::ArenaPresence>();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return balance.windowTitle() == alone + QStringLiteral(" \u2014 demo"); }, 5000))
        << balance.windowTitle().toStdString();
    EXPECT_FALSE(QFile::exists(karnwick::balance::openArenasFolder() + "/arena-dead.lock"));
    other.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return balance.windowTitle() == alone; }, 5000));
}

// Each side of Match-up and Sweep has a picker of "index name" that shows
// the arena's choice, filters as a name is typed, and chooses in the arena.
TEST(BalanceWindow, MonsterPickersChooseInTheArena) {
    DemoArena arena;
    BalanceWindow& balance = arena.openOn(3, 5);
    arena.settle(balance);
    karnwick::balance::MonsterPicker* one = balance.matchUpTab()->picker(0);
    ASSERT_EQ(one->count(), 57);
    EXPECT_EQ(one->currentText(), "3 Snarvel");
    EXPECT_EQ(balance.sweepTab()->picker(1)->currentText(), "5 Tickwort");
    QApplication::setActiveWindow(&balance);
    one->setFocus();
    one->lineEdit()->selectAll();
    QTest::keyClicks(one->lineEdit(), QStringLiteral("ickw"));
    QAbstractItemView* matches = one->completer()->popup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return matches->isVisible(); }, 5000));
    ASSERT_EQ(one->completer()->completionCount(), 1);
    QTest::keyClick(matches, Qt::Key_Down);
    QTest::keyClick(matches, Qt::Key_Return);
    EXPECT_EQ(arena.window.monsterList(0)->currentIndex(), 5);
    arena.settle(balance);
    EXPECT_EQ(balance.sweepTab()->picker(0)->currentText(), "5 Tickwort");
    // Enter picks what the typing names alone: an index, or part of one name;
    // part of several names picks nothing.
    karnwick::balance::MonsterPicker* two = balance.sweepTab()->picker(1);
    for (const auto& [typed, picked] : {std::pair{"9", 9}, {"ubbor", 22}, {"o", 22}, {"57", 22}}) {
        two->lineEdit()->selectAll();
        QTest::keyClicks(two->lineEdit(), QString::fromLatin1(typed));
        QTest::keyClick(two->lineEdit(), Qt::Key_Return);
        EXPECT_EQ(arena.window.monsterList(1)->currentIndex(), picked) << typed;
    }
    EXPECT_EQ(one->currentText(), "5 Tickwort");
    EXPECT_EQ(balance.matchUpTab()->picker(1)->currentText(), "22 Glubbora");
}

}  // namespace
