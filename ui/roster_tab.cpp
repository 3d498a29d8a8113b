#include "ui/roster_tab.h"

#include <QHBoxLayout>
#include <QProgressBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <numeric>

#include "battle/outcome_columns.h"
#include "data/folder_lock.h"
#include "data/game_file.h"
#include "data/sprite.h"
#include "ui/balance_text.h"
#include "ui/balance_views.h"

namespace karnwick::balance {

namespace {

// The roster's rows come a band at a time, each band about this long to work
// out, so the first rows show soon and a newer request waits little.
constexpr std::chrono::milliseconds kBandTime{40};

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

// A ranking row sorts by the numbers its texts show, not by the texts: rank
// 10 after 9, "<0.01%" below "0.01%".
class RankingRow : public QTreeWidgetItem {
  public:
    RankingRow(const QStringList& texts, std::vector<double> numbers, int monster)
        : QTreeWidgetItem(texts), m_numbers(std::move(numbers)), m_monster(monster) {}
    int monster() const { return m_monster; }
    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        const auto& theirs = static_cast<const RankingRow&>(other).m_numbers;
        return m_numbers[static_cast<std::size_t>(column)] <
               theirs[static_cast<std::size_t>(column)];
    }

  private:
    std::vector<double> m_numbers;
    int m_monster;
};

QString headingOf(std::string_view key) {
    const std::string_view heading = outcomeColumn(key).heading;
    return QString::fromUtf8(heading.data(), static_cast<qsizetype>(heading.size()));
}

}  // namespace

RosterTab::RosterTab(QWidget* parent) : BalanceTab(parent) {
    m_view = new RosterView(this);
    m_view->setOdds(&m_odds);
    connect(m_view, &RosterView::pairChosen, this, &RosterTab::pairChosen);
    connect(m_view, &RosterView::pairOpened, this, &RosterTab::pairOpened);
    m_ranking = new QTreeWidget(this);
    m_ranking->setAccessibleName(QStringLiteral("Ranking by mean chance of winning"));
    m_ranking->setHeaderLabels({QStringLiteral("Rank"), QStringLiteral("Monster"),
                                QStringLiteral("Mean chance of winning"), headingOf("error"),
                                headingOf("turnCap")});
    m_ranking->setRootIsDecorated(false);
    m_ranking->setSortingEnabled(true);
    m_ranking->sortByColumn(0, Qt::AscendingOrder);
    m_ranking->setToolTip(
        QStringLiteral("Click a heading to sort; choose a row to make that "
                       "monster Monster One"));
    auto choose = [this](QTreeWidgetItem* item) {
        if (item) emit monsterChosen(static_cast<RankingRow*>(item)->monster());
    };
    connect(m_ranking, &QTreeWidget::itemActivated, this, choose);
    connect(m_ranking, &QTreeWidget::itemClicked, this, choose);
    m_progress = new QProgressBar(this);
    m_progress->setAccessibleName(QStringLiteral("Roster progress"));
    m_progress->setFormat(QStringLiteral("%v of %m monsters"));
    auto* side = new QVBoxLayout;
    side->addWidget(m_progress);
    side->addWidget(m_ranking, 1);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_view, 3);
    layout->addLayout(side, 2);
}

void RosterTab::followArena(const WhatIfState& state) {
    m_pair = state.arena.chosen;
    if (m_pair[0] && m_pair[1]) m_view->setCurrentPair(*m_pair[0], *m_pair[1]);
}

void RosterTab::want(const WhatIfState& state) {
    if (m_wanted) return;
    m_wanted = true;
    request(state);
}

void RosterTab::reload(const WhatIfState& state) {
    m_base.clear();
    if (m_wanted) request(state);
}

void RosterTab::changesSet(const WhatIfState& state) {
    if (m_wanted) request(state);
}

void RosterTab::request(const WhatIfState& state) {
    const int n = state.arena.lastIndex + 1;
    m_rowsDone = 0;
    m_dirty.clear();
    // The grids come with the names, made on the lane's thread: a large
    // roster's would keep the window's thread busy for a frame or more.
    m_odds.clear();
    m_known.clear();
    m_changes = state.changes;
    m_progress->setRange(0, n);
    showProgress();
    m_progress->show();
    m_ranking->clear();
    lane().run([this, folder = state.arena.folder, base = m_base, changes = state.changes, n](
                   const WorkLane::Stale& stale, quint64 generation) {
        fill(stale, generation, folder, base, changes, n);
    });
}

