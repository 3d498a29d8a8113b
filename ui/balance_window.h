#pragma once
// The Balance window: the exact odds of the arena's match-up, the whole
// roster's heat map, a balance curve and the checker's findings, live as the
// user tries a change to a record. A change is a what-if, as `karnwick --set`
// makes it: the game files are never written. Every number is worked out off
// the window's thread; a newer request cancels an older one of its kind and
// answers arrive in the order asked.
//
// The window holds the what-if changes and hands them to each tab; the tabs
// own their controls and their work.

#include <QWidget>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "battle/record_override.h"
#include "ui/balance_state.h"
#include "ui/balance_views.h"
#include "ui/work_lane.h"

class QComboBox;
class QLabel;
class QPushButton;
class QShortcut;
class QTimer;
class QSpinBox;
class QTabWidget;

namespace karnwick::balance {

class BalanceTab;
class CheckTab;
class MatchUpTab;
class RosterTab;
class SweepTab;

// How long a status message stays.
inline constexpr int kStatusTime = 5000;  // milliseconds

class BalanceWindow : public QWidget {
    Q_OBJECT
  public:
    explicit BalanceWindow(QWidget* parent = nullptr);
    ~BalanceWindow() override;

    // The arena's choices changed: Match-up and Sweep follow them.
    void setArena(const ArenaState& arena);
    // The game files were read again: every tab is worked out anew; the
    // what-if changes stay where their monster still exists.
    void reload(const ArenaState& arena);

    // The what-if changes, as --set texts would make them.
    void setChanges(std::vector<RecordOverride> changes);
    const std::vector<RecordOverride>& changes() const { return m_state.changes; }

    // What Ctrl+C copies from the current tab: the command line's CSV with
    // tabs (check's text for Check); empty while the tab is still working.
    QString copiedText() const;
    // The karnwick command that prints what the tab shown shows: `odds A B
    // --csv --set ...` for the match-up, `matrix`, `sweep` or `check`.
    QString commandLine() const;
    // Writes the current tab's chart as a PNG; reports and returns false on
    // failure or when the tab has no chart.
    bool savePicture(const std::filesystem::path& file);
    // Replaces the file dialog of Save Picture (tests); it is given the file
    // the dialog would suggest.
    using PicturePicker =
        std::function<std::optional<std::filesystem::path>(const std::filesystem::path& suggested)>;
    void setPicturePicker(PicturePicker picker) { m_pickPicture = std::move(picker); }

    // True when every request made so far has been answered (tests, benchmarks).
    bool isSettled() const;
    // The roster's rows worked out so far.
    int rosterRowsDone() const;

    QTabWidget* tabs() const { return m_tabs; }
    MatchUpTab* matchUpTab() const { return m_matchUp; }
    RosterTab* rosterTab() const { return m_roster; }
    SweepTab* sweepTab() const { return m_sweep; }
    CheckTab* checkTab() const { return m_check; }
    // The what-if box of `field` ("hp") for a side.
    QSpinBox* whatIfBox(std::string_view field, int side) const;
    QPushButton* resetButton() const;
    RosterView* rosterView() const;
    SweepView* sweepView() const;
    MatchUpView* matchUpView() const;

    QComboBox* sweepSide() const;
    QComboBox* sweepField() const;
    QSpinBox* sweepFrom() const;
    QSpinBox* sweepTo() const;
    QSpinBox* sweepStep() const;
    QLabel* statusLabel() const { return m_status; }

    void copyToClipboard();
    void copyCommandLine();

  signals:
    // The user picked a monster for one side.
    void monsterPicked(int side, int index);
    // The user chose a pair in the heat map.
    void pairChosen(int one, int two);
    // The user chose a finding about a monster.
    void monsterChosen(int index);
    // Every request so far is answered.
    void settled();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void createButtons(QLayout* row);
    void createShortcuts();
    BalanceTab* currentTab() const;

    void dropChangesTheFilesHold();
    void whatIfEdited(int side, std::size_t field, int value);
    void resetChanges();
    void changesMade(const std::vector<int16_t>& monsters);
    void tabShown(int index);
    void savePictureAsked();
    void report(const QString& message);
    void workDone();

    WhatIfState m_state;
    PicturePicker m_pickPicture;
    // Where pictures were saved last: the next Save Picture opens there.
    std::filesystem::path m_pictureFolder;

    QTabWidget* m_tabs = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_save = nullptr;
    QShortcut* m_saveShortcut = nullptr;
    QTimer* m_statusClear = nullptr;
    MatchUpTab* m_matchUp = nullptr;
    RosterTab* m_roster = nullptr;
    SweepTab* m_sweep = nullptr;
    CheckTab* m_check = nullptr;
    WorkLane m_namesLane{this};  // the roster's names, for the monster pickers
    void readNames();
};

}  // namespace karnwick::balance
