#include "ui/balance_window.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageWriter>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QThread>
#include <QThreadPool>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <numeric>

#include <sys/resource.h>
#include <unistd.h>

#include "battle/hit_points_left.h"
#include "battle/sweep.h"
#include "data/errors.h"
#include "data/file_writer.h"
#include "data/folder_lock.h"
#include "data/game_file.h"
#include "data/record_fields.h"
#include "data/sprite.h"
#include "ui/balance_text.h"
#include "ui/work_lane.h"

namespace karnwick::balance {

namespace {

enum Lane { kMatchUpLane, kRosterLane, kSweepLane, kCheckLane };
enum Tab { kMatchUpTab, kRosterTab, kSweepTab, kCheckTab };

std::string trimmedName(const MonsterStats& stats) {
    std::string name = fieldText(stats.name);
    name.erase(name.find_last_not_of(' ') + 1);
    return name;
}

// The roster's rows come a band at a time, each band about this long to work
// out, so the first rows show soon and a newer request waits little.
constexpr std::chrono::milliseconds kBandTime{40};

int workerThreads() {
    return std::max(1, QThread::idealThreadCount());
}

// The first `count` records of the folder's monsters.tat, read in one go
// under the folder's shared lock: a `set` running meanwhile is seen whole
// or not at all, never as some records old and some new. Records past the
// file's end read as zeros, as the arena reads them.
std::vector<MonsterStats> readRoster(const std::filesystem::path& folder, int count) {
    const FolderLock lock(folder, FolderAccess::Read);
    const GameFile file(folder / kStatsFileName);
    std::vector<unsigned char> bytes(static_cast<std::size_t>(count) * kRecordLength);
    file.readAt(0, bytes);
    std::vector<MonsterStats> roster;
    roster.reserve(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i)
        roster.push_back(recordAt(bytes, i));
    return roster;
}

std::array<HitPointChances, 2> endingHitPoints(const Fighters& fighters,
                                               const StartingTexts& start) {
    const HitPointsLeft left = hitPointsLeft(fighters, start.hp, start.agility);
    std::array<HitPointChances, 2> chances;
    for (std::size_t side = 0; side < 2; ++side)
        for (const HitPointsChance& c : left[side])
            chances[side].emplace_back(c.hitPoints, c.chance);
    return chances;
}

QString changedMark(bool changed) {
    return changed ? QStringLiteral("font-weight: bold") : QString();
}

}  // namespace

BalanceWindow::BalanceWindow(QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_lanes{WorkLane(this), WorkLane(this), WorkLane(this), WorkLane(this)} {
    setObjectName(QStringLiteral("frmBalance"));
    setWindowTitle(QStringLiteral("Karnwick Balance"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(980, 680);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabsBalance"));
    m_tabs->setAccessibleName(QStringLiteral("Balance views"));
    m_tabs->tabBar()->setAccessibleName(QStringLiteral("Balance views"));
    m_tabs->addTab(createMatchUpTab(), QStringLiteral("&Match-up"));
    m_tabs->addTab(createRosterTab(), QStringLiteral("&Roster"));
    m_tabs->addTab(createSweepTab(), QStringLiteral("&Sweep"));
    m_tabs->addTab(createCheckTab(), QStringLiteral("&Check"));

    auto* copy = new QPushButton(QStringLiteral("Copy"), this);
    copy->setAccessibleName(QStringLiteral("Copy the numbers as tab-separated text"));
    copy->setToolTip(QStringLiteral("Ctrl+C: the numbers as the command line's CSV, with tabs"));
    connect(copy, &QPushButton::clicked, this, &BalanceWindow::copyToClipboard);
    auto* save = new QPushButton(QStringLiteral("Save Picture..."), this);
    save->setAccessibleName(QStringLiteral("Save the chart as a picture"));
    save->setToolTip(QStringLiteral("Ctrl+S"));
    connect(save, &QPushButton::clicked, this, &BalanceWindow::savePictureAsked);
    auto* command = new QPushButton(QStringLiteral("Copy as Command"), this);
    command->setAccessibleName(QStringLiteral("Copy as Command"));
    command->setToolTip(
        QStringLiteral("Ctrl+Shift+C: the karnwick command that prints these odds"));
    connect(command, &QPushButton::clicked, this, &BalanceWindow::copyCommandLine);
    m_status = new QLabel(this);
    m_status->setAccessibleName(QStringLiteral("Status"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    buttons->addWidget(copy);
    buttons->addWidget(command);
    buttons->addWidget(save);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs, 1);
    layout->addLayout(buttons);
    createShortcuts();
    for (WorkLane& lane : m_lanes) {
        lane.onFailure([this](const QString& message) { report(message); });
        lane.onIdle([this] { workDone(); });
    }
    connect(m_tabs, &QTabWidget::currentChanged, this, &BalanceWindow::tabShown);
}

BalanceWindow::~BalanceWindow() {
    for (WorkLane& lane : m_lanes) lane.cancel();
    for (WorkLane& lane : m_lanes) lane.wait();
}

QWidget* BalanceWindow::createMatchUpTab() {
    auto* tab = new QWidget;
    m_matchUpView = new MatchUpView(tab);
    auto* whatIf = new QGroupBox(QStringLiteral("What if"), tab);
    whatIf->setAccessibleName(QStringLiteral("What-if changes"));
    auto* grid = new QGridLayout(whatIf);
    auto* one = new QLabel(QStringLiteral("Monster One"), whatIf);
    auto* two = new QLabel(QStringLiteral("Monster Two"), whatIf);
    grid->addWidget(one, 0, 1);
    grid->addWidget(two, 0, 2);
    for (std::size_t f = 0; f < kBattleFields.size(); ++f) {
        const QString name = QString::fromLatin1(kBattleFields[f].data(),
                                                 static_cast<qsizetype>(kBattleFields[f].size()));
        grid->addWidget(new QLabel(name, whatIf), static_cast<int>(f) + 1, 0);
        std::array<QSpinBox*, 2> boxes{};
        for (int side = 0; side < 2; ++side) {
            auto* box = new QSpinBox(whatIf);
            box->setRange(INT16_MIN, INT16_MAX);
            box->setEnabled(false);
            box->setObjectName(QStringLiteral("whatIf_%1_%2").arg(name).arg(side + 1));
            box->setAccessibleName(
                QStringLiteral("%1 of Monster %2").arg(name, side == 0 ? "One" : "Two"));
            connect(box, &QSpinBox::valueChanged, this,
                    [this, side, f](int value) { whatIfEdited(side, f, value); });
            grid->addWidget(box, static_cast<int>(f) + 1, side + 1);
            boxes[static_cast<std::size_t>(side)] = box;
        }
        m_whatIf.push_back(boxes);
    }
    m_reset = new QPushButton(QStringLiteral("Rese&t"), whatIf);
    m_reset->setAccessibleName(QStringLiteral("Reset every what-if change"));
    connect(m_reset, &QPushButton::clicked, this, &BalanceWindow::resetChanges);
    grid->addWidget(m_reset, static_cast<int>(kBattleFields.size()) + 1, 0, 1, 3);
    // Spare height goes below the boxes, not between the header and the first row.
    grid->setRowStretch(static_cast<int>(kBattleFields.size()) + 2, 1);
    auto* layout = new QHBoxLayout(tab);
    layout->addWidget(m_matchUpView, 1);
    layout->addWidget(whatIf);
    return tab;
}

QWidget* BalanceWindow::createRosterTab() {
    auto* tab = new QWidget;
    m_rosterView = new RosterView(tab);
    m_rosterView->setOdds(&m_rosterOdds);
    connect(m_rosterView, &RosterView::pairChosen, this, [this](int one, int two) {
        emit pairChosen(one, two);
        m_tabs->setCurrentIndex(kMatchUpTab);
    });
    m_ranking = new QTreeWidget(tab);
    m_ranking->setAccessibleName(QStringLiteral("Ranking by mean chance of winning"));
    m_ranking->setHeaderLabels({QStringLiteral("Rank"), QStringLiteral("Monster"),
                                QStringLiteral("Mean chance of winning")});
    m_ranking->setRootIsDecorated(false);
    m_rosterProgress = new QProgressBar(tab);
    m_rosterProgress->setAccessibleName(QStringLiteral("Roster progress"));
    m_rosterProgress->setFormat(QStringLiteral("%v of %m monsters"));
    auto* side = new QVBoxLayout;
    side->addWidget(m_rosterProgress);
    side->addWidget(m_ranking, 1);
    auto* layout = new QHBoxLayout(tab);
    layout->addWidget(m_rosterView, 3);
    layout->addLayout(side, 2);
    return tab;
}

QWidget* BalanceWindow::createSweepTab() {
    auto* tab = new QWidget;
    m_sweepSide = new QComboBox(tab);
    m_sweepSide->addItems({QStringLiteral("Monster One"), QStringLiteral("Monster Two")});
    m_sweepSide->setAccessibleName(QStringLiteral("Swept monster"));
    m_sweepField = new QComboBox(tab);
    for (const std::string_view name : kBattleFields)
        m_sweepField->addItem(
            QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    m_sweepField->setAccessibleName(QStringLiteral("Swept field"));
    auto spin = [tab](const QString& name, int low) {
        auto* box = new QSpinBox(tab);
        box->setRange(low, INT16_MAX);
        box->setAccessibleName(name);
        box->setKeyboardTracking(false);
        return box;
    };
    m_sweepFrom = spin(QStringLiteral("From"), INT16_MIN);
    m_sweepTo = spin(QStringLiteral("To"), INT16_MIN);
    m_sweepStep = spin(QStringLiteral("Step"), 1);
    m_sweepHasTarget = new QCheckBox(QStringLiteral("T&arget"), tab);
    m_sweepHasTarget->setAccessibleName(QStringLiteral("Draw a target"));
    m_sweepTarget = new QDoubleSpinBox(tab);
    m_sweepTarget->setRange(0, 100);
    m_sweepTarget->setSuffix(QStringLiteral("%"));
    m_sweepTarget->setValue(50);
    m_sweepTarget->setAccessibleName(QStringLiteral("Target chance of Monster One winning"));
    m_sweepTarget->setKeyboardTracking(false);
    m_sweepView = new SweepView(tab);
    auto* controls = new QHBoxLayout;
    auto add = [&](const QString& label, QWidget* widget) {
        auto* text = new QLabel(label, tab);
        text->setBuddy(widget);
        // Room for the underlined letter: "To" was cut short without it.
        text->setContentsMargins(0, 0, 2, 0);
        controls->addWidget(text);
        controls->addWidget(widget);
    };
    add(QStringLiteral("Mo&nster"), m_sweepSide);
    add(QStringLiteral("&Field"), m_sweepField);
    add(QStringLiteral("Fr&om"), m_sweepFrom);
    add(QStringLiteral("&To"), m_sweepTo);
    add(QStringLiteral("St&ep"), m_sweepStep);
    controls->addWidget(m_sweepHasTarget);
    controls->addWidget(m_sweepTarget);
    controls->addStretch(1);
    auto* layout = new QVBoxLayout(tab);
    layout->addLayout(controls);
    layout->addWidget(m_sweepView, 1);
    auto changed = [this] { requestSweep(); };
    connect(m_sweepSide, &QComboBox::currentIndexChanged, this, changed);
    connect(m_sweepField, &QComboBox::currentIndexChanged, this, changed);
    for (QSpinBox* box : {m_sweepFrom, m_sweepTo})
        connect(box, &QSpinBox::valueChanged, this, [this] {
            m_sweepRangeEdited = true;
            requestSweep();
        });
    connect(m_sweepStep, &QSpinBox::valueChanged, this, changed);
    connect(m_sweepHasTarget, &QCheckBox::toggled, this, changed);
    connect(m_sweepTarget, &QDoubleSpinBox::valueChanged, this, changed);
    return tab;
}

QWidget* BalanceWindow::createCheckTab() {
    auto* tab = new QWidget;
    m_checkList = new QListWidget(tab);
    m_checkList->setAccessibleName(QStringLiteral("Problems in the game files"));
    auto choose = [this](QListWidgetItem* item) {
        const QVariant monster = item ? item->data(Qt::UserRole) : QVariant();
        if (monster.isValid()) emit monsterChosen(monster.toInt());
    };
    connect(m_checkList, &QListWidget::itemActivated, this, choose);
    connect(m_checkList, &QListWidget::itemClicked, this, choose);
    auto* layout = new QVBoxLayout(tab);
    layout->addWidget(m_checkList);
    return tab;
}

void BalanceWindow::createShortcuts() {
    auto* copy = new QShortcut(QKeySequence::Copy, this);
    connect(copy, &QShortcut::activated, this, &BalanceWindow::copyToClipboard);
    auto* command = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), this);
    connect(command, &QShortcut::activated, this, &BalanceWindow::copyCommandLine);
    auto* save = new QShortcut(QKeySequence::Save, this);
    connect(save, &QShortcut::activated, this, &BalanceWindow::savePictureAsked);
}

QSpinBox* BalanceWindow::whatIfBox(std::string_view field, int side) const {
    for (std::size_t f = 0; f < kBattleFields.size(); ++f)
        if (kBattleFields[f] == field) return m_whatIf[f][static_cast<std::size_t>(side)];
    return nullptr;
}

void BalanceWindow::setArena(const ArenaState& arena) {
    m_arena = arena;
    showWhatIfValues();
    requestMatchUp();
    followSweepRange();
    requestSweep();
}

void BalanceWindow::reload(const ArenaState& arena) {
    std::erase_if(m_changes, [&](const RecordOverride& c) { return c.index > arena.lastIndex; });
    m_arena = arena;
    showWhatIfValues();
    requestMatchUp();
    defaultSweep();
    requestSweep();
    m_rosterBase.clear();
    if (m_rosterWanted) requestRoster();
    requestCheck();
}

void BalanceWindow::setChanges(std::vector<RecordOverride> changes) {
    m_changes = std::move(changes);
    showWhatIfValues();
    requestMatchUp();
    followSweepRange();
    requestSweep();
    if (m_rosterWanted) requestRoster();
}

MonsterStats BalanceWindow::changed(int side) const {
    MonsterStats stats = m_arena.fighters[static_cast<std::size_t>(side)];
    if (const auto index = m_arena.chosen[static_cast<std::size_t>(side)])
        applyRecordOverrides(m_changes, *index, stats);
    return stats;
}

void BalanceWindow::showWhatIfValues() {
    for (int side = 0; side < 2; ++side) {
        const auto index = m_arena.chosen[static_cast<std::size_t>(side)];
        const MonsterStats& file = m_arena.fighters[static_cast<std::size_t>(side)];
        const MonsterStats now = changed(side);
        for (std::size_t f = 0; f < kBattleFields.size(); ++f) {
            QSpinBox* box = m_whatIf[f][static_cast<std::size_t>(side)];
            const auto member = battleField(kBattleFields[f]);
            const QSignalBlocker quiet(box);
            box->setEnabled(index.has_value());
            box->setValue(now.*member);
            const bool isChanged = index && now.*member != file.*member;
            // A new style sheet lays the whole window out again: only on a change of mark.
            const QString mark = changedMark(isChanged);
            if (box->styleSheet() != mark) box->setStyleSheet(mark);
            box->setToolTip(isChanged
                                ? QStringLiteral("Changed: the file holds %1").arg(file.*member)
                                : QString());
            box->setAccessibleDescription(isChanged ? QStringLiteral("changed") : QString());
        }
    }
    bool any = !m_changes.empty();
    m_reset->setEnabled(any);
}

void BalanceWindow::whatIfEdited(int side, std::size_t f, int value) {
    const auto index = m_arena.chosen[static_cast<std::size_t>(side)];
    if (!index) return;
    const auto member = battleField(kBattleFields[f]);
    std::erase_if(m_changes,
                  [&](const RecordOverride& c) { return c.index == *index && c.field == member; });
    if (m_arena.fighters[static_cast<std::size_t>(side)].*member != value)
        m_changes.push_back({*index, member, static_cast<int16_t>(value)});
    showWhatIfValues();
    changesMade({*index});
}

void BalanceWindow::resetChanges() {
    std::vector<int16_t> monsters;
    for (const RecordOverride& c : m_changes) monsters.push_back(c.index);
    m_changes.clear();
    showWhatIfValues();
    changesMade(monsters);
}

void BalanceWindow::changesMade(const std::vector<int16_t>& monsters) {
    requestMatchUp();
    followSweepRange();
    requestSweep();
    if (m_rosterWanted) requestRosterMonsters(monsters);
}

void BalanceWindow::workDone() {
    if (isSettled()) emit settled();
}

bool BalanceWindow::isSettled() const {
    return std::none_of(m_lanes.begin(), m_lanes.end(),
                        [](const WorkLane& lane) { return lane.busy(); });
}

void BalanceWindow::requestMatchUp() {
    if (!m_arena.chosen[0] || !m_arena.chosen[1]) {
        m_matchUpOdds.reset();
        m_matchUpView->setPicture({});
        return;
    }
    Fighters fighters{changed(0), changed(1)};
    StartingTexts start = m_arena.start;
    // A changed HP or agility is the text a fresh choice of the changed
    // record shows; the others are the boxes' texts, as FIGHT reads them.
    const StartingTexts fresh = startingTexts(fighters);
    for (std::size_t side = 0; side < 2; ++side) {
        if (fighters[side].hp != m_arena.fighters[side].hp) start.hp[side] = fresh.hp[side];
        if (fighters[side].agility != m_arena.fighters[side].agility)
            start.agility[side] = fresh.agility[side];
    }
    MatchUpPicture picture;
    const std::array<int, 2> pair{*m_arena.chosen[0], *m_arena.chosen[1]};
    for (std::size_t side = 0; side < 2; ++side) picture.names[side] = trimmedName(fighters[side]);
    picture.title = std::to_string(pair[0]) + " " + picture.names[0] + " (Monster One) against " +
                    std::to_string(pair[1]) + " " + picture.names[1] + " (Monster Two)";
    m_lanes[kMatchUpLane].run([this, fighters, start, picture, pair](const WorkLane::Stale& stale,
                                                                     quint64 generation) mutable {
        if (!stale()) {
            try {
                picture.odds = battleOdds(fighters, start.hp, start.agility);
                picture.hpLeft = endingHitPoints(fighters, start);
            } catch (const GameError&) {
                picture.odds = overflowAtStart();
            }
        }
        postIfCurrent(m_lanes[kMatchUpLane], generation,
                      [this, picture = std::move(picture), pair] {
                          m_matchUpOdds = picture.odds;
                          m_matchUpPair = pair;
                          m_matchUpView->setPicture(picture);
                      });
    });
}

void BalanceWindow::tabShown(int index) {
    if (index == kRosterTab && !m_rosterWanted) {
        m_rosterWanted = true;
        requestRoster();
    }
    if (index == kCheckTab && !m_checkReport && m_checkFailure.isEmpty()) requestCheck();
}

void BalanceWindow::requestRoster() {
    m_rosterWanted = true;
    const int n = m_arena.lastIndex + 1;
    m_rosterRowsDone = 0;
    m_rosterDirty.clear();
    // The grids come with the names, made on the lane's thread: a large
    // roster's would keep the window's thread busy for a frame or more.
    m_rosterOdds.clear();
    m_rosterKnown.clear();
    m_rosterProgress->setRange(0, n);
    showRosterProgress();
    m_rosterProgress->show();
    m_ranking->clear();
    const std::filesystem::path folder = m_arena.folder;
    std::vector<MonsterStats> base = m_rosterBase;
    const std::vector<RecordOverride> changes = m_changes;
    m_lanes[kRosterLane].run([this, folder, base, changes, n](const WorkLane::Stale& stale,
                                                              quint64 generation) mutable {
        auto post = [this, generation](std::function<void()> apply) {
            postIfCurrent(m_lanes[kRosterLane], generation, std::move(apply));
        };
        QString failure;
        try {
            if (static_cast<int>(base.size()) != n) base = readRoster(folder, n);
        } catch (const std::exception& error) {
            failure = QString::fromStdString(error.what());
        }
        if (stale()) return;
        const std::size_t cells = base.size() * base.size();
        RosterPicture picture{{}, std::vector<double>(cells, std::nan(""))};
        for (std::size_t i = 0; i < base.size(); ++i)
            picture.labels.push_back(std::to_string(i) + " " + trimmedName(base[i]));
        post([this, base, failure, picture = std::move(picture),
              odds = std::vector<OutcomeOdds>(cells),
              known = std::vector<char>(cells, 0)]() mutable {
            m_rosterBase = base;
            m_rosterLabels = picture.labels;
            m_rosterOdds = std::move(odds);
            m_rosterKnown = std::move(known);
            m_rosterView->setPicture(std::move(picture));
            if (!failure.isEmpty()) report(failure);
            showRosterCells({});
        });
        if (!failure.isEmpty()) return;
        std::vector<MonsterStats> monsters = base;
        for (int i = 0; i < n; ++i)
            applyRecordOverrides(changes, i, monsters[static_cast<std::size_t>(i)]);
        // The first band is one row; later bands are sized by how long the
        // rows before them took.
        std::size_t band = 1;
        for (std::size_t first = 0; first < monsters.size() && !stale();) {
            const auto began = std::chrono::steady_clock::now();
            const std::size_t count = std::min(band, monsters.size() - first);
            std::vector<OutcomeOdds> rows = oddsMatrixRows(monsters, first, count, workerThreads());
            const auto took = std::chrono::steady_clock::now() - began;
            post([this, first, count, rows = std::move(rows)] {
                const std::size_t size = m_rosterBase.size();
                std::copy(rows.begin(), rows.end(),
                          m_rosterOdds.begin() + static_cast<std::ptrdiff_t>(first * size));
                std::fill_n(m_rosterKnown.begin() + static_cast<std::ptrdiff_t>(first * size),
                            count * size, 1);
                m_rosterRowsDone = static_cast<int>(first + count);
                std::vector<std::size_t> done(count * size);
                std::iota(done.begin(), done.end(), first * size);
                showRosterCells(done);
            });
            first += count;
            const double perRow =
                std::chrono::duration<double>(took).count() / static_cast<double>(count);
            band = std::clamp<std::size_t>(
                static_cast<std::size_t>(std::chrono::duration<double>(kBandTime).count() /
                                         std::max(perRow, 1e-9)),
                1, 64);
        }
    });
}

void BalanceWindow::requestRosterMonsters(std::vector<int16_t> changedMonsters) {
    const std::size_t n = m_rosterBase.size();
    // A roster still filling starts again with the change; a whole one has
    // only the changed monsters' rows and columns worked out again.
    if (n == 0 || m_rosterRowsDone < static_cast<int>(n)) return requestRoster();
    // Monsters whose answer was cancelled by this newer request go with it.
    changedMonsters.insert(changedMonsters.end(), m_rosterDirty.begin(), m_rosterDirty.end());
    std::sort(changedMonsters.begin(), changedMonsters.end());
    changedMonsters.erase(std::unique(changedMonsters.begin(), changedMonsters.end()),
                          changedMonsters.end());
    m_rosterDirty = changedMonsters;
    std::vector<MonsterStats> monsters = m_rosterBase;
    for (std::size_t i = 0; i < n; ++i)
        applyRecordOverrides(m_changes, static_cast<int>(i), monsters[i]);
    std::vector<std::size_t> unknown;
    for (const int16_t i : changedMonsters)
        for (std::size_t j = 0; j < n; ++j) {
            unknown.push_back(static_cast<std::size_t>(i) * n + j);
            unknown.push_back(j * n + static_cast<std::size_t>(i));
        }
    for (const std::size_t at : unknown) m_rosterKnown[at] = 0;
    showRosterCells(unknown);
    m_lanes[kRosterLane].run(
        [this, monsters, changedMonsters, n](const WorkLane::Stale& stale, quint64 generation) {
            std::vector<std::pair<std::size_t, OutcomeOdds>> cells;
            for (const int16_t i : changedMonsters) {
                for (std::size_t j = 0; j < n && !stale(); ++j) {
                    const auto a = static_cast<std::size_t>(i);
                    cells.emplace_back(a * n + j,
                                       OutcomeOdds(battleOdds(Fighters{monsters[a], monsters[j]})));
                    if (j != a)
                        cells.emplace_back(
                            j * n + a, OutcomeOdds(battleOdds(Fighters{monsters[j], monsters[a]})));
                }
            }
            if (stale()) return;
            postIfCurrent(m_lanes[kRosterLane], generation, [this, cells = std::move(cells)] {
                m_rosterDirty.clear();
                std::vector<std::size_t> known;
                for (const auto& [at, odds] : cells) {
                    m_rosterOdds[at] = odds;
                    m_rosterKnown[at] = 1;
                    known.push_back(at);
                }
                showRosterCells(known);
            });
        });
}

void BalanceWindow::showRosterCells(const std::vector<std::size_t>& cells) {
    std::vector<std::pair<std::size_t, double>> chances;
    chances.reserve(cells.size());
    for (const std::size_t at : cells)
        chances.emplace_back(at, m_rosterKnown[at] ? m_rosterOdds[at].oneWins : std::nan(""));
    m_rosterView->setChances(chances);
    showRosterProgress();
    const bool whole =
        !m_rosterKnown.empty() &&
        std::all_of(m_rosterKnown.begin(), m_rosterKnown.end(), [](char k) { return k; });
    m_rosterProgress->setVisible(!whole);
    if (whole) showRanking();
}

void BalanceWindow::showRosterProgress() {
    // A progress bar paints every dirty part of the window at once when its
    // value changes; with updates held back, all of it is painted in the
    // event loop's next turn instead, with the band's new cells.
    m_rosterProgress->setUpdatesEnabled(false);
    m_rosterProgress->setValue(m_rosterRowsDone);
    m_rosterProgress->setUpdatesEnabled(true);
}

void BalanceWindow::showRanking() {
    const std::size_t n = m_rosterBase.size();
    std::vector<double> wins(n, 0.0);
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b) {
            wins[a] += m_rosterOdds[a * n + b].oneWins;
            wins[b] += m_rosterOdds[a * n + b].twoWins;
        }
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t x, std::size_t y) { return wins[x] > wins[y]; });
    m_ranking->clear();
    QList<QTreeWidgetItem*> items;
    for (std::size_t r = 0; r < n; ++r) {
        const std::size_t i = order[r];
        items << new QTreeWidgetItem({QString::number(r + 1),
                                      QString::fromStdString(m_rosterLabels[i]),
                                      percentText(wins[i] / (2.0 * static_cast<double>(n)))});
    }
    m_ranking->addTopLevelItems(items);
}

void BalanceWindow::defaultSweep() {
    const QSignalBlocker a(m_sweepSide), b(m_sweepField), c(m_sweepFrom), d(m_sweepTo),
        e(m_sweepStep), f(m_sweepHasTarget);
    m_sweepSide->setCurrentIndex(1);
    m_sweepField->setCurrentIndex(0);
    m_sweepStep->setValue(1);
    m_sweepHasTarget->setChecked(false);
    m_sweepRangeEdited = false;
    followSweepRange();
}

void BalanceWindow::followSweepRange() {
    if (m_sweepRangeEdited) return;
    const QSignalBlocker a(m_sweepFrom), b(m_sweepTo);
    m_sweepFrom->setValue(1);
    m_sweepTo->setValue(std::max(100, std::min<int>(INT16_MAX, 2 * changed(1).hp)));
}

void BalanceWindow::requestSweep() {
    m_sweepTarget->setEnabled(m_sweepHasTarget->isChecked());
    if (!m_arena.chosen[0] || !m_arena.chosen[1]) {
        m_sweepDone = false;
        m_sweepView->setPicture({});
        return;
    }
    const Fighters fighters{changed(0), changed(1)};
    const int side = m_sweepSide->currentIndex();
    SweepPicture picture;
    picture.one = *m_arena.chosen[0];
    picture.two = *m_arena.chosen[1];
    picture.oneName = trimmedName(fighters[0]);
    picture.twoName = trimmedName(fighters[1]);
    picture.swept = side == 0 ? picture.one : picture.two;
    picture.field = m_sweepField->currentText().toStdString();
    picture.from = m_sweepFrom->value();
    picture.to = m_sweepTo->value();
    picture.step = m_sweepStep->value();
    if (m_sweepHasTarget->isChecked()) picture.target = m_sweepTarget->value() / 100.0;
    SweepPlan plan;
    plan.field = battleField(picture.field);
    // The swept monster takes the value on every side it fights on.
    plan.sides = {picture.one == picture.swept, picture.two == picture.swept};
    plan.values = sweepValues(static_cast<int16_t>(picture.from), static_cast<int16_t>(picture.to),
                              picture.step);
    picture.values = plan.values;
    m_sweepDone = false;
    m_lanes[kSweepLane].run(
        [this, fighters, plan, picture](const WorkLane::Stale& stale, quint64 generation) mutable {
            // A few values at a time, so a newer request need not wait for a long sweep.
            constexpr std::size_t kChunk = 16;
            SweepPlan part = plan;
            for (std::size_t first = 0; first < plan.values.size() && !stale(); first += kChunk) {
                part.values.assign(plan.values.begin() + static_cast<std::ptrdiff_t>(first),
                                   plan.values.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                             first + kChunk, plan.values.size())));
                const std::vector<OutcomeOdds> odds = sweepOdds(fighters, part, workerThreads());
                picture.odds.insert(picture.odds.end(), odds.begin(), odds.end());
            }
            if (stale()) return;
            postIfCurrent(m_lanes[kSweepLane], generation, [this, picture = std::move(picture)] {
                m_sweepView->setPicture(picture);
                m_sweepDone = true;
            });
        });
}