// On the lane's thread: the records (read once), then the rows band by band.
void RosterTab::fill(const WorkLane::Stale& stale, quint64 generation,
                     const std::filesystem::path& folder, std::vector<MonsterStats> base,
                     const std::vector<RecordOverride>& changes, int count) {
    QString failure;
    try {
        if (static_cast<int>(base.size()) != count) base = readRoster(folder, count);
    } catch (const std::exception& error) {
        failure = QString::fromStdString(error.what());
    }
    if (stale()) return;
    const std::size_t cells = base.size() * base.size();
    charts::HeatMap picture{{}, std::vector<double>(cells, std::nan(""))};
    for (std::size_t i = 0; i < base.size(); ++i)
        picture.labels.push_back(std::to_string(i) + " " + trimmedName(base[i]));
    postIfCurrent(
        lane(), generation,
        [this, base, failure, picture = std::move(picture), odds = std::vector<OutcomeOdds>(cells),
         known = std::vector<char>(cells, 0)]() mutable {
            m_odds = std::move(odds);
            m_known = std::move(known);
            start(std::move(base), std::move(picture), failure);
        });
    if (!failure.isEmpty()) return;
    std::vector<MonsterStats> monsters = std::move(base);
    for (std::size_t i = 0; i < monsters.size(); ++i)
        applyRecordOverrides(changes, static_cast<int>(i), monsters[i]);
    fillRows(stale, generation, monsters);
}

void RosterTab::fillRows(const WorkLane::Stale& stale, quint64 generation,
                         const std::vector<MonsterStats>& monsters) {
    // The first band is one row; later bands are sized by how long the rows
    // before them took.
    std::size_t band = 1;
    for (std::size_t first = 0; first < monsters.size() && !stale();) {
        const auto began = std::chrono::steady_clock::now();
        const std::size_t count = std::min(band, monsters.size() - first);
        std::vector<OutcomeOdds> rows = oddsMatrixRows(monsters, first, count, workerThreads());
        const auto took = std::chrono::steady_clock::now() - began;
        postIfCurrent(lane(), generation, [this, first, count, rows = std::move(rows)] {
            rowsArrived(first, count, rows);
        });
        first += count;
        const double perRow =
            std::chrono::duration<double>(took).count() / static_cast<double>(count);
        band = std::clamp<std::size_t>(
            static_cast<std::size_t>(std::chrono::duration<double>(kBandTime).count() /
                                     std::max(perRow, 1e-9)),
            1, 64);
    }
}

void RosterTab::start(std::vector<MonsterStats> base, charts::HeatMap picture,
                      const QString& failure) {
    m_base = std::move(base);
    m_labels = picture.labels;
    m_view->setPicture(std::move(picture));
    if (m_pair[0] && m_pair[1]) m_view->setCurrentPair(*m_pair[0], *m_pair[1]);
    if (!failure.isEmpty()) emit failed(failure);
    showCells({});
}

void RosterTab::rowsArrived(std::size_t first, std::size_t count,
                            const std::vector<OutcomeOdds>& rows) {
    const std::size_t size = m_base.size();
    std::copy(rows.begin(), rows.end(), m_odds.begin() + static_cast<std::ptrdiff_t>(first * size));
    std::fill_n(m_known.begin() + static_cast<std::ptrdiff_t>(first * size), count * size, 1);
    m_rowsDone = static_cast<int>(first + count);
    std::vector<std::size_t> done(count * size);
    std::iota(done.begin(), done.end(), first * size);
    showCells(done);
}

