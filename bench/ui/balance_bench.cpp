// The Balance window on the demo set, offscreen: how long a what-if change
// takes to reach Match-up and the Roster, how soon the Roster is whole after
// its tab opens, how soon a 342-monster roster shows its first rows. Each
// also gives the longest gap between two turns of the event loop while it
// runs (counter stallMs, which should stay within a frame, 16 ms).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <ctime>
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

// The longest gap between two ticks of a 1 ms timer: how long the event
// loop was kept from turning (stallMs). On a loaded machine much of that is
// the window's thread waiting for a core, so busyMs gives the most CPU time
// the window's thread spent between two ticks: its own share of a stall.
class StallWatch {
  public:
    StallWatch() {
        QObject::connect(&m_ticks, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_sinceTick.restart());
            const double now = threadMilliseconds();
            m_busiest = std::max(m_busiest, now - m_cpuAtTick);
            m_cpuAtTick = now;
        });
        m_ticks.setTimerType(Qt::PreciseTimer);
    }
    void start() {
        m_sinceTick.start();
        m_cpuAtTick = threadMilliseconds();
        m_ticks.start(1);
    }
    void stop() { m_ticks.stop(); }
    void report(benchmark::State& state) const {
        state.counters["stallMs"] = static_cast<double>(m_longest);
        state.counters["busyMs"] = m_busiest;
    }

  private:
    static double threadMilliseconds() {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
    }
    QTimer m_ticks;
    QElapsedTimer m_sinceTick;
    qint64 m_longest = 0;
    double m_cpuAtTick = 0;
    double m_busiest = 0;
};

struct Arena {
    explicit Arena(int copies) : folder(copies) {
        window.setErrorReporter([](const QString&) {});
        window.loadGameFolder(std::filesystem::current_path());
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

// The event loop with nothing of the window's to do: the stall the machine's
// own load makes, to read the others' stallMs against.
void BM_IdleEventLoop(benchmark::State& state) {
    StallWatch watch;
    watch.start();
    for (auto _ : state) {
        QElapsedTimer idle;
        idle.start();
        while (idle.elapsed() < 1000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    watch.report(state);
}
BENCHMARK(BM_IdleEventLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// Typing a digit into Monster Two's hit points until Match-up shows the new odds.
void BM_WhatIfUpdatesMatchUp(benchmark::State& state) {
    Arena arena(1);
    BalanceWindow& balance = arena.open();
    QSpinBox* hp = balance.whatIfBox("hp", 1);
    StallWatch watch;
    watch.start();
    int value = 40;
    for (auto _ : state) {
        hp->setValue(++value % 2 ? 41 : 42);
        Arena::settle(balance);
    }
    watch.report(state);
}
BENCHMARK(BM_WhatIfUpdatesMatchUp)->Unit(benchmark::kMillisecond)->UseRealTime();

// Opening the Roster tab until the whole heat map and ranking show.
void BM_RosterAppears(benchmark::State& state) {
    Arena arena(1);
    StallWatch watch;
    for (auto _ : state) {
        state.PauseTiming();
        watch.stop();
        delete arena.window.balance().window();
        BalanceWindow& balance = arena.open();
        QCoreApplication::processEvents();
        watch.start();
        state.ResumeTiming();
        balance.tabs()->setCurrentIndex(1);
        Arena::settle(balance);
        QCoreApplication::processEvents();
    }
    watch.report(state);
}
BENCHMARK(BM_RosterAppears)->Unit(benchmark::kMillisecond)->UseRealTime();

// A what-if change on a whole roster: the changed monster's row and column.
void BM_WhatIfUpdatesRoster(benchmark::State& state) {
    Arena arena(1);
    BalanceWindow& balance = arena.open();
    balance.tabs()->setCurrentIndex(1);
    Arena::settle(balance);
    QSpinBox* strength = balance.whatIfBox("strength", 0);
    StallWatch watch;
    watch.start();
    int value = 0;
    for (auto _ : state) {
        strength->setValue(++value % 2 ? 30 : 31);
        Arena::settle(balance);
    }
    watch.report(state);
}
BENCHMARK(BM_WhatIfUpdatesRoster)->Unit(benchmark::kMillisecond)->UseRealTime();

// A roster of 342 monsters: the time from opening its tab to its first rows.
// The roster goes on filling for a few seconds more, with a what-if change
// typed meanwhile, to see how long the event loop is kept waiting; closing
// the window then cancels the rest (the whole roster takes minutes).
void BM_LargeRosterFirstRows(benchmark::State& state) {
    Arena arena(6);
    StallWatch watch;
    int rows = 0;
    for (auto _ : state) {
        state.PauseTiming();
        watch.stop();
        delete arena.window.balance().window();
        BalanceWindow& balance = arena.open();
        QCoreApplication::processEvents();
        watch.start();
        state.ResumeTiming();
        balance.tabs()->setCurrentIndex(1);
        while (balance.rosterRowsDone() == 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents();
        state.PauseTiming();
        QElapsedTimer filling;
        filling.start();
        bool typed = false;
        while (filling.elapsed() < 3000) {
            if (!typed && filling.elapsed() > 1000) {
                balance.whatIfBox("strength", 0)->setValue(31);
                typed = true;
            }
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        rows = balance.rosterRowsDone();
        state.ResumeTiming();
    }
    watch.report(state);
    state.counters["rowsAfter3s"] = rows;
}
BENCHMARK(BM_LargeRosterFirstRows)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

// The whole 16-bit range of Monster Two's hit points in the Sweep tab, until
// the curve shows: to read against `karnwick sweep 3 5 5.hp -32768..32767`
// on the same machine, which takes the same path on as many threads.
void BM_FullHitPointSweep(benchmark::State& state) {
    Arena arena(1);
    BalanceWindow& balance = arena.open();
    balance.tabs()->setCurrentIndex(2);
    Arena::settle(balance);
    StallWatch watch;
    watch.start();
    int last = INT16_MAX;
    for (auto _ : state) {
        balance.sweepFrom()->setValue(INT16_MIN);
        balance.sweepTo()->setValue(last);
        last = last == INT16_MAX ? INT16_MAX - 1 : INT16_MAX;
        // As Enter after typing: no pause for more typing.
        emit balance.sweepTo()->editingFinished();
        Arena::settle(balance);
    }
    watch.report(state);
}
BENCHMARK(BM_FullHitPointSweep)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