void BalanceWindow::requestCheck() {
    m_checkReport.reset();
    m_checkFailure.clear();
    m_checkList->clear();
    const std::filesystem::path folder = m_arena.folder;
    m_lanes[kCheckLane].run([this, folder](const WorkLane::Stale&, quint64 generation) {
        std::optional<GameFilesReport> found;
        QString failure;
        try {
            found = checkGameFiles(folder);
        } catch (const std::exception& error) {
            failure = QString::fromStdString(error.what());
        }
        postIfCurrent(m_lanes[kCheckLane], generation, [this, found = std::move(found), failure] {
            m_checkReport = found;
            m_checkFailure = failure;
            m_checkList->clear();
            if (found) {
                for (const GameFileProblem& p : found->problems) {
                    auto* item = new QListWidgetItem(checkLine(p), m_checkList);
                    if (p.monster) item->setData(Qt::UserRole, *p.monster);
                }
                m_checkList->addItem(checkSummary(*found));
            } else {
                m_checkList->addItem(failure);
            }
        });
    });
}

QString BalanceWindow::copiedText() const {
    switch (m_tabs->currentIndex()) {
        case kMatchUpTab:
            if (!m_matchUpOdds || m_lanes[kMatchUpLane].busy()) return {};
            return tabSeparated(matchUpTable(m_matchUpPair[0], m_matchUpPair[1], *m_matchUpOdds));
        case kRosterTab:
            if (m_rosterKnown.empty() || m_lanes[kRosterLane].busy() ||
                !std::all_of(m_rosterKnown.begin(), m_rosterKnown.end(), [](char k) { return k; }))
                return {};
            return tabSeparated(rosterTable(m_rosterOdds, m_rosterBase.size()));
        case kSweepTab:
            if (!m_sweepDone || m_lanes[kSweepLane].busy()) return {};
            return tabSeparated(
                sweepTable(m_sweepView->picture().values, m_sweepView->picture().odds));
        default:
            if (!m_checkReport) return m_checkFailure.isEmpty() ? QString() : m_checkFailure + "\n";
            QString text;
            for (const GameFileProblem& p : m_checkReport->problems) text += checkLine(p) + "\n";
            return text + checkSummary(*m_checkReport) + "\n";
    }
}