void RosterTab::changesMade(const WhatIfState& state, std::vector<int16_t> changedMonsters) {
    if (!m_wanted) return;
    const std::size_t n = m_base.size();
    // A roster still filling starts again with the change; a whole one has
    // only the changed monsters' rows and columns worked out again.
    if (n == 0 || m_rowsDone < static_cast<int>(n)) return request(state);
    // Monsters whose answer was cancelled by this newer request go with it.
    changedMonsters.insert(changedMonsters.end(), m_dirty.begin(), m_dirty.end());
    std::sort(changedMonsters.begin(), changedMonsters.end());
    changedMonsters.erase(std::unique(changedMonsters.begin(), changedMonsters.end()),
                          changedMonsters.end());
    m_dirty = changedMonsters;
    m_changes = state.changes;
    std::vector<MonsterStats> monsters = m_base;
    for (std::size_t i = 0; i < n; ++i)
        applyRecordOverrides(state.changes, static_cast<int>(i), monsters[i]);
    std::vector<std::size_t> unknown;
    for (const int16_t i : changedMonsters)
        for (std::size_t j = 0; j < n; ++j) {
            unknown.push_back(static_cast<std::size_t>(i) * n + j);
            unknown.push_back(j * n + static_cast<std::size_t>(i));
        }
    for (const std::size_t at : unknown) m_known[at] = 0;
    showCells(unknown);
    lane().run(
        [this, monsters, changedMonsters, n](const WorkLane::Stale& stale, quint64 generation) {
            std::vector<std::pair<std::size_t, OutcomeOdds>> cells;
            for (const int16_t i : changedMonsters) {
                const auto a = static_cast<std::size_t>(i);
                for (std::size_t j = 0; j < n && !stale(); ++j) {
                    cells.emplace_back(a * n + j,
                                       OutcomeOdds(battleOdds(Fighters{monsters[a], monsters[j]})));
                    if (j != a)
                        cells.emplace_back(
                            j * n + a, OutcomeOdds(battleOdds(Fighters{monsters[j], monsters[a]})));
                }
            }
            if (stale()) return;
            postIfCurrent(lane(), generation, [this, cells = std::move(cells)] {
                m_dirty.clear();
                std::vector<std::size_t> known;
                for (const auto& [at, odds] : cells) {
                    m_odds[at] = odds;
                    m_known[at] = 1;
                    known.push_back(at);
                }
                showCells(known);
            });
        });
}

bool RosterTab::whole() const {
    return !m_known.empty() &&
           std::all_of(m_known.begin(), m_known.end(), [](char k) { return k; });
}

void RosterTab::showCells(const std::vector<std::size_t>& cells) {
    std::vector<RosterView::CellChance> chances;
    chances.reserve(cells.size());
    for (const std::size_t at : cells) {
        const OutcomeOdds& odds = m_odds[at];
        chances.push_back(m_known[at]
                              ? RosterView::CellChance{at, odds.oneWins, odds.error + odds.turnCap}
                              : RosterView::CellChance{at, std::nan(""), 0.0});
    }
    m_view->setChances(chances);
    showProgress();
    m_progress->setVisible(!whole());
    if (whole()) showRanking();
}

void RosterTab::showProgress() {
    // A progress bar paints every dirty part of the window at once when its
    // value changes; with updates held back, all of it is painted in the
    // event loop's next turn instead, with the band's new cells.
    m_progress->setUpdatesEnabled(false);
    m_progress->setValue(m_rowsDone);
    m_progress->setUpdatesEnabled(true);
}

void RosterTab::showRanking() {
    const std::size_t n = m_base.size();
    // Each monster's battles, as Monster One and as Monster Two: an error or
    // the turn cap is nobody's win, and shown apart so it is not read as a loss.
    std::vector<double> wins(n, 0.0), errors(n, 0.0), caps(n, 0.0);
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b) {
            const OutcomeOdds& odds = m_odds[a * n + b];
            wins[a] += odds.oneWins;
            wins[b] += odds.twoWins;
            for (const std::size_t i : {a, b}) {
                errors[i] += odds.error;
                caps[i] += odds.turnCap;
            }
        }
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t x, std::size_t y) { return wins[x] > wins[y]; });
    m_ranking->clear();
    QList<QTreeWidgetItem*> items;
    for (std::size_t r = 0; r < n; ++r) {
        const std::size_t i = order[r];
        const double battles = 2.0 * static_cast<double>(n);
        const double win = wins[i] / battles, error = errors[i] / battles, cap = caps[i] / battles;
        items << new RankingRow({QString::number(r + 1), QString::fromStdString(m_labels[i]),
                                 percentText(win), percentText(error), percentText(cap)},
                                {static_cast<double>(r), static_cast<double>(i), win, error, cap},
                                static_cast<int>(i));
    }
    m_ranking->addTopLevelItems(items);
}

QString RosterTab::copiedText() const {
    if (!whole() || !isSettled()) return {};
    return whatIfLine(m_changes) + tabSeparated(rosterTable(m_odds, m_base.size()));
}

QImage RosterTab::picture() const {
    return charts::drawHeatMap(m_view->picture());
}

}  // namespace karnwick::balance
