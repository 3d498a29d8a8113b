#pragma once
// The Balance window: the exact odds of the arena's match-up, the whole
// roster's heat map, a balance curve and the checker's findings, live as the
// user tries a change to a record. A change is a what-if, as `karnwick --set`
// makes it: the game files are never written. Every number is worked out off
// the window's thread; a newer request cancels an older one of its kind and
// answers arrive in the order asked.

#include <QPointer>
#include <QWidget>
#include <array>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "battle/battle.h"
#include "battle/game_files_check.h"
#include "battle/odds.h"
#include "data/record_override.h"
#include "ui/balance_views.h"
#include "ui/work_lane.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QThreadPool;
class QTreeWidget;

namespace karnwick::balance {

// What the window reads from the arena's main window.
struct ArenaState {
    std::filesystem::path folder;
    int lastIndex = -1;
    // The monster each list has chosen, none before a choice.
    std::array<std::optional<int16_t>, 2> chosen;
    Fighters fighters{};
    // The HP and agility texts of the boxes, which FIGHT starts from.
    StartingTexts start;
};

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
    const std::vector<RecordOverride>& changes() const { return m_changes; }

    // What Ctrl+C copies from the current tab: the command line's CSV with
    // tabs (check's text for Check); empty while the tab is still working.
    QString copiedText() const;
    // The `karnwick odds A B --csv --set ...` line of the match-up.
    QString commandLine() const;
    // Writes the current tab's chart as a PNG; reports and returns false on
    // failure or when the tab has no chart.
    bool savePicture(const std::filesystem::path& file);
    // Replaces the file dialog of Save Picture (tests).
    using PicturePicker = std::function<std::optional<std::filesystem::path>()>;
    void setPicturePicker(PicturePicker picker) { m_pickPicture = std::move(picker); }

    // True when every request made so far has been answered (tests, benchmarks).
    bool isSettled() const;
    // The roster's rows worked out so far.
    int rosterRowsDone() const { return m_rosterRowsDone; }

    QTabWidget* tabs() const { return m_tabs; }
    // The what-if box of `field` ("hp") for a side.
    QSpinBox* whatIfBox(std::string_view field, int side) const;
    QPushButton* resetButton() const { return m_reset; }
    RosterView* rosterView() const { return m_rosterView; }
    SweepView* sweepView() const { return m_sweepView; }
    MatchUpView* matchUpView() const { return m_matchUpView; }
    QListWidget* checkList() const { return m_checkList; }
    QComboBox* sweepSide() const { return m_sweepSide; }
    QComboBox* sweepField() const { return m_sweepField; }
    QSpinBox* sweepFrom() const { return m_sweepFrom; }
    QSpinBox* sweepTo() const { return m_sweepTo; }
    QSpinBox* sweepStep() const { return m_sweepStep; }
    QLabel* statusLabel() const { return m_status; }

    void copyToClipboard();
    void copyCommandLine();

  signals:
    // The user chose a pair in the heat map.
    void pairChosen(int one, int two);
    // The user chose a finding about a monster.
    void monsterChosen(int index);
    // Every request so far is answered.
    void settled();

  private:
    QWidget* createMatchUpTab();
    QWidget* createRosterTab();
    QWidget* createSweepTab();
    QWidget* createCheckTab();
    void createShortcuts();

    // The chosen monster's record with the what-if changes.
    MonsterStats changed(int side) const;
    void showWhatIfValues();
    void whatIfEdited(int side, std::size_t field, int value);
    void resetChanges();
    void changesMade(const std::vector<int16_t>& monsters);

    void requestMatchUp();
    void requestRoster();
    void requestRosterMonsters(std::vector<int16_t> monsters);
    void requestSweep();
    void requestCheck();
    // The sweep the tab opens on: Monster Two's hp, no target.
    void defaultSweep();
    // Until the user sets a range, it is 1 to twice Monster Two's hp as its
    // record now stands (what-if changes included), at least 1 to 100.
    void followSweepRange();
    // The cells at these places of the grid were worked out or made unknown.
    void showRosterCells(const std::vector<std::size_t>& cells);
    void showRosterProgress();
    void showRanking();
    void tabShown(int index);
    void savePictureAsked();
    void report(const QString& message);
    void workDone();

    ArenaState m_arena;
    std::vector<RecordOverride> m_changes;
    PicturePicker m_pickPicture;

    QTabWidget* m_tabs = nullptr;
    QLabel* m_status = nullptr;
    // Match-up
    MatchUpView* m_matchUpView = nullptr;
    std::vector<std::array<QSpinBox*, 2>> m_whatIf;
    QPushButton* m_reset = nullptr;
    std::optional<BattleOdds> m_matchUpOdds;
    std::array<int, 2> m_matchUpPair{-1, -1};
    // Roster
    RosterView* m_rosterView = nullptr;
    QTreeWidget* m_ranking = nullptr;
    QProgressBar* m_rosterProgress = nullptr;
    std::vector<MonsterStats> m_rosterBase;  // as the files hold them
    std::vector<std::string> m_rosterLabels;
    std::vector<OutcomeOdds> m_rosterOdds;
    std::vector<char> m_rosterKnown;
    std::vector<int16_t> m_rosterDirty;  // rows and columns being worked out again
    int m_rosterRowsDone = 0;
    bool m_rosterWanted = false;
    // Sweep
    QComboBox* m_sweepSide = nullptr;
    QComboBox* m_sweepField = nullptr;
    QSpinBox* m_sweepFrom = nullptr;
    QSpinBox* m_sweepTo = nullptr;
    QSpinBox* m_sweepStep = nullptr;
    QCheckBox* m_sweepHasTarget = nullptr;
    QDoubleSpinBox* m_sweepTarget = nullptr;
    SweepView* m_sweepView = nullptr;
    bool m_sweepDone = false;
    bool m_sweepRangeEdited = false;
    // Check
    QListWidget* m_checkList = nullptr;
    std::optional<GameFilesReport> m_checkReport;
    QString m_checkFailure;

    std::array<WorkLane, 4> m_lanes;
};

}  // namespace karnwick::balance
