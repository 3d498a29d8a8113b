#include "ui/main_window.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStringList>
#include <QToolTip>
#include <chrono>
#include <utility>

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
#include "ui/shown_words.h"

namespace {

// QLineEdit::setText leaves the cursor at the end, so a box narrower than its
// text would show the tail ("lub Smash"); the game's boxes show the start.
void showFromStart(QLineEdit* box, const QString& text) {
    box->setText(text);
    box->setCursorPosition(0);
}

QString fromGameText(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The records' share in a battle's error as the player reads it:
// Monster Two "Cobblet" has level 100.
QStringList recordCauses(const karnwick::GameError& error, const karnwick::Fighters& fighters,
                         const karnwick::BattleState& state) {
    QStringList lines;
    for (const karnwick::RecordCause& cause : karnwick::battleErrorCauses(error, fighters, state)) {
        lines << QStringLiteral("%1 %2 has %3 %4")
                     .arg(karnwick::sideText(cause.side),
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

MainWindow::MainWindow(QWidget* parent) : QWidget(parent), m_layout(buildArenaLayout(*this)) {
    for (int side = 0; side < 2; ++side) {
        connect(monsterList(side), &QComboBox::activated, this,
                [this, side](int position) { chooseMonster(side, position); });
    }
    connect(fightButton(), &QPushButton::clicked, this, &MainWindow::fight);
    fightButton()->installEventFilter(this);
    connect(exitButton(), &QPushButton::clicked, this, &MainWindow::exitProgram);
    for (int16_t page = 1; page <= 3; ++page) {
        connect(previewButton(page), &QPushButton::clicked, this,
                [this, page] { showPreview(page); });
    }
    createShortcuts();
    m_balance = new karnwick::balance::BalanceLauncher(*this);
}

MainWindow::~MainWindow() = default;

QLineEdit* MainWindow::statBox(std::string_view field, int side) const {
    return m_layout.statBox(field, side);
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
    return QMessageBox::warning(owner, QString::fromLatin1(kArenaCaption), message,
                                QMessageBox::Retry | QMessageBox::Cancel,
                                QMessageBox::Retry) == QMessageBox::Retry;
}

void MainWindow::setRetryAsker(RetryAsker asker) {
    m_askRetry = std::move(asker);
}

void MainWindow::loadGameFolder(const std::filesystem::path& folder) {
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
    for (QComboBox* list : m_layout.monsterLists) list->addItems(numbers);
    // Adding the first item selects it; the lists start with no monster chosen.
    for (QComboBox* list : m_layout.monsterLists) {
        list->setCurrentIndex(-1);
        list->setEditText(QString::fromLatin1(kPickMonster));
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
            m_layout.spriteBoxes[side]->clear();
            karnwick::drawSprite(sprites, index, *m_layout.spriteBoxes[side], 0.0f, 0.0f,
                                 m_palette);
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
    return karnwick::qText(
        karnwick::oddsSentence(karnwick::battleOdds(m_fighters, start.hp, start.agility)));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_layout.fightButton && event->type() == QEvent::ToolTip) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), fightToolTip(),
                           m_layout.fightButton);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// The boxes receive the battle once it is over, so a long battle costs one
// layout of the log and not one per line.
void MainWindow::showBattleLog(const karnwick::BattleLog& log) {
    QString text = fromGameText(log.text);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_layout.arenaLog->setPlainText(text);
    for (int side = 0; side < 2; ++side) {
        if (const auto hitPoints = log.currentHpText(side))
            showFromStart(m_layout.currentHpBoxes[side], fromGameText(*hitPoints));
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
    QMessageBox::critical(owner, QString::fromLatin1(kArenaCaption), message);
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
    for (QComboBox* list : m_layout.monsterLists) list->clear();
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
        m_layout.spriteBoxes[side]->clear();
        for (const auto& row : m_layout.statBoxes) row[side]->clear();
    }
}
