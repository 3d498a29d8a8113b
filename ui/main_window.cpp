#include "ui/main_window.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolTip>
#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <utility>
#include <vector>

#include "battle/battle_cause.h"
#include "battle/odds.h"
#include "battle/outcome_columns.h"
#include "data/errors.h"
#include "data/folder_lock.h"
#include "data/sprite.h"
#include "ui/balance_launcher.h"
#include "ui/game_folder.h"
#include "ui/picture_box.h"
#include "ui/player_messages.h"

namespace {

constexpr auto kCaption = "Karnwick Battle Arena";

// QLineEdit::setText leaves the cursor at the end, so a box narrower than its
// text would show the tail ("lub Smash"); the game's boxes show the start.
void showFromStart(QLineEdit* box, const QString& text) {
    box->setText(text);
    box->setCursorPosition(0);
}

// The window's layout is drawn up in twips; fifteen make one logical pixel, and
// Qt scales logical pixels on high-density screens.
constexpr int twips(int value) {
    return value / 15;
}

QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// The game's dialog face where the system has it, else the closest sans-serif
// faces of a Linux desktop. Only the first of them the system has is asked
// for: for a face it lacks, Qt has the system rank substitutes before it tries
// the next face of the list, a search that costs the arena's start-up about a
// millisecond and ends on the same face.
const QStringList& arenaFamilies() {
    static const QStringList families = [] {
        const QStringList faces{QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                                QStringLiteral("DejaVu Sans")};
        for (const QString& face : faces)
            if (QFontDatabase::hasFamily(face)) return QStringList{face};
        return faces;
    }();
    return families;
}

// The arena's font at a size and weight.
QFont arenaFont(double points, bool bold) {
    QFont font;
    font.setFamilies(arenaFamilies());
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

const QColor kStatText(192, 0, 0);
const QColor kLabelText(0, 0, 192);

// One row of a monster panel: its box, its label and their places.
struct StatRow {
    std::string_view field;  // the record field the box shows
    const char* boxName;
    int top;
    int maxLength;  // 0: the box takes any length
    std::array<int, 2> tabIndex;
    const char* labelName;
    const char* caption;
    std::array<int, 2> labelLeft;
};

// Top to bottom as the panels show them; kPanelFields gives the order in
// which a choice writes them.
constexpr StatRow kStatRows[] = {
    {"name", "txtName", 2640, 10, {1, 50}, "Label1", "Name", {240, 9360}},
    {"level", "txtLevel", 3000, 0, {5, 48}, "Label7", "Level", {240, 9360}},
    {"hp", "txtHP", 3360, 0, {2, 49}, "Label2", "HP", {240, 9360}},
    {"agility", "txtAgi", 3720, 0, {3, 52}, "Label8", "Agility", {240, 9360}},
    {"strength", "txtStr", 4080, 0, {4, 51}, "Label9", "Stength", {240, 9360}},
    {"defense", "txtDef", 4440, 0, {6, 41}, "Label22", "Defense", {120, 9240}},
    {"offMin", "txtOffMin", 4800, 0, {7, 40}, "Label23", "Off Min", {240, 9360}},
    {"offMax", "txtOffMax", 5160, 0, {15, 39}, "Label24", "Off Max", {120, 9240}},
    {"mpower", "txtMpower", 5520, 0, {8, 38}, "Label25", "Mpower", {120, 9240}},
    {"special1", "txtSpecial1", 5880, 12, {9, 47}, "Label12", "Special1", {120, 9240}},
    {"sp1Min", "txtSP1min", 6240, 0, {10, 45}, "Label18", "SP1 Min", {120, 9240}},
    {"sp1Max", "txtSP1max", 6600, 0, {11, 44}, "Label19", "SP1 Max", {120, 9240}},
    {"special2", "txtSpecial2", 6960, 12, {12, 46}, "Label14", "Special2", {120, 9240}},
    {"sp2Min", "txtSp2min", 7320, 0, {13, 43}, "Label20", "Sp2 Min", {120, 9240}},
    {"sp2Max", "txtSP2max", 7680, 0, {14, 42}, "Label21", "SP2 Max", {120, 9240}},
};
constexpr std::array<int, 2> kStatBoxLeft = {960, 8160};

// Where a record field's box sits among the window's rows of boxes.
constexpr std::size_t panelPosition(std::string_view field) {
    for (std::size_t i = 0; i < karnwick::kPanelFields.size(); ++i)
        if (karnwick::kPanelFields[i] == field) return i;
    throw std::logic_error("not a field of the panel");
}

// Every field the panel shows has exactly one row.
static_assert([] {
    std::array<int, karnwick::kPanelFields.size()> rows{};
    for (const StatRow& row : kStatRows) ++rows[panelPosition(row.field)];
    for (const int count : rows)
        if (count != 1) return false;
    return true;
}());

// The one label that keeps a fixed size instead of fitting its caption.
constexpr auto kFixedSizeLabel = "Label25";

QString sideName(const char* name, int side) {
    return QString::fromLatin1(name) + QString::number(side);
}

QString fromGameText(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, int left, int top) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setFocusPolicy(Qt::NoFocus);
    label->setTextFormat(Qt::PlainText);
    label->move(twips(left), twips(top));
    return label;
}

// A caption wider than its button, as the substitute faces make "Preview
// 25-49", is narrowed to fit; its size and weight stay as given.
void fitCaption(QPushButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const int room =
        button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width() - 2;
    QFont font = button->font();
    const int needed = QFontMetrics(font).horizontalAdvance(QString(button->text()).remove('&'));
    if (needed <= room || needed <= 0) return;
    font.setStretch(std::max(50, 100 * room / needed));
    button->setFont(font);
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, QRect place,
                        const QFont& font) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(place);
    button->setFont(font);
    button->setAutoDefault(false);
    button->setDefault(false);
    fitCaption(button);
    return button;
}