void BalanceWindow::copyToClipboard() {
    const QString text = copiedText();
    if (text.isEmpty()) return report(QStringLiteral("Still working: nothing copied yet."));
    QApplication::clipboard()->setText(text);
    m_status->setText(QStringLiteral("Copied."));
}

QString BalanceWindow::commandLine() const {
    if (!m_arena.chosen[0] || !m_arena.chosen[1]) return {};
    const int16_t one = *m_arena.chosen[0], two = *m_arena.chosen[1];
    // Changes to other monsters do not touch these odds.
    std::vector<RecordOverride> matter;
    std::copy_if(m_changes.begin(), m_changes.end(), std::back_inserter(matter),
                 [&](const RecordOverride& c) { return c.index == one || c.index == two; });
    return QStringLiteral("karnwick odds %1 %2 --csv").arg(one).arg(two) + setOptions(matter) +
           " --dir " + shellWord(m_arena.folder);
}

void BalanceWindow::copyCommandLine() {
    const QString line = commandLine();
    if (line.isEmpty()) return report(QStringLiteral("Choose two monsters in the arena first."));
    QApplication::clipboard()->setText(line);
    m_status->setText(QStringLiteral("Copied: ") + line);
}

bool BalanceWindow::savePicture(const std::filesystem::path& file) {
    QImage image;
    switch (m_tabs->currentIndex()) {
        case kMatchUpTab:
            image = drawMatchUp(m_matchUpView->picture());
            break;
        case kRosterTab:
            image = charts::drawHeatMap(m_rosterView->picture());
            break;
        case kSweepTab:
            image = drawSweep(m_sweepView->picture());
            break;
        default:
            report(QStringLiteral("The Check tab has no picture."));
            return false;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(image)) {
        report("The picture cannot be drawn: " + writer.errorString());
        return false;
    }
    try {
        writeFileAtomically(file,
                            std::span(reinterpret_cast<const unsigned char*>(bytes.constData()),
                                      static_cast<std::size_t>(bytes.size())),
                            Existing::Replace);
    } catch (const GameError& error) {
        report(QString::fromStdString(error.what()));
        return false;
    }
    m_status->setText(QStringLiteral("Saved ") + QString::fromStdString(file.string()));
    return true;
}

void BalanceWindow::savePictureAsked() {
    std::optional<std::filesystem::path> file;
    if (m_pickPicture) {
        file = m_pickPicture();
    } else {
        const QString name =
            QFileDialog::getSaveFileName(this, QStringLiteral("Save Picture"), QString(),
                                         QStringLiteral("PNG pictures (*.png)"));
        if (!name.isEmpty()) file = std::filesystem::path(name.toStdString());
    }
    if (file) savePicture(*file);
}

void BalanceWindow::report(const QString& message) {
    m_status->setText(message);
}

}  // namespace karnwick::balance
