#pragma once
// The Sweep tab: a balance curve of one field of one of the arena's two
// monsters over a range, with a target if wanted. It opens on Monster Two's
// hit points; until the user sets a range it follows that record.

#include "charts/sweep_curve.h"
#include "ui/balance_state.h"
#include "ui/balance_tab.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QProgressBar;
class QSpinBox;
class QVBoxLayout;
class QTimer;

namespace karnwick::balance {

class MonsterPicker;
class SweepView;

// How long the typing in a number box pauses before the sweep follows it.
inline constexpr int kTypingPause = 300;  // milliseconds
// A sweep of more values than this shows its progress.
inline constexpr std::size_t kQuickSweep = 2000;

class SweepTab : public BalanceTab {
    Q_OBJECT
  public:
    explicit SweepTab(QWidget* parent = nullptr);
    ~SweepTab() override { stopWork(); }

    // The arena or the changes moved on: the field, side and a range the
    // user set stay; a range not set follows the swept record.
    void showState(const WhatIfState& state);

    bool isSettled() const override;
    QString copiedText() const override;
    QImage picture() const override;
    QString pictureName() const override;
    QString command(const WhatIfState& state) const override;

    SweepView* view() const { return m_view; }
    QComboBox* side() const { return m_side; }
    QComboBox* field() const { return m_field; }
    QSpinBox* from() const { return m_from; }
    QSpinBox* to() const { return m_to; }
    QSpinBox* step() const { return m_step; }
    MonsterPicker* picker(int side) const { return m_pickers[static_cast<std::size_t>(side)]; }
    // The roster's labels for the pickers (monsterLabel).
    void setLabels(const std::vector<std::string>& labels);
    // Shows the arena's choices in the pickers.
    void showChoices(const WhatIfState& state);

  signals:
    // The user picked monster `index` for a side.
    void monsterPicked(int side, int index);

  private:
    void createControls();
    void addControlRows(QVBoxLayout* layout);
    // Until the user sets a range, it is 1 to twice the swept number as its
    // record now stands (what-if changes included), at least 1 to 100.
    void followRange();
    void request();
    charts::SweepCurve curveAsked(const Fighters& fighters) const;

    WhatIfState m_state;
    QComboBox* m_side = nullptr;
    QComboBox* m_field = nullptr;
    QSpinBox* m_from = nullptr;
    QSpinBox* m_to = nullptr;
    QSpinBox* m_step = nullptr;
    QCheckBox* m_hasTarget = nullptr;
    QDoubleSpinBox* m_target = nullptr;
    SweepView* m_view = nullptr;
    std::array<MonsterPicker*, 2> m_pickers{};
    QProgressBar* m_progress = nullptr;
    QTimer* m_typing = nullptr;             // the pause after typing a number
    std::vector<RecordOverride> m_changes;  // those the curve shown was found with
    bool m_done = false;
    bool m_rangeEdited = false;
};

}  // namespace karnwick::balance
