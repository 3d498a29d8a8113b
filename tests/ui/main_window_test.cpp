// The arena window against small game folders written by each test: start-up,
// monster choices, FIGHT, the error paths and the Exit button.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <string>
#include <vector>

#include "battle/battle.h"
#include "data/monster_stats.h"
#include "data/palette.h"
#include "data/sprite.h"
#include "ui/main_window.h"
#include "ui/picture_box.h"

namespace {

using karnwick::MonsterStats;
using karnwick::StatBox;

template <std::size_t N>
void setField(std::array<char, N>& field, const std::string& text) {
    field.fill(' ');
    std::copy_n(text.begin(), std::min(text.size(), N), field.begin());
}

MonsterStats makeMonster(const std::string& name, int16_t hp, int16_t agility) {
    MonsterStats m;
    setField(m.name, name);
    setField(m.special1, "Bite");
    setField(m.special2, "Club Smash");
    m.hp = hp;
    m.agility = agility;
    m.level = 5;
    m.strength = 20;
    m.sp1Threshold = 20;
    m.sp2Threshold = 35;
    m.offMin = 4;
    m.offMax = 9;
    m.sp1Min = 8;
    m.sp1Max = 14;
    m.sp2Min = 9;
    m.sp2Max = 18;
    m.defense = 3;
    m.mpower = 7;
    return m;
}

// A game folder made the current directory while it lives, as the arena reads
// its files by relative name.
class GameFolder {
  public:
    GameFolder() : m_previous(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
    ~GameFolder() { QDir::setCurrent(m_previous); }

    void write(const QString& name, const QByteArray& bytes) const {
        QFile file(m_dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    // Entry i has the levels (i % 64, 63 - i % 64, i / 4).
    void writePalette() const {
        QByteArray text;
        for (int i = 0; i < 256; ++i) {
            text += QByteArray::number(i % 64) + ',' + QByteArray::number(63 - i % 64) + ',' +
                    QByteArray::number(i / 4) + "\r\n";
        }
        write(QStringLiteral("mypal.pal"), text);
    }
    // Monster m's sprite is filled with palette index m + 1.
    void writeSprites(int count) const {
        QByteArray bytes;
        for (int m = 0; m < count; ++m) bytes += QByteArray(karnwick::kSpriteBytes, char(m + 1));
        write(QStringLiteral("monster.dat"), bytes);
    }
    void writeRecords(const std::vector<MonsterStats>& records) const {
        QByteArray bytes;
        for (const MonsterStats& r : records) {
            const auto encoded = karnwick::encodeMonsterStats(r);
            bytes.append(reinterpret_cast<const char*>(encoded.data()), encoded.size());
        }
        write(QStringLiteral("monsters.tat"), bytes);
    }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

  private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// A window loaded from a folder, its errors collected instead of shown.
struct Arena {
    MainWindow window;
    QStringList errors;
    bool opened = false;

    Arena() {
        window.setErrorReporter([this](const QString& message) { errors << message; });
        opened = openMainWindow(window);
    }
    ~Arena() { window.previewWindows().closeAll(); }

    void choose(int side, int position) {
        QComboBox* list = window.monsterList(side);
        list->setCurrentIndex(position);
        emit list->activated(position);
    }
    QString box(StatBox box, int side) const { return window.statBox(box, side)->text(); }
    QRgb pixel(int side, int x, int y) const { return window.spriteBox(side)->image().pixel(x, y); }
};

QRgb colourOf(const karnwick::Palette& palette, int index) {
    return karnwick::packedToArgb(
        karnwick::packedColor(palette, static_cast<unsigned char>(index)));
}

QString displayed(const std::string& log) {
    return QString::fromUtf8(log.data(), static_cast<qsizetype>(log.size()))
        .replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

class ArenaWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder.writePalette();
        folder.writeSprites(3);
        folder.writeRecords({makeMonster("Goblin", 30, 12), makeMonster("Ice Wraith", 40, 9),
                             makeMonster("Troll", 50, 9)});
    }
    GameFolder folder;
};

TEST(ArenaStartUp, FiftySevenMonstersFillBothListsWithNothingChosen) {
    GameFolder folder;
    folder.writePalette();
    folder.writeSprites(57);
    Arena arena;
    ASSERT_TRUE(arena.opened);
    EXPECT_TRUE(arena.window.isVisible());
    EXPECT_EQ(arena.window.lastMonsterIndex(), 56);
    for (int side = 0; side < 2; ++side) {
        QComboBox* list = arena.window.monsterList(side);
        ASSERT_EQ(list->count(), 57);
        for (int i = 0; i < 57; ++i) EXPECT_EQ(list->itemText(i), QString::number(i));
        EXPECT_EQ(list->currentIndex(), -1);
        EXPECT_EQ(list->currentText(), QStringLiteral("Pick Monster"));
        EXPECT_TRUE(arena.box(StatBox::Name, side).isEmpty());
        EXPECT_EQ(arena.window.fighters()[side], MonsterStats{});
    }
    EXPECT_TRUE(arena.errors.isEmpty());
}

TEST(ArenaStartUp, NoCompleteSpriteLeavesTheListsEmptyAndStillOpens) {
    for (const int length : {-1, 0, karnwick::kSpriteBytes - 1}) {
        GameFolder folder;
        folder.writePalette();
        if (length >= 0) folder.write(QStringLiteral("monster.dat"), QByteArray(length, '\1'));
        Arena arena;
        EXPECT_TRUE(arena.opened) << length;
        EXPECT_EQ(arena.window.monsterList(0)->count(), 0) << length;
        EXPECT_EQ(arena.window.monsterList(1)->currentText(), QStringLiteral("Pick Monster"));
    }
}

TEST(ArenaStartUp, ABrokenPaletteIsReportedAndTheWindowNeverShows) {
    GameFolder folder;
    folder.writeSprites(1);
    for (const char* palette : {"", "1,2,3\r\n"}) {
        if (*palette) folder.write(QStringLiteral("mypal.pal"), palette);
        Arena arena;
        EXPECT_FALSE(arena.opened);
        EXPECT_FALSE(arena.window.isVisible());
        ASSERT_EQ(arena.errors.size(), 1);
        EXPECT_TRUE(arena.errors[0].contains(QStringLiteral("mypal.pal")))
            << arena.errors[0].toStdString();
        EXPECT_EQ(arena.window.monsterList(0)->count(), 0);
    }
}

TEST(ArenaLayout, ControlsStandWhereTheWindowPlacesThem) {
    MainWindow window;
    EXPECT_EQ(window.size(), QSize(684, 543));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Karnwick Battle Arena"));
    EXPECT_EQ(window.spriteBox(1)->geometry(), QRect(544, 32, 100, 100));
    EXPECT_EQ(window.statBox(StatBox::SP2Max, 1)->geometry(), QRect(544, 512, 65, 19));
    EXPECT_EQ(window.statBox(StatBox::Name, 0)->maxLength(), 10);
    EXPECT_EQ(window.statBox(StatBox::Special2, 1)->maxLength(), 12);
    EXPECT_EQ(window.arenaLog()->geometry(), QRect(16, 24, 305, 273));
    EXPECT_EQ(window.arenaLog()->parentWidget()->geometry(), QRect(160, 48, 353, 313));
    EXPECT_EQ(window.fightButton()->geometry(), QRect(296, 376, 81, 49));
    EXPECT_DOUBLE_EQ(window.currentHpBox(0)->font().pointSizeF(), 24.0);
    EXPECT_TRUE(window.fightButton()->font().bold());
    EXPECT_FALSE(window.exitButton()->font().bold());

    auto* mpower = window.findChild<QLabel*>(QStringLiteral("Label251"));
    ASSERT_NE(mpower, nullptr);
    EXPECT_EQ(mpower->geometry(), QRect(616, 368, 49, 17));
    auto* strength = window.findChild<QLabel*>(QStringLiteral("Label90"));
    ASSERT_NE(strength, nullptr);
    EXPECT_EQ(strength->text(), QStringLiteral("Stength"));
    EXPECT_EQ(strength->pos(), QPoint(16, 272));
    EXPECT_EQ(window.findChild<QWidget*>(QStringLiteral("Line3"))->geometry(),
              QRect(520, 24, 1, 505));
}

TEST(ArenaLayout, TabStopsFollowTheWindowsOrder) {
    MainWindow window;
    const QStringList expected = {
        "txtName0",        "txtHP0",       "txtAgi0",     "txtStr0",       "txtLevel0",
        "txtDef0",         "txtOffMin0",   "txtMpower0",  "txtSpecial10",  "txtSP1min0",
        "txtSP1max0",      "txtSpecial20", "txtSp2min0",  "txtSP2max0",    "txtOffMax0",
        "cboMonsterList0", "Command1",     "cmdPreview1", "cmdPreview2",   "cmdPreview3",
        "txtMpower1",      "txtOffMax1",   "txtOffMin1",  "txtDef1",       "txtSP2max1",
        "txtSp2min1",      "txtSP1max1",   "txtSP1min1",  "txtSpecial21",  "txtSpecial11",
        "txtLevel1",       "txtHP1",       "txtName1",    "txtStr1",       "txtAgi1",
        "cboMonsterList1", "txtArena",     "cmdFIGHT",    "txtCurrentHP0", "txtCurrentHP1",
    };
    QStringList order;
    QWidget* w = window.findChild<QWidget*>(QStringLiteral("txtName0"));
    do {
        if (expected.contains(w->objectName())) order << w->objectName();
        w = w->nextInFocusChain();
    } while (w->objectName() != QStringLiteral("txtName0"));
    EXPECT_EQ(order, expected);
}

TEST_F(ArenaWindowTest, AChoiceFillsTheSidesSpriteBoxesAndRecord) {
    MonsterStats wraith = makeMonster("Ice Wraith", 40, 9);
    wraith.defense = -7;
    folder.writeRecords({makeMonster("Goblin", 30, 12), wraith});
    Arena arena;
    arena.window.currentHpBox(1)->setText(QStringLiteral("17"));
    arena.choose(1, 1);

    EXPECT_EQ(arena.window.fighters()[1], wraith);
    const auto texts = karnwick::statTexts(wraith);
    for (const auto& stat : texts) {
        EXPECT_EQ(arena.box(stat.box, 1), QString::fromStdString(stat.text));
    }
    EXPECT_EQ(arena.box(StatBox::Name, 1), QStringLiteral("Ice Wraith"));
    EXPECT_EQ(arena.box(StatBox::Special1, 1), QStringLiteral("Bite        "));
    EXPECT_EQ(arena.box(StatBox::Defense, 1), QStringLiteral("-7"));
    EXPECT_EQ(arena.window.currentHpBox(1)->text(), QStringLiteral("17"));

    const karnwick::Palette& palette = arena.window.gamePalette();
    const QRgb background = arena.window.spriteBox(1)->palette().color(QPalette::Button).rgb();
    EXPECT_EQ(arena.pixel(1, 0, 0), colourOf(palette, 2));
    EXPECT_EQ(arena.pixel(1, 0, 95), colourOf(palette, 2));
    EXPECT_EQ(arena.pixel(1, 90, 0), background);

    // The other side is untouched.
    EXPECT_TRUE(arena.box(StatBox::Name, 0).isEmpty());
    EXPECT_EQ(arena.window.fighters()[0], MonsterStats{});
    EXPECT_EQ(arena.pixel(0, 0, 0), background);
    EXPECT_TRUE(arena.errors.isEmpty());
}

TEST_F(ArenaWindowTest, KeysChooseButTypingDoesNot) {
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
    EXPECT_TRUE(arena.box(StatBox::Name, 0).isEmpty());
    EXPECT_EQ(arena.window.fighters()[0], MonsterStats{});
    EXPECT_EQ(list->count(), 3);

    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(arena.box(StatBox::Name, 0), QStringLiteral("Goblin    "));
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(arena.box(StatBox::Name, 0), QStringLiteral("Ice Wraith"));
    EXPECT_TRUE(arena.box(StatBox::Name, 1).isEmpty());
}

TEST_F(ArenaWindowTest, FightShowsTheEnginesBattleAndClicksGoOnFromTheSameRandomSource) {
    Arena arena;
    arena.choose(0, 0);
    arena.choose(1, 1);

    karnwick::Pcg32 random;
    for (int click = 0; click < 2; ++click) {
        karnwick::ArenaTexts expected;
        expected.hp = {"30", "40"};
        expected.agility = {"12", "9"};
        karnwick::runBattle(expected, arena.window.fighters(), random);

        QTest::mouseClick(arena.window.fightButton(), Qt::LeftButton);
        EXPECT_EQ(arena.window.arenaLog()->toPlainText(), displayed(expected.arena));
        for (int side = 0; side < 2; ++side) {
            EXPECT_EQ(arena.window.currentHpBox(side)->text().toStdString(),
                      expected.currentHp[side].value());
        }
    }
    EXPECT_TRUE(arena.errors.isEmpty());
}

TEST_F(ArenaWindowTest, ABattleErrorKeepsTheLogSoFarAndTheNextClickStartsAfresh) {
    MonsterStats wild = makeMonster("Wild", 30, 50);
    wild.sp1Threshold = 0;
    wild.sp2Threshold = 0;
    wild.offMin = -30000;
    wild.offMax = 30000;
    folder.writeRecords({wild, makeMonster("Ice Wraith", 40, 9)});
    Arena arena;
    arena.choose(0, 0);
    arena.choose(1, 1);

    const QString expected =
        QStringLiteral("Monster 1 Goes first \nWild      attacks Ice Wraith\n");
    for (int click = 1; click <= 2; ++click) {
        QTest::mouseClick(arena.window.fightButton(), Qt::LeftButton);
        EXPECT_EQ(arena.window.arenaLog()->toPlainText(), expected);
        EXPECT_EQ(arena.window.currentHpBox(0)->text(), QStringLiteral("30"));
        EXPECT_EQ(arena.window.currentHpBox(1)->text(), QStringLiteral("40"));
        ASSERT_EQ(arena.errors.size(), click);
        EXPECT_TRUE(arena.errors.last().startsWith(QStringLiteral("Overflow")))
            << arena.errors.last().toStdString();
    }
    EXPECT_TRUE(arena.window.isVisible());
}

TEST_F(ArenaWindowTest, AFailedRecordReadKeepsTheSpriteAndTheOldBoxes) {
    Arena arena;
    arena.choose(0, 0);
    QFile::remove(folder.filePath(QStringLiteral("monsters.tat")));
    QDir(folder.filePath(QString())).mkdir(QStringLiteral("monsters.tat"));

    arena.choose(0, 2);
    ASSERT_EQ(arena.errors.size(), 1);
    EXPECT_TRUE(arena.errors[0].contains(QStringLiteral("monsters.tat")))
        << arena.errors[0].toStdString();
    EXPECT_EQ(arena.pixel(0, 0, 0), colourOf(arena.window.gamePalette(), 3));
    EXPECT_EQ(arena.box(StatBox::Name, 0), QStringLiteral("Goblin    "));
}

TEST_F(ArenaWindowTest, EnterAndEscapePressNoButton) {
    Arena arena;
    QApplication::setActiveWindow(&arena.window);
    arena.window.fightButton()->setFocus();
    QTest::keyClick(arena.window.fightButton(), Qt::Key_Return);
    QTest::keyClick(arena.window.fightButton(), Qt::Key_Escape);
    EXPECT_TRUE(arena.window.arenaLog()->toPlainText().isEmpty());
    EXPECT_TRUE(arena.window.isVisible());
}

TEST_F(ArenaWindowTest, TheLogAndTheBoxesCanBeCopied) {
    Arena arena;
    arena.choose(0, 1);
    QTest::mouseClick(arena.window.fightButton(), Qt::LeftButton);
    QPlainTextEdit* log = arena.window.arenaLog();
    QTest::keyClick(log, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(log, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), log->toPlainText());

    QLineEdit* name = arena.window.statBox(StatBox::Name, 0);
    QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(name, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("Ice Wraith"));
    QTest::keyClicks(name, QStringLiteral("xyz"));
    EXPECT_EQ(name->text(), QStringLiteral("Ice Wraith"));
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
