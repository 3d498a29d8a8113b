#pragma once
// The Roster tab: the heat map of Monster One's chance of winning for every
// pair and the ranking beside it. The roster is worked out only once the tab
// is first shown; a large one fills a band of rows at a time, and a what-if
// change works out only the changed monsters' rows and columns again.

#include <array>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "battle/odds.h"
#include "charts/heat_map.h"
#include "ui/balance_state.h"
#include "ui/balance_tab.h"
#include "ui/balance_text.h"

class QProgressBar;
class QTreeWidget;

namespace karnwick::balance {

class RosterView;

class RosterTab : public BalanceTab {
    Q_OBJECT
  public:
    explicit RosterTab(QWidget* parent = nullptr);
    ~RosterTab() override { stopWork(); }

    // The tab is shown: the roster is worked out from now on.
    void want(const WhatIfState& state);
    // The game files were read again: the records are read anew.
    void reload(const WhatIfState& state);
    // Every what-if change was replaced: the whole roster again.
    void changesSet(const WhatIfState& state);
    // The arena chose another pair: the keyboard cursor goes to it.
    void followArena(const WhatIfState& state);
    // The changes of these monsters were made or undone.
    void changesMade(const WhatIfState& state, std::vector<int16_t> monsters);

    QString copiedText() const override;
    QImage picture() const override;
    QString pictureName() const override { return QStringLiteral("roster.png"); }
    QString command(const WhatIfState& state) const override {
        return "matrix --csv" + setOptions(state.changes);
    }

    RosterView* view() const { return m_view; }
    QTreeWidget* ranking() const { return m_ranking; }
    // The roster's rows worked out so far.
    int rowsDone() const { return m_rowsDone; }

  signals:
    // The user chose a pair in the heat map, and stays on it.
    void pairChosen(int one, int two);
    // The user asked for a pair's match-up.
    void pairOpened(int one, int two);
    // The user chose a monster in the ranking, for Monster One.
    void monsterChosen(int index);

  private:
    void request(const WhatIfState& state);
    void fill(const WorkLane::Stale& stale, quint64 generation, const std::filesystem::path& folder,
              std::vector<MonsterStats> base, const std::vector<RecordOverride>& changes, int count,
              const std::vector<int16_t>& fresh);
    void fillBase(const WorkLane::Stale& stale, quint64 generation,
                  const std::vector<MonsterStats>& base, const std::vector<int16_t>& monsters);
    // The changed monsters whose odds as the files hold them are not known yet.
    std::vector<int16_t> unrankedBase(const WhatIfState& state) const;
    std::vector<std::size_t> placesBefore() const;
    void fillRows(const WorkLane::Stale& stale, quint64 generation,
                  const std::vector<MonsterStats>& monsters);
    // The records read and the grids made: the map starts grey.
    void start(std::vector<MonsterStats> base, charts::HeatMap picture, const QString& failure);
    void rowsArrived(std::size_t first, std::size_t count, const std::vector<OutcomeOdds>& rows);
    bool whole() const;
    // The cells at these places of the grid were worked out or made unknown.
    void showCells(const std::vector<std::size_t>& cells);
    void showProgress();
    void showRanking();

    RosterView* m_view = nullptr;
    QTreeWidget* m_ranking = nullptr;
    QProgressBar* m_progress = nullptr;
    std::vector<MonsterStats> m_base;  // as the files hold them
    std::vector<std::string> m_labels;
    std::vector<OutcomeOdds> m_odds;
    std::vector<char> m_known;
    std::vector<RecordOverride> m_changes;  // those the map is worked out with
    std::vector<int16_t> m_dirty;
    // The files' odds of the pairs of changed monsters, for their move.
    std::map<std::size_t, OutcomeOdds> m_baseOdds;
    std::set<int16_t> m_baseDone;  // rows and columns being worked out again
    int m_rowsDone = 0;
    bool m_wanted = false;
    std::array<std::optional<int16_t>, 2> m_pair;  // the arena's, for the cursor
};

}  // namespace karnwick::balance
