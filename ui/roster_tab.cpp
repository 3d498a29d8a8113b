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
#include "data/sprite.h"
#include "ui/balance_text.h"
#include "ui/balance_views.h"
#include "ui/shown_words.h"

namespace karnwick::balance {

namespace {

// The roster's rows come a band at a time, each band about this long to work
// out, so the first rows show soon and a newer request waits little.
constexpr std::chrono::milliseconds kBandTime{40};

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

using Cells = std::vector<std::pair<std::size_t, OutcomeOdds>>;

// The odds of every pair with one of `monsters` in it, a * n + b each.
Cells crossCells(const std::vector<MonsterStats>& roster, const std::vector<int16_t>& monsters,
                 const WorkLane::Stale& stale) {
    const std::size_t n = roster.size();
    Cells cells;
    for (const int16_t i : monsters) {
        const auto a = static_cast<std::size_t>(i);
        for (std::size_t j = 0; j < n && !stale(); ++j) {
            cells.emplace_back(a * n + j, OutcomeOdds(battleOdds(Fighters{roster[a], roster[j]})));
            if (j != a)
                cells.emplace_back(j * n + a,
                                   OutcomeOdds(battleOdds(Fighters{roster[j], roster[a]})));
        }
    }
    return cells;
}

// The monsters the what-if changes touch, each once.
std::vector<int16_t> changedIndexes(const std::vector<RecordOverride>& changes) {
    std::vector<int16_t> indexes;
    for (const RecordOverride& c : changes) indexes.push_back(c.index);
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    return indexes;
}

// "1st", "2nd", "43rd", "11th".
QString ordinal(std::size_t place) {
    const std::size_t tens = place % 100, units = place % 10;
    const char* suffix = tens >= 11 && tens <= 13 ? "th"
                         : units == 1             ? "st"
                         : units == 2             ? "nd"
                         : units == 3             ? "rd"
                                                  : "th";
    return QString::number(place) + suffix;
}

QString headingOf(std::string_view key) {
    return qText(outcomeColumn(key).heading);
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
                                headingOf("turnCap"), QStringLiteral("Move")});
    m_ranking->setRootIsDecorated(false);
    m_ranking->setSortingEnabled(true);
    m_ranking->sortByColumn(0, Qt::AscendingOrder);
    m_ranking->setToolTip("Click a heading to sort; choose a row to make that monster " +
                          sideText(0));
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
    m_baseOdds.clear();
    m_baseDone.clear();
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
    m_view->setChanges(changedIndexes(state.changes), whatIfTitle(state.changes));
    if (static_cast<int>(m_base.size()) != n) {
        m_baseOdds.clear();
        m_baseDone.clear();
    }
    lane().run([this, folder = state.arena.folder, base = m_base, changes = state.changes, n,
                fresh = unrankedBase(state)](const WorkLane::Stale& stale, quint64 generation) {
        fill(stale, generation, folder, base, changes, n, fresh);
    });
}

// On the lane's thread: the records (read once), then the rows band by band.
void RosterTab::fill(const WorkLane::Stale& stale, quint64 generation,
                     const std::filesystem::path& folder, std::vector<MonsterStats> base,
                     const std::vector<RecordOverride>& changes, int count,
                     const std::vector<int16_t>& fresh) {
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
        picture.labels.push_back(monsterLabel(static_cast<int>(i), base[i]));
    postIfCurrent(
        lane(), generation,
        [this, base, failure, picture = std::move(picture), odds = std::vector<OutcomeOdds>(cells),
         known = std::vector<char>(cells, 0)]() mutable {
            m_odds = std::move(odds);
            m_known = std::move(known);
            start(std::move(base), std::move(picture), failure);
        });
    if (!failure.isEmpty()) return;
    std::vector<MonsterStats> monsters = base;
    for (std::size_t i = 0; i < monsters.size(); ++i)
        applyRecordOverrides(changes, static_cast<int>(i), monsters[i]);
    fillRows(stale, generation, monsters);
    fillBase(stale, generation, base, fresh);
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
    picture.marked = changedIndexes(m_changes);
    picture.whatIf = whatIfTitle(m_changes);
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
    m_view->setChanges(changedIndexes(state.changes), whatIfTitle(state.changes));
    lane().run([this, monsters, changedMonsters, base = m_base, fresh = unrankedBase(state)](
                   const WorkLane::Stale& stale, quint64 generation) {
        const Cells cells = crossCells(monsters, changedMonsters, stale);
        if (stale()) return;
        postIfCurrent(lane(), generation, [this, cells] {
            m_dirty.clear();
            std::vector<std::size_t> known;
            for (const auto& [at, odds] : cells) {
                m_odds[at] = odds;
                m_known[at] = 1;
                known.push_back(at);
            }
            showCells(known);
        });
        fillBase(stale, generation, base, fresh);
    });
}

