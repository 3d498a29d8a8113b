#pragma once
// The Check tab: the findings of `karnwick check` on the game folder;
// choosing one about a monster chooses it in the arena.

#include <QString>
#include <filesystem>
#include <optional>

#include "battle/game_files_check.h"
#include "ui/balance_state.h"
#include "ui/balance_tab.h"
#include "ui/balance_text.h"

class QLabel;
class QTreeWidget;

namespace karnwick::balance {

class CheckTab : public BalanceTab {
    Q_OBJECT
  public:
    explicit CheckTab(QWidget* parent = nullptr);
    ~CheckTab() override { stopWork(); }

    // Checks the folder's files anew, the records as the what-if changes
    // leave them.
    void check(const WhatIfState& state);
    // Checks them unless a check was asked for already.
    void want(const WhatIfState& state);
    // The what-if changes moved on: a check asked for before is made again.
    void changesMade(const WhatIfState& state);

    QString copiedText() const override;
    QImage picture() const override { return {}; }
    bool hasPicture() const override { return false; }
    QString command(const WhatIfState& state) const override {
        return "check" + setOptions(state.changes);
    }

    // One row a finding: monster, field, problem, coloured by severity.
    QTreeWidget* table() const { return m_table; }
    QLabel* summary() const { return m_summary; }

  signals:
    void monsterChosen(int index);

  private:
    void showFindings(const std::optional<GameFilesReport>& found, const QString& failure);

    QTreeWidget* m_table = nullptr;
    QLabel* m_summary = nullptr;
    bool m_asked = false;
    std::vector<RecordOverride> m_changes;  // those the findings shown were made with
    std::optional<GameFilesReport> m_report;
    QString m_failure;
};

}  // namespace karnwick::balance