// The lines framing the centre column: one pixel in the window-text colour.
void makeLine(QWidget* parent, const char* name, QRect place) {
    auto* line = new QWidget(parent);
    line->setObjectName(QString::fromLatin1(name));
    line->setGeometry(place);
    line->setBackgroundRole(QPalette::WindowText);
    line->setAutoFillBackground(true);
}

// The records' share in a battle's error as the player reads it:
// Monster Two "Cobblet" has level 100.
QStringList recordCauses(const karnwick::GameError& error, const karnwick::Fighters& fighters,
                         const karnwick::BattleState& state) {
    QStringList lines;
    for (const karnwick::RecordCause& cause : karnwick::battleErrorCauses(error, fighters, state)) {
        lines << QStringLiteral("%1 %2 has %3 %4")
                     .arg(QLatin1String(cause.side == 0 ? "Monster One" : "Monster Two"),
                          fromGameText(karnwick::quotedText(cause.name)), fromGameText(cause.field),
                          fromGameText(cause.value));
    }
    return lines;
}

// What the window reads from a game folder when it loads: the palette with its
// colours, and the last monster index monster.dat holds.
struct GameFolderFacts {
    karnwick::Palette palette;
    int16_t lastMonsterIndex = 0;
};

// Read under the folder's shared lock (the caller's): a set being replaced
// meanwhile is read all old or all new.
GameFolderFacts readGameFolder(const std::filesystem::path& folder) {
    GameFolderFacts facts;
    karnwick::loadPalette(facts.palette, folder / karnwick::kPaletteFileName);
    karnwick::makeColorFromRGB(facts.palette);
    facts.lastMonsterIndex = karnwick::lastMonsterIndex(folder / karnwick::kSpriteFileName);
    return facts;
}

// How long the window waits for a folder another command is writing (an
// edit, an export, `set | less` holding it during its report) before it asks
// the player, so the window never hangs.
constexpr auto kFolderPatience = std::chrono::seconds(3);

karnwick::GameError busyFolderError(const std::filesystem::path& folder) {
    return karnwick::GameError(karnwick::ErrorKind::FileAccess, folder.string(),
                               "(another karnwick command is writing this folder)");
}

constexpr auto kShortcutsHint =
    "Ctrl+B opens the balance window \u00b7 Ctrl+O opens another game folder \u00b7 F5 reads the "
    "files again";

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("frm1"));
    setWindowTitle(QString::fromLatin1(kCaption));
    setFont(arenaFont(8, false));
    resize(twips(10260), twips(8145));

    createPanels();
    createCentre();
    orderTabStops();
    createShortcuts();
    m_balance = new karnwick::balance::BalanceLauncher(*this);
}

MainWindow::~MainWindow() = default;

