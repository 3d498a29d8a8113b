#include "ui/balance_window.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "battle/battle_fields.h"
#include "data/errors.h"
#include "data/file_writer.h"
#include "ui/balance_text.h"
#include "ui/balance_views.h"
#include "ui/check_tab.h"
#include "ui/game_folder.h"
#include "ui/match_up_tab.h"
#include "ui/open_arenas.h"
#include "ui/roster_tab.h"
#include "ui/sweep_tab.h"

namespace karnwick::balance {

namespace {

enum Tab { kMatchUpTab, kRosterTab, kSweepTab, kCheckTab };

}  // namespace

BalanceWindow::BalanceWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("frmBalance"));
    setWindowTitle(QString::fromUtf8(kBalanceTitle));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(980, 680);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabsBalance"));
    m_tabs->setAccessibleName(QStringLiteral("Balance views"));
    m_tabs->tabBar()->setAccessibleName(QStringLiteral("Balance views"));
    m_matchUp = new MatchUpTab;
    m_roster = new RosterTab;
    m_sweep = new SweepTab;
    m_check = new CheckTab;
    m_tabs->addTab(m_matchUp, QStringLiteral("&Match-up"));
    m_tabs->addTab(m_roster, QStringLiteral("&Roster"));
    m_tabs->addTab(m_sweep, QStringLiteral("&Sweep"));
    m_tabs->addTab(m_check, QStringLiteral("&Check"));
    for (BalanceTab* tab :
         std::initializer_list<BalanceTab*>{m_matchUp, m_roster, m_sweep, m_check}) {
        connect(tab, &BalanceTab::settled, this, &BalanceWindow::workDone);
        connect(tab, &BalanceTab::failed, this, &BalanceWindow::showStatus);
    }
    connect(m_matchUp, &MatchUpTab::whatIfEdited, this, &BalanceWindow::whatIfEdited);
    connect(m_matchUp, &MatchUpTab::resetAsked, this, &BalanceWindow::resetChanges);
    connect(m_roster, &RosterTab::pairChosen, this, &BalanceWindow::pairChosen);
    connect(m_roster, &RosterTab::pairOpened, this, [this](int one, int two) {
        emit pairChosen(one, two);
        m_tabs->setCurrentIndex(kMatchUpTab);
    });
    connect(m_check, &CheckTab::monsterChosen, this, &BalanceWindow::monsterChosen);
    connect(m_matchUp, &MatchUpTab::monsterPicked, this, &BalanceWindow::monsterPicked);
    connect(m_sweep, &SweepTab::monsterPicked, this, &BalanceWindow::monsterPicked);
    m_namesLane.onFailure([this](const QString& message) { showStatus(message); });
    m_namesLane.onIdle([this] { workDone(); });
    connect(m_roster, &RosterTab::monsterChosen, this, &BalanceWindow::monsterChosen);

    // Another arena opening or closing may make the title need its folder.
    m_openArenas = new QFileSystemWatcher(this);
    m_openArenas->addPath(openArenasFolder());
    connect(m_openArenas, &QFileSystemWatcher::directoryChanged, this, &BalanceWindow::showTitle);

    m_status = new QLabel(this);
    m_statusClear = new QTimer(this);
    m_statusClear->setSingleShot(true);
    m_statusClear->setInterval(kStatusTime);
    connect(m_statusClear, &QTimer::timeout, m_status, &QLabel::clear);
    m_status->setAccessibleName(QStringLiteral("Status"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    createButtons(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs, 1);
    layout->addLayout(buttons);
    createShortcuts();
    // Ctrl+C copies the tab even from a box being typed in; the box's own
    // copy stays on its context menu.
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
    connect(m_tabs, &QTabWidget::currentChanged, this, &BalanceWindow::tabShown);
}

BalanceWindow::~BalanceWindow() = default;

void BalanceWindow::createButtons(QLayout* row) {
    auto* copy = new QPushButton(QStringLiteral("Copy"), this);
    copy->setAccessibleName(QStringLiteral("Copy the numbers as tab-separated text"));
    copy->setToolTip(QStringLiteral("Ctrl+C: the numbers as the command line's CSV, with tabs"));
    connect(copy, &QPushButton::clicked, this, &BalanceWindow::copyToClipboard);
    m_save = new QPushButton(QStringLiteral("Save Picture..."), this);
    m_save->setAccessibleName(QStringLiteral("Save the chart as a picture"));
    m_save->setToolTip(QStringLiteral("Ctrl+S"));
    connect(m_save, &QPushButton::clicked, this, &BalanceWindow::savePictureAsked);
    auto* command = new QPushButton(QStringLiteral("Copy as Command"), this);
    command->setAccessibleName(QStringLiteral("Copy as Command"));
    command->setToolTip(
        QStringLiteral("Ctrl+Shift+C: the karnwick command that prints these odds"));
    connect(command, &QPushButton::clicked, this, &BalanceWindow::copyCommandLine);
    row->addWidget(copy);
    row->addWidget(command);
    row->addWidget(m_save);
}

void BalanceWindow::createShortcuts() {
    auto* copy = new QShortcut(QKeySequence::Copy, this);
    connect(copy, &QShortcut::activated, this, &BalanceWindow::copyToClipboard);
    auto* command = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), this);
    connect(command, &QShortcut::activated, this, &BalanceWindow::copyCommandLine);
    for (const auto& [key, step] :
         {std::pair{Qt::Key_PageDown, 1}, std::pair{Qt::Key_PageUp, -1}}) {
        auto* turn = new QShortcut(QKeySequence(Qt::CTRL | key), this);
        connect(turn, &QShortcut::activated, this, [this, step = step] {
            const int count = m_tabs->count();
            m_tabs->setCurrentIndex((m_tabs->currentIndex() + step + count) % count);
        });
    }
    m_saveShortcut = new QShortcut(QKeySequence::Save, this);
    connect(m_saveShortcut, &QShortcut::activated, this, &BalanceWindow::savePictureAsked);
}