std::vector<int16_t> RosterTab::unrankedBase(const WhatIfState& state) const {
    std::vector<int16_t> missing;
    for (const int16_t i : changedIndexes(state.changes))
        if (!m_baseDone.contains(i)) missing.push_back(i);
    return missing;
}

// On the lane's thread: the files' odds of changed monsters, for their move
// in the ranking.
void RosterTab::fillBase(const WorkLane::Stale& stale, quint64 generation,
                         const std::vector<MonsterStats>& base,
                         const std::vector<int16_t>& monsters) {
    if (monsters.empty()) return;
    const Cells cells = crossCells(base, monsters, stale);
    if (stale()) return;
    postIfCurrent(lane(), generation, [this, cells, monsters] {
        for (const auto& [at, odds] : cells) m_baseOdds[at] = odds;
        m_baseDone.insert(monsters.begin(), monsters.end());
        if (whole()) showRanking();
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

namespace {

// Each monster's share of its battles, as Monster One and as Monster Two,
// that it wins, that stop with an error and that reach the turn cap: an error
// or the cap is nobody's win, and shown apart so it is not read as a loss.
struct RankingShares {
    std::vector<double> wins, errors, caps;
};

RankingShares rankingShares(const std::vector<OutcomeOdds>& odds, std::size_t n) {
    RankingShares shares{std::vector<double>(n), std::vector<double>(n), std::vector<double>(n)};
    const double battles = 2.0 * static_cast<double>(n);
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = 0; b < n; ++b) {
            const OutcomeOdds& pair = odds[a * n + b];
            shares.wins[a] += pair.oneWins / battles;
            shares.wins[b] += pair.twoWins / battles;
            for (const std::size_t i : {a, b}) {
                shares.errors[i] += pair.error / battles;
                shares.caps[i] += pair.turnCap / battles;
            }
        }
    return shares;
}

// The places of a ranking by wins: place[i] is monster i's, from 0.
std::vector<std::size_t> placesOf(const std::vector<double>& wins) {
    std::vector<std::size_t> order(wins.size()), place(wins.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t x, std::size_t y) { return wins[x] > wins[y]; });
    for (std::size_t r = 0; r < order.size(); ++r) place[order[r]] = r;
    return place;
}

}  // namespace

// The places the files' records would take, once the files' odds of every
// changed monster are known; empty before.
std::vector<std::size_t> RosterTab::placesBefore() const {
    const std::vector<int16_t> changed = changedIndexes(m_changes);
    if (changed.empty() || !std::all_of(changed.begin(), changed.end(),
                                        [&](int16_t i) { return m_baseDone.contains(i); }))
        return {};
    std::vector<OutcomeOdds> before = m_odds;
    for (const auto& [at, odds] : m_baseOdds) before[at] = odds;
    return placesOf(rankingShares(before, m_base.size()).wins);
}

void RosterTab::showRanking() {
    const std::size_t n = m_base.size();
    const RankingShares now = rankingShares(m_odds, n);
    const std::vector<std::size_t> place = placesOf(now.wins), before = placesBefore();
    const std::vector<int16_t> changed = changedIndexes(m_changes);
    m_ranking->clear();
    QList<QTreeWidgetItem*> items;
    for (std::size_t i = 0; i < n; ++i) {
        const bool moved = !before.empty() && std::binary_search(changed.begin(), changed.end(), i);
        const QString move = moved ? ordinal(before[i] + 1) + " -> " + ordinal(place[i] + 1) : "";
        items << new RankingRow(
            {QString::number(place[i] + 1), QString::fromStdString(m_labels[i]),
             qText(percentText(now.wins[i])), qText(percentText(now.errors[i])),
             qText(percentText(now.caps[i])), move},
            {static_cast<double>(place[i]), static_cast<double>(i), now.wins[i], now.errors[i],
             now.caps[i],
             moved ? static_cast<double>(place[i]) - static_cast<double>(before[i]) : 0.0},
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