void MainWindow::createPanels() {
    m_oneHeading =
        makeLabel(this, QStringLiteral("Label40"), QStringLiteral("Monster One"), 240, 120);
    m_twoHeading =
        makeLabel(this, QStringLiteral("Label3"), QStringLiteral("Monster Two"), 8160, 120);
    for (QLabel* head : {m_oneHeading, m_twoHeading}) {
        head->setFont(arenaFont(9.75, true));
        head->adjustSize();
    }
    for (int side = 0; side < 2; ++side) {
        createMonsterChoice(side);
        for (std::size_t row = 0; row < std::size(kStatRows); ++row) createStatRow(row, side);
    }
}

void MainWindow::createMonsterChoice(int side) {
    constexpr std::array<int, 2> picLeft = {120, 8160};
    constexpr std::array<int, 2> listLeft = {240, 8280};
    auto* pic = new PictureBox(QSize(96, 96), QSizeF(100, 100), this);
    pic->setObjectName(sideName("pic1", side));
    pic->setGeometry(twipsRect(picLeft[side], 480, 1500, 1500));
    m_spriteBoxes[side] = pic;

    auto* list = new QComboBox(this);
    list->setObjectName(sideName("cboMonsterList", side));
    list->setEditable(true);
    // The text field is free text for the user: it neither completes,
    // adds items nor chooses a monster.
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setCompleter(nullptr);
    list->setGeometry(twipsRect(listLeft[side], 2160, 1335, 315));
    QPalette listColours = list->palette();
    listColours.setColor(QPalette::Base, palette().color(QPalette::Button));
    list->setPalette(listColours);
    list->setEditText(QStringLiteral("Pick Monster"));
    // Qt's editable combo box picks the item matching the typed text on
    // Enter and when the focus leaves the field; typing is no choice here.
    disconnect(list->lineEdit(), &QLineEdit::returnPressed, list, nullptr);
    disconnect(list->lineEdit(), &QLineEdit::editingFinished, list, nullptr);
    connect(list, &QComboBox::activated, this,
            [this, side](int position) { chooseMonster(side, position); });
    m_monsterLists[side] = list;
}

void MainWindow::createStatRow(std::size_t rowIndex, int side) {
    const StatRow& row = kStatRows[rowIndex];
    const std::size_t boxIndex = panelPosition(row.field);
    auto* box = new QLineEdit(this);
    box->setObjectName(sideName(row.boxName, side));
    box->setGeometry(twipsRect(kStatBoxLeft[side], row.top, 975, 285));
    box->setReadOnly(true);
    if (row.maxLength > 0) box->setMaxLength(row.maxLength);
    QPalette boxColours = box->palette();
    boxColours.setColor(QPalette::Base, palette().color(QPalette::Button));
    boxColours.setColor(QPalette::Text, kStatText);
    box->setPalette(boxColours);
    m_statBoxes[boxIndex][side] = box;

    QLabel* label = makeLabel(this, sideName(row.labelName, side), QString::fromLatin1(row.caption),
                              row.labelLeft[side], row.top);
    QPalette labelColours = label->palette();
    labelColours.setColor(QPalette::WindowText, kLabelText);
    label->setPalette(labelColours);
    if (qstrcmp(row.labelName, kFixedSizeLabel) == 0) {
        label->resize(twips(735), twips(255));
    } else {
        label->adjustSize();
    }
    m_statLabels[boxIndex][side] = label;
}

void MainWindow::createCentre() {
    createArenaLog();
    constexpr std::array<int, 2> currentHpLeft = {2520, 6120};
    for (int side = 0; side < 2; ++side) {
        auto* box = new QLineEdit(this);
        box->setObjectName(sideName("txtCurrentHP", side));
        box->setGeometry(twipsRect(currentHpLeft[side], 5640, 1455, 645));
        box->setFont(arenaFont(24, false));
        m_currentHpBoxes[side] = box;
    }
    createButtons();

    // The rectangle around the centre column, from (2280, 360) to (7800, 7920)
    // twips, each line covering both of its end points.
    const int left = twips(2280), top = twips(360), right = twips(7800), bottom = twips(7920);
    makeLine(this, "Line4", QRect(left, top, right - left + 1, 1));
    makeLine(this, "Line1", QRect(left, bottom, right - left + 1, 1));
    makeLine(this, "Line2", QRect(left, top, 1, bottom - top + 1));
    makeLine(this, "Line3", QRect(right, top, 1, bottom - top + 1));
}