void BalanceWindow::changeEvent(QEvent* event) {
    // An arena that was killed leaves its lock file without a word: look
    // again whenever the user comes back to this window.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) showTitle();
    QWidget::changeEvent(event);
}

bool BalanceWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride) return QWidget::eventFilter(watched, event);
    // Ctrl+C and the tab keys belong to the window, not to the box in focus.
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Copy) ||
        (key->modifiers() == Qt::ControlModifier &&
         (key->key() == Qt::Key_PageDown || key->key() == Qt::Key_PageUp))) {
        event->ignore();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

BalanceTab* BalanceWindow::currentTab() const {
    return static_cast<BalanceTab*>(m_tabs->currentWidget());
}

QSpinBox* BalanceWindow::whatIfBox(std::string_view field, int side) const {
    return m_matchUp->whatIfBox(field, side);
}
QPushButton* BalanceWindow::resetButton() const {
    return m_matchUp->resetButton();
}
MatchUpView* BalanceWindow::matchUpView() const {
    return m_matchUp->view();
}
RosterView* BalanceWindow::rosterView() const {
    return m_roster->view();
}
int BalanceWindow::rosterRowsDone() const {
    return m_roster->rowsDone();
}
SweepView* BalanceWindow::sweepView() const {
    return m_sweep->view();
}
QComboBox* BalanceWindow::sweepSide() const {
    return m_sweep->side();
}
QComboBox* BalanceWindow::sweepField() const {
    return m_sweep->field();
}
QSpinBox* BalanceWindow::sweepFrom() const {
    return m_sweep->from();
}
QSpinBox* BalanceWindow::sweepTo() const {
    return m_sweep->to();
}
QSpinBox* BalanceWindow::sweepStep() const {
    return m_sweep->step();
}

void BalanceWindow::showTitle() {
    QString title = QString::fromUtf8(kBalanceTitle);
    const QString folder = shownFolder(m_state.arena.folder.filename());
    if (!folder.isEmpty() && countOpenArenas() > 1) title += QStringLiteral(" \u2014 ") + folder;
    setWindowTitle(title);
}

void BalanceWindow::setArena(const ArenaState& arena) {
    m_state.arena = arena;
    showTitle();
    dropChangesTheFilesHold();
    m_matchUp->showState(m_state);
    m_sweep->showState(m_state);
    m_roster->followArena(m_state);
}

void BalanceWindow::reload(const ArenaState& arena) {
    std::erase_if(m_state.changes,
                  [&](const RecordOverride& c) { return c.index > arena.lastIndex; });
    m_state.arena = arena;
    showTitle();
    dropChangesTheFilesHold();
    readNames();
    m_matchUp->showState(m_state);
    m_sweep->showState(m_state);
    m_roster->followArena(m_state);
    m_roster->reload(m_state);
    m_check->check(m_state);
}

void BalanceWindow::setChanges(std::vector<RecordOverride> changes) {
    m_state.changes = std::move(changes);
    m_matchUp->showState(m_state);
    m_sweep->showState(m_state);
    m_roster->changesSet(m_state);
    m_check->changesMade(m_state);
}

void BalanceWindow::readNames() {
    m_namesLane.run([this, folder = m_state.arena.folder, count = m_state.arena.lastIndex + 1](
                        const WorkLane::Stale&, quint64 generation) {
        std::vector<std::string> labels;
        for (const MonsterStats& record : readRoster(folder, count))
            labels.push_back(monsterLabel(static_cast<int>(labels.size()), record));
        postIfCurrent(m_namesLane, generation, [this, labels] {
            m_matchUp->setLabels(labels);
            m_sweep->setLabels(labels);
            m_matchUp->showState(m_state);
            m_sweep->showChoices(m_state);
        });
    });
}

void BalanceWindow::dropChangesTheFilesHold() {
    // A change to the value the files now hold (after F5 or another folder)
    // is no change: it is neither marked nor offered to Reset.
    for (std::size_t side = 0; side < 2; ++side) {
        const auto index = m_state.arena.chosen[side];
        const MonsterStats& file = m_state.arena.fighters[side];
        if (index)
            std::erase_if(m_state.changes, [&](const RecordOverride& c) {
                return c.index == *index && file.*c.field == c.value;
            });
    }
}

void BalanceWindow::whatIfEdited(int side, std::size_t f, int value) {
    const auto index = m_state.arena.chosen[static_cast<std::size_t>(side)];
    if (!index) return;
    m_status->clear();
    const auto member = battleField(kBattleFields[f]);
    std::erase_if(m_state.changes,
                  [&](const RecordOverride& c) { return c.index == *index && c.field == member; });
    if (m_state.arena.fighters[static_cast<std::size_t>(side)].*member != value)
        m_state.changes.push_back({*index, member, static_cast<int16_t>(value)});
    changesMade({*index});
}

void BalanceWindow::resetChanges() {
    std::vector<int16_t> monsters;
    for (const RecordOverride& c : m_state.changes) monsters.push_back(c.index);
    m_state.changes.clear();
    changesMade(monsters);
}

void BalanceWindow::changesMade(const std::vector<int16_t>& monsters) {
    m_matchUp->showState(m_state);
    m_sweep->showState(m_state);
    m_roster->changesMade(m_state, monsters);
    m_check->changesMade(m_state);
}

void BalanceWindow::tabShown(int index) {
    m_status->clear();
    // A tab without a chart offers no Save Picture, rather than a refusal.
    const bool picture = currentTab()->hasPicture();
    m_save->setEnabled(picture);
    m_saveShortcut->setEnabled(picture);
    if (index == kRosterTab) m_roster->want(m_state);
    if (index == kCheckTab) m_check->want(m_state);
}

void BalanceWindow::workDone() {
    if (isSettled()) emit settled();
}

bool BalanceWindow::isSettled() const {
    return m_matchUp->isSettled() && m_roster->isSettled() && m_sweep->isSettled() &&
           m_check->isSettled() && !m_namesLane.busy();
}

QString BalanceWindow::copiedText() const {
    return currentTab()->copiedText();
}

void BalanceWindow::copyToClipboard() {
    const QString text = copiedText();
    if (text.isEmpty()) return showStatus(QStringLiteral("Still working: nothing copied yet."));
    QApplication::clipboard()->setText(text);
    showStatus(QStringLiteral("Copied."));
}

QString BalanceWindow::commandLine() const {
    const QString command = currentTab()->command(m_state);
    if (command.isEmpty()) return {};
    return "karnwick " + command + " --dir " + shellWord(m_state.arena.folder);
}

void BalanceWindow::copyCommandLine() {
    const QString line = commandLine();
    if (line.isEmpty()) return showStatus(QStringLiteral("Choose two monsters in the arena first."));
    QApplication::clipboard()->setText(line);
    showStatus(QStringLiteral("Copied: ") + line);
}

bool BalanceWindow::savePicture(const std::filesystem::path& file) {
    const QImage image = currentTab()->picture();
    if (image.isNull()) {
        showStatus(QStringLiteral("This tab has no picture."));
        return false;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image)) {
        showStatus("The picture cannot be drawn: " + writer.errorString());
        return false;
    }
    try {
        writeFileAtomically(file,
                            std::span(reinterpret_cast<const unsigned char*>(bytes.constData()),
                                      static_cast<std::size_t>(bytes.size())),
                            Existing::Replace);
    } catch (const std::exception& error) {
        showStatus(QString::fromStdString(error.what()));
        return false;
    }
    showStatus(QStringLiteral("Saved ") + QString::fromStdString(file.string()));
    return true;
}

void BalanceWindow::savePictureAsked() {
    if (!currentTab()->hasPicture()) return;
    if (m_pictureFolder.empty()) m_pictureFolder = QDir::homePath().toStdString();
    const std::filesystem::path suggested =
        m_pictureFolder / currentTab()->pictureName().toStdString();
    std::optional<std::filesystem::path> file;
    if (m_pickPicture) {
        file = m_pickPicture(suggested);
    } else {
        const QString name = QFileDialog::getSaveFileName(
            this, QStringLiteral("Save Picture"), QString::fromStdString(suggested.string()),
            QStringLiteral("PNG pictures (*.png)"));
        if (!name.isEmpty()) file = std::filesystem::path(name.toStdString());
    }
    if (!file) return;
    // The picture is a PNG whatever name was typed: the name says so too.
    if (QString::fromStdString(file->extension().string()).toLower() != ".png") *file += ".png";
    if (savePicture(*file)) m_pictureFolder = file->parent_path();
}

void BalanceWindow::showStatus(const QString& message) {
    // A message is read once: it goes after a few seconds, or with the next
    // thing the user does.
    m_status->setText(message);
    m_statusClear->start();
}

}  // namespace karnwick::balance
