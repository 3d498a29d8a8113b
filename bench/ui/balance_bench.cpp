// The Balance window on the demo set, offscreen: how long a what-if change
// takes to reach Match-up and the Roster, how soon the Roster is whole after
// its tab opens, how soon a 342-monster roster shows its first rows, and the
// longest the event loop waits while a large roster fills (counter
// stallMs, which should stay within a frame, 16 ms).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <memory>

#include "demo/set.h"
#include "ui/balance_launcher.h"
#include "ui/balance_window.h"
#include "ui/main_window.h"

namespace {

using karnwick::balance::BalanceWindow;

// The demo set `copies` times over (57 monsters each), made the current folder.
class DemoFolder {
  public:
    explicit DemoFolder(int copies) {
        const std::filesystem::path dir = m_dir.path().toStdString();
        const karnwick::DemoSet set = karnwick::makeDemoSet();
        std::ofstream(dir / "mypal.pal", std::ios::binary) << set.palette;
        std::ofstream sprites(dir / "monster.dat", std::ios::binary);
        std::ofstream records(dir / "monsters.tat", std::ios::binary);
        for (int i = 0; i < copies; ++i) {
            sprites.write(reinterpret_cast<const char*>(set.sprites.data()),
                          static_cast<std::streamsize>(set.sprites.size()));
            records.write(reinterpret_cast<const char*>(set.records.data()),
                          static_cast<std::streamsize>(set.records.size()));
        }
        std::filesystem::current_path(dir);
    }

  private:
    QTemporaryDir m_dir;
};

struct Arena {
    explicit Arena(int copies) : folder(copies) {
        window.setErrorReporter([](const QString&) {});
        window.loadMainWindow(std::filesystem::current_path());
        window.show();
        window.balance().choose(0, 3);
        window.balance().choose(1, 5);
    }
    ~Arena() { delete window.balance().window(); }
    BalanceWindow& open() {
        BalanceWindow& balance = *window.balance().open();
        settle(balance);
        return balance;
    }
    static void settle(BalanceWindow& balance) {
        while (!balance.isSettled()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    DemoFolder folder;
    MainWindow window;
};

// Typing a digit into Monster Two's hit points until Match-up shows the new odds.
void BM_WhatIfUpdatesMatchUp(benchmark::State& state) {
    Arena arena(1);
    BalanceWindow& balance = arena.open();
    QSpinBox* hp = balance.whatIfBox("hp", 1);
    int value = 40;
    for (auto _ : state) {
        hp->setValue(++value % 2 ? 41 : 42);
        Arena::settle(balance);
    }
}
BENCHMARK(BM_WhatIfUpdatesMatchUp)->Unit(benchmark::kMillisecond)->UseRealTime();

// Opening the Roster tab until the whole heat map and ranking show.
void BM_RosterAppears(benchmark::State& state) {
    Arena arena(1);
    for (auto _ : state) {
        delete arena.window.balance().window();
        BalanceWindow& balance = arena.open();
        balance.tabs()->setCurrentIndex(1);
        Arena::settle(balance);
    }
}
BENCHMARK(BM_RosterAppears)->Unit(benchmark::kMillisecond)->UseRealTime();

// A what-if change on a whole roster: the changed monster's row and column.
void BM_WhatIfUpdatesRoster(benchmark::State& state) {
    Arena arena(1);
    BalanceWindow& balance = arena.open();
    balance.tabs()->setCurrentIndex(1);
    Arena::settle(balance);
    QSpinBox* strength = balance.whatIfBox("strength", 0);
    int value = 0;
    for (auto _ : state) {
        strength->setValue(++value % 2 ? 30 : 31);
        Arena::settle(balance);
    }
}
BENCHMARK(BM_WhatIfUpdatesRoster)->Unit(benchmark::kMillisecond)->UseRealTime();

// A roster of 342 monsters: the time to its first rows, and the longest wait
// of a 1 ms timer on the event loop while the whole roster fills.
void BM_LargeRosterFirstRows(benchmark::State& state) {
    Arena arena(6);
    qint64 stall = 0;
    for (auto _ : state) {
        delete arena.window.balance().window();
        BalanceWindow& balance = arena.open();
        QElapsedTimer sinceTick;
        QTimer ticks;
        QObject::connect(&ticks, &QTimer::timeout,
                         [&] { stall = std::max(stall, sinceTick.restart()); });
        ticks.start(1);
        sinceTick.start();
        balance.tabs()->setCurrentIndex(1);
        while (balance.rosterRowsDone() == 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        state.PauseTiming();
        Arena::settle(balance);
        state.ResumeTiming();
    }
    state.counters["stallMs"] = static_cast<double>(stall);
}
BENCHMARK(BM_LargeRosterFirstRows)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