void MainWindow::createArenaLog() {
    m_logFrame = new QGroupBox(QStringLiteral("Arena"), this);
    m_logFrame->setObjectName(QStringLiteral("arena"));
    m_logFrame->setGeometry(twipsRect(2400, 720, 5295, 4695));
    m_logFrame->setFont(arenaFont(12, true));
    // The frame's line runs through the middle of its caption.
    const int captionHeight = QFontMetrics(m_logFrame->font()).height();
    m_logFrame->setStyleSheet(
        QStringLiteral("QGroupBox#arena { margin-top: %1px;"
                       " border: 1px solid palette(mid); border-radius: 2px; }"
                       "QGroupBox#arena::title { subcontrol-origin: margin;"
                       " subcontrol-position: top left; left: 8px;"
                       " padding: 0 2px; }")
            .arg(captionHeight / 2));

    m_arenaLog = new QPlainTextEdit(m_logFrame);
    m_arenaLog->setObjectName(QStringLiteral("txtArena"));
    m_arenaLog->setGeometry(twipsRect(240, 360, 4575, 4095));
    m_arenaLog->setFont(font());
    m_arenaLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_arenaLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_arenaLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_arenaLog->setReadOnly(true);
    m_arenaLog->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_arenaLog->setFocusPolicy(Qt::StrongFocus);
}

void MainWindow::createButtons() {
    m_fightButton = makeButton(this, "cmdFIGHT", QStringLiteral("FIGHT"),
                               twipsRect(4440, 5640, 1215, 735), arenaFont(13.5, true));
    m_exitButton = makeButton(this, "Command1", QStringLiteral("&Exit"),
                              twipsRect(4440, 6600, 1215, 495), arenaFont(13.5, false));
    m_previewButtons[0] = makeButton(this, "cmdPreview1", QStringLiteral("Preview 0-24"),
                                     twipsRect(2640, 7320, 1215, 495), arenaFont(9.75, true));
    m_previewButtons[1] = makeButton(this, "cmdPreview2", QStringLiteral("Preview 25-49"),
                                     twipsRect(6240, 7320, 1215, 495), arenaFont(9.75, true));
    m_previewButtons[2] = makeButton(this, "cmdPreview3", QStringLiteral("Bosses 50-56"),
                                     twipsRect(4440, 7320, 1215, 495), arenaFont(9.75, true));

    connect(m_fightButton, &QPushButton::clicked, this, &MainWindow::fight);
    m_fightButton->installEventFilter(this);
    connect(m_exitButton, &QPushButton::clicked, this, &MainWindow::exitProgram);
    for (int16_t page = 1; page <= 3; ++page) {
        connect(m_previewButtons[page - 1], &QPushButton::clicked, this,
                [this, page] { showPreview(page); });
    }
}

// Tab stops follow the window's tab indexes; labels, the frame and the sprite
// boxes are no stops.
void MainWindow::orderTabStops() {
    std::vector<std::pair<int, QWidget*>> stops;
    for (const StatRow& row : kStatRows) {
        const std::size_t rowIndex = panelPosition(row.field);
        for (int side = 0; side < 2; ++side) {
            stops.emplace_back(row.tabIndex[side], m_statBoxes[rowIndex][side]);
        }
    }
    stops.emplace_back(16, m_monsterLists[0]);
    stops.emplace_back(53, m_monsterLists[1]);
    stops.emplace_back(24, m_exitButton);
    stops.emplace_back(33, m_previewButtons[0]);
    stops.emplace_back(34, m_previewButtons[1]);
    stops.emplace_back(35, m_previewButtons[2]);
    stops.emplace_back(71, m_arenaLog);
    stops.emplace_back(72, m_fightButton);
    stops.emplace_back(73, m_currentHpBoxes[0]);
    stops.emplace_back(74, m_currentHpBoxes[1]);
    std::sort(stops.begin(), stops.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < stops.size(); ++i) {
        setTabOrder(stops[i - 1].second, stops[i].second);
    }
    stops.front().second->setFocus();
}

QLineEdit* MainWindow::statBox(std::string_view field, int side) const {
    return m_statBoxes[panelPosition(field)][side];
}

std::unique_ptr<karnwick::FolderLock> MainWindow::lockForReading(
    const std::filesystem::path& folder) const {
    for (;;) {
        if (auto lock =
                karnwick::FolderLock::tryFor(folder, karnwick::FolderAccess::Read, kFolderPatience))
            return lock;
        if (!askToRetry(QString::fromUtf8(busyFolderError(folder).what()))) return nullptr;
    }
}

