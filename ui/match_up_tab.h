#pragma once
// The Match-up tab: the exact odds of the arena's two monsters as FIGHT
// would fight them, beside a box for every number of both records a battle
// reads, where a what-if change is typed.

#include <array>
#include <optional>
#include <string_view>
#include <vector>

#include "battle/odds.h"
#include "ui/balance_state.h"
#include "ui/balance_tab.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace karnwick::balance {

class MatchUpView;
class MonsterPicker;

class MatchUpTab : public BalanceTab {
    Q_OBJECT
  public:
    explicit MatchUpTab(QWidget* parent = nullptr);
    ~MatchUpTab() override { stopWork(); }

    // Shows the state's records in the boxes and works the odds out anew.
    void showState(const WhatIfState& state);

    QString copiedText() const override;
    QImage picture() const override;
    QString pictureName() const override;
    QString command(const WhatIfState& state) const override;

    // The what-if box of `field` ("hp") for a side.
    QSpinBox* whatIfBox(std::string_view field, int side) const;
    QPushButton* resetButton() const { return m_reset; }
    MatchUpView* view() const { return m_view; }
    MonsterPicker* picker(int side) const { return m_pickers[static_cast<std::size_t>(side)]; }
    // The roster's labels for the pickers (monsterLabel).
    void setLabels(const std::vector<std::string>& labels);

  signals:
    // The user picked monster `index` for a side.
    void monsterPicked(int side, int index);
    // The user typed `value` for field `field` (of kBattleFields) of a side.
    void whatIfEdited(int side, std::size_t field, int value);
    void resetAsked();

  private:
    QGroupBox* createWhatIfBoxes();
    void showWhatIfValues(const WhatIfState& state);
    void requestOdds(const WhatIfState& state);

    MatchUpView* m_view = nullptr;
    std::array<MonsterPicker*, 2> m_pickers{};
    std::vector<std::array<QSpinBox*, 2>> m_whatIf;
    std::vector<std::array<QLabel*, 2>> m_fileValues;  // the files' value beside a change
    QPushButton* m_reset = nullptr;
    std::optional<BattleOdds> m_odds;
    std::array<int, 2> m_pair{-1, -1};
    std::vector<RecordOverride> m_changes;  // those the odds shown were found with
};

}  // namespace karnwick::balance
