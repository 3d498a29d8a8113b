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
class QSpinBox;

namespace karnwick::balance {

class SweepView;

class SweepTab : public BalanceTab {
    Q_OBJECT
  public:
    explicit SweepTab(QWidget* parent = nullptr);

    // The arena or the changes moved on; `fresh` after the files were read
    // again, when the sweep starts over from Monster Two's hp.
    void showState(const WhatIfState& state, bool fresh);

    QString copiedText() const override;
    QImage picture() const override;
    QString pictureName() const override;

    SweepView* view() const { return m_view; }
    QComboBox* side() const { return m_side; }
    QComboBox* field() const { return m_field; }
    QSpinBox* from() const { return m_from; }
    QSpinBox* to() const { return m_to; }
    QSpinBox* step() const { return m_step; }

  private:
    void createControls();
    // The sweep the tab opens on: Monster Two's hp, no target.
    void startOver();
    // Until the user sets a range, it is 1 to twice Monster Two's hp as its
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
    std::vector<RecordOverride> m_changes;  // those the curve shown was found with
    bool m_done = false;
    bool m_rangeEdited = false;
};

}  // namespace karnwick::balance