bool MainWindow::askToRetry(const QString& message) const {
    if (m_askRetry) return m_askRetry(message);
    if (m_reportError || !canAskThePlayer()) {
        reportError(message);
        return false;
    }
    QWidget* owner = isVisible() ? const_cast<MainWindow*>(this) : nullptr;
    return QMessageBox::warning(owner, QString::fromLatin1(kCaption), message,
                                QMessageBox::Retry | QMessageBox::Cancel,
                                QMessageBox::Retry) == QMessageBox::Retry;
}

void MainWindow::setRetryAsker(RetryAsker asker) {
    m_askRetry = std::move(asker);
}

void MainWindow::loadMainWindow(const std::filesystem::path& folder) {
    const auto lock = lockForReading(folder);
    if (!lock) throw busyFolderError(folder);
    const GameFolderFacts facts = readGameFolder(folder);
    m_palette = facts.palette;
    m_lastMonsterIndex = facts.lastMonsterIndex;
    m_folder = folder;
    fillMonsterLists();
}

void MainWindow::fillMonsterLists() {
    QStringList numbers;
    numbers.reserve(m_lastMonsterIndex + 1);
    for (int index = 0; index <= m_lastMonsterIndex; ++index) numbers << QString::number(index);
    for (QComboBox* list : m_monsterLists) list->addItems(numbers);
    // Adding the first item selects it; the lists start with no monster chosen.
    for (QComboBox* list : m_monsterLists) {
        list->setCurrentIndex(-1);
        list->setEditText(QStringLiteral("Pick Monster"));
    }
}

void MainWindow::chooseMonster(int side, int position) {
    if (position < 0 || position > m_lastMonsterIndex) return;
    const auto index = static_cast<int16_t>(position);
    // Each step stands once done: a sprite drawn before a failing record stays.
    try {
        const auto lock = lockForReading(m_folder);
        if (!lock) return;
        {
            const karnwick::GameFile sprites(gameFile(karnwick::kSpriteFileName));
            m_spriteBoxes[side]->clear();
            karnwick::drawSprite(sprites, index, *m_spriteBoxes[side], 0.0f, 0.0f, m_palette);
        }
        karnwick::loadMonsterStats(index, m_fighters[side], gameFile(karnwick::kStatsFileName));
        for (const std::string_view field : karnwick::kPanelFields) {
            const std::string text =
                karnwick::panelText(m_fighters[side], *karnwick::findRecordField(field));
            showFromStart(statBox(field, side), fromGameText(text));
        }
    } catch (const karnwick::GameError& error) {
        reportGameError(error);
    }
}

karnwick::StartingTexts MainWindow::startingTexts() const {
    karnwick::StartingTexts start;
    for (int side = 0; side < 2; ++side) {
        start.hp[side] = statBox("hp", side)->text().toStdString();
        start.agility[side] = statBox("agility", side)->text().toStdString();
    }
    return start;
}

void MainWindow::fight() {
    karnwick::BattleLog log;
    karnwick::BattleState state;
    try {
        karnwick::runBattle(startingTexts(), m_fighters, m_random, log, state);
    } catch (const karnwick::GameError& error) {
        showBattleLog(log);
        reportGameError(error, recordCauses(error, m_fighters, state));
        return;
    }
    showBattleLog(log);
}

QString MainWindow::fightOdds() const {
    const karnwick::StartingTexts start = startingTexts();
    const karnwick::BattleOdds odds = karnwick::battleOdds(m_fighters, start.hp, start.agility);
    const QString separator = QString::fromUtf8(" \u00b7 ");
    auto percent = [](double chance) { return QString::number(100.0 * chance, 'f', 2) + "%"; };
    auto phrase = [](const karnwick::OutcomeColumn& column) {
        return QString::fromUtf8(column.phrase.data(),
                                 static_cast<qsizetype>(column.phrase.size()));
    };
    using karnwick::outcomeColumn;
    QString text = phrase(outcomeColumn("oneWins")) + " " + percent(odds.oneWins) + separator +
                   phrase(outcomeColumn("twoWins")) + " " + percent(odds.twoWins) + separator +
                   QString::number(odds.meanTurns, 'f', 1) + " " +
                   phrase(outcomeColumn("meanTurns"));
    // The rarer ends only when they show at all.
    for (const karnwick::OutcomeColumn& column : karnwick::kOutcomeColumns) {
        const bool rarer = column.isChance && column.key != "oneWins" && column.key != "twoWins";
        if (rarer && odds.*column.value >= 0.00005)
            text += separator + phrase(column) + " " + percent(odds.*column.value);
    }
    return text;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_fightButton && event->type() == QEvent::ToolTip) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), fightToolTip(),
                           m_fightButton);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// The boxes receive the battle once it is over, so a long battle costs one
