#pragma once
// Ties the Balance window to the arena's main window: Ctrl+B makes it on
// first use (so the arena starts as fast without it) or raises it; it follows
// the two lists' choices and the files read again with F5 or Ctrl+O, and its
// heat map and checker choose monsters in the lists as a player would.

#include <QObject>
#include <QPointer>
#include <array>
#include <optional>
#include <vector>

#include "battle/record_override.h"

class MainWindow;

namespace karnwick::balance {

class BalanceWindow;
struct ArenaState;

class BalanceLauncher : public QObject {
    Q_OBJECT
  public:
    explicit BalanceLauncher(MainWindow& arena);

    // What-if changes the window starts with when it is made (--set).
    void setStartChanges(std::vector<RecordOverride> changes) {
        m_startChanges = std::move(changes);
    }
    // Makes the window if needed, shows and raises it.
    BalanceWindow* open();
    // The window, or null when it was never opened or was closed.
    BalanceWindow* window() const;

    // Chooses monster `index` in a list, as a pick from the list does.
    void choose(int side, int index);

  private:
    ArenaState arenaState() const;
    // With start changes and no pair chosen yet, chooses the first changed
    // monster as Monster One.
    void chooseChangedPair();
    void choiceMade(int side, int index);
    void filesRead();

    MainWindow& m_arena;
    QPointer<BalanceWindow> m_window;
    std::vector<RecordOverride> m_startChanges;
    std::array<std::optional<int16_t>, 2> m_chosen;
};

}  // namespace karnwick::balance
