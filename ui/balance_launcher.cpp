#include "ui/balance_launcher.h"

#include <QComboBox>
#include <QLineEdit>
#include <QShortcut>

#include "ui/balance_window.h"
#include "ui/main_window.h"

namespace karnwick::balance {

BalanceLauncher::BalanceLauncher(MainWindow& arena) : QObject(&arena), m_arena(arena) {
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_B), &arena);
    connect(shortcut, &QShortcut::activated, this, [this] { open(); });
    for (int side = 0; side < 2; ++side) {
        // After the main window's own handler: the record is loaded by then.
        connect(arena.monsterList(side), &QComboBox::activated, this,
                [this, side](int index) { choiceMade(side, index); });
    }
    connect(&arena, &MainWindow::gameFilesRead, this, &BalanceLauncher::filesRead);
}

BalanceWindow* BalanceLauncher::window() const {
    return m_window.data();
}

ArenaState BalanceLauncher::arenaState() const {
    ArenaState state;
    state.folder = m_arena.gameFolder();
    state.lastIndex = m_arena.lastMonsterIndex();
    state.chosen = m_chosen;
    state.fighters = m_arena.fighters();
    for (int side = 0; side < 2; ++side) {
        state.start.hp[static_cast<std::size_t>(side)] =
            m_arena.statBox("hp", side)->text().toStdString();
        state.start.agility[static_cast<std::size_t>(side)] =
            m_arena.statBox("agility", side)->text().toStdString();
    }
    return state;
}

void BalanceLauncher::chooseChangedPair() {
    if (m_startChanges.empty() || (m_chosen[0] && m_chosen[1])) return;
    // A proposed change opens on a battle of the changed monster, not on an
    // empty page: against the arena's other choice, or against monster 0.
    const int changed = m_startChanges.front().index;
    int other = 0;
    for (const auto& chosen : {m_chosen[1], m_chosen[0]})
        if (chosen && *chosen != changed) other = *chosen;
    choose(0, changed);
    choose(1, other);
}

BalanceWindow* BalanceLauncher::open() {
    if (!m_window) {
        chooseChangedPair();
        m_window = new BalanceWindow;
        m_window->setWindowIcon(m_arena.windowIcon());
        connect(m_window, &BalanceWindow::pairChosen, this, [this](int one, int two) {
            choose(0, one);
            choose(1, two);
        });
        connect(m_window, &BalanceWindow::monsterChosen, this,
                [this](int index) { choose(0, index); });
        connect(m_window, &BalanceWindow::monsterPicked, this,
                [this](int side, int index) { choose(side, index); });
        m_window->setChanges(m_startChanges);
        m_window->reload(arenaState());
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    return m_window;
}

void BalanceLauncher::choose(int side, int index) {
    QComboBox* list = m_arena.monsterList(side);
    if (index < 0 || index >= list->count()) return;
    list->setCurrentIndex(index);
    emit list->activated(index);
}

void BalanceLauncher::choiceMade(int side, int index) {
    if (index < 0 || index > m_arena.lastMonsterIndex()) return;
    m_chosen[static_cast<std::size_t>(side)] = static_cast<int16_t>(index);
    if (m_window) m_window->setArena(arenaState());
}

void BalanceLauncher::filesRead() {
    // The panels start empty again after the files are read.
    m_chosen = {};
    if (m_window) {
        m_startChanges = m_window->changes();
        m_window->reload(arenaState());
    }
}

}  // namespace karnwick::balance