// layout of the log and not one per line.
void MainWindow::showBattleLog(const karnwick::BattleLog& log) {
    QString text = fromGameText(log.text);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_arenaLog->setPlainText(text);
    for (int side = 0; side < 2; ++side) {
        if (const auto hitPoints = log.currentHpText(side))
            showFromStart(m_currentHpBoxes[side], fromGameText(*hitPoints));
    }
}

void MainWindow::showPreview(int16_t page) {
    try {
        m_previews.showPage(page, m_palette, m_lastMonsterIndex,
                            gameFile(karnwick::kSpriteFileName));
    } catch (const karnwick::GameError& error) {
        reportGameError(error);
    }
}

void MainWindow::exitProgram() {
    m_previews.closeAll();
    QApplication::closeAllWindows();
    QCoreApplication::exit(0);
}

void MainWindow::setErrorReporter(ErrorReporter reporter) {
    m_reportError = std::move(reporter);
}

void MainWindow::reportError(const QString& message) const {
    if (m_reportError) {
        m_reportError(message);
        return;
    }
    if (!canAskThePlayer()) {
        printToStderr(message);
        return;
    }
    QWidget* owner = isVisible() ? const_cast<MainWindow*>(this) : nullptr;
    QMessageBox::critical(owner, QString::fromLatin1(kCaption), message);
}

void MainWindow::reportGameError(const karnwick::GameError& error,
                                 const QStringList& causes) const {
    QString message = QString::fromUtf8(error.what());
    if (!causes.isEmpty()) message += QStringLiteral("\n\n") + causes.join(QLatin1Char('\n'));
    message += QStringLiteral("\n\nRun karnwick check for every problem of these files.");
    reportError(message);
}

// Shortcuts only: no menu or button is added, so the window looks as it did.
void MainWindow::createShortcuts() {
    auto* open = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), this);
    connect(open, &QShortcut::activated, this, &MainWindow::openGameFolder);
    auto* reload = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(reload, &QShortcut::activated, this, &MainWindow::reloadGameFiles);
}

QString MainWindow::fightToolTip() const {
    return fightOdds() + QLatin1Char('\n') + QString::fromUtf8(kShortcutsHint);
}

void MainWindow::setFolderPicker(FolderPicker picker) {
    m_pickFolder = std::move(picker);
}

bool MainWindow::reloadGameFiles() {
    return reloadFrom(m_folder);
}

bool MainWindow::reloadFrom(const std::filesystem::path& folder) {
    // Read into fresh state first, so a broken file leaves the window as it was.
    GameFolderFacts facts;
    try {
        const auto lock = lockForReading(folder);
        if (!lock) return false;  // the player was told, and gave up
        facts = readGameFolder(folder);
    } catch (const karnwick::GameError& error) {
        reportGameError(error);
        return false;
    }
    m_folder = folder;
    m_palette = facts.palette;
    m_lastMonsterIndex = facts.lastMonsterIndex;
    clearPanels();
    for (QComboBox* list : m_monsterLists) list->clear();
    fillMonsterLists();
    try {
        m_previews.redrawOpenPages(m_palette, m_lastMonsterIndex,
                                   gameFile(karnwick::kSpriteFileName));
    } catch (const karnwick::GameError& error) {
        reportGameError(error);
    }
    emit gameFilesRead();
    return true;
}

bool MainWindow::openGameFolder() {
    const std::optional<std::filesystem::path> chosen =
        m_pickFolder ? m_pickFolder(m_folder) : pickGameFolder(this, m_folder);
    if (!chosen) return false;
    std::filesystem::path folder;
    try {
        folder = resolveGameFolder(*chosen);
    } catch (const karnwick::GameError& error) {
        reportError(QString::fromUtf8(error.what()));
        return false;
    }
    if (!reloadFrom(folder)) return false;
    emit gameFolderOpened(m_folder);
    return true;
}

// The monster panels as at start-up: no sprite, empty boxes, zero-filled
// fighters, "Pick Monster" in the lists.
void MainWindow::clearPanels() {
    m_fighters = {};
    for (int side = 0; side < 2; ++side) {
        m_spriteBoxes[side]->clear();
        for (const auto& row : m_statBoxes) row[side]->clear();
    }
}
