// Start-up of the arena against a bare Qt window, offscreen: each iteration
// launches the program and waits until its first window has been painted (the
// probe linked into both programs ends them there). The arena starts in a demo
// set, with its settings in a temporary folder. Offscreen by default.

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "data/file_writer.h"
#include "demo/set.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct StartFolders {
    fs::path root;
    fs::path game;
    StartFolders() {
        char pattern[] = "/tmp/karnwick-start-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        root = pattern;
        game = root / "game";
        fs::create_directory(game);
        const karnwick::DemoSet set = karnwick::makeDemoSet();
        const std::vector<fs::path> names = karnwick::demoFileNames();
        karnwick::writeFileAtomically(game / names[0], set.palette, karnwick::Existing::Replace);
        karnwick::writeFileAtomically(game / names[1], set.sprites, karnwick::Existing::Replace);
        karnwick::writeFileAtomically(game / names[2], set.records, karnwick::Existing::Replace);
        // Offscreen unless the caller names a platform: run with
        // QT_QPA_PLATFORM=xcb on a display to see what the window system adds.
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        const fs::path runtime = root / "runtime";
        fs::create_directory(runtime);
        fs::permissions(runtime, fs::perms::owner_all);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
    ~StartFolders() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

StartFolders& folders() {
    static StartFolders f;
    return f;
}

// A program and its arguments, ready to launch.
class Launch {
  public:
    Launch(const std::string& program, std::vector<std::string> arguments)
        : m_program(program), m_arguments(std::move(arguments)) {
        m_arguments.insert(m_arguments.begin(), program);
        for (std::string& a : m_arguments) m_argv.push_back(a.data());
        m_argv.push_back(nullptr);
    }

    // Milliseconds from launch to the program's end at its first paint; an
    // error on `state` (and 0) when it cannot be launched or fails.
    double runUntilFirstPaint(benchmark::State& state) {
        const auto start = std::chrono::steady_clock::now();
        pid_t pid = 0;
        if (posix_spawn(&pid, m_program.c_str(), nullptr, nullptr, m_argv.data(), environ) != 0) {
            state.SkipWithError("cannot launch the program");
            return 0;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the program did not reach its first paint");
            return 0;
        }
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count();
    }

  private:
    std::string m_program;
    std::vector<std::string> m_arguments;
    std::vector<char*> m_argv;
};

void launchUntilFirstPaint(benchmark::State& state, const std::string& program,
                           std::vector<std::string> arguments) {
    Launch launch(program, std::move(arguments));
    for (auto _ : state) {
        if (launch.runUntilFirstPaint(state) == 0) return;
    }
}

void BM_BareWindowToFirstPaint(benchmark::State& state) {
    folders();
    launchUntilFirstPaint(state, KARNWICK_BARE_PROBE, {});
}
BENCHMARK(BM_BareWindowToFirstPaint)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Iterations(5)
    ->UseRealTime();

void BM_BareWindowWithTextToFirstPaint(benchmark::State& state) {
    folders();
    launchUntilFirstPaint(state, KARNWICK_BARE_PROBE, {"--text"});
}
BENCHMARK(BM_BareWindowWithTextToFirstPaint)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Iterations(5)
    ->UseRealTime();

void BM_ArenaToFirstPaint(benchmark::State& state) {
    launchUntilFirstPaint(state, KARNWICK_ARENA_PROBE, {folders().game.string()});
}
BENCHMARK(BM_ArenaToFirstPaint)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Iterations(5)
    ->UseRealTime();

// The figure that matters: the arena against the window with text, launched
// in turns so that both meet the same state of the machine. "ratio" is the
// arena's time over the window's.
void BM_ArenaAgainstTextWindow(benchmark::State& state) {
    Launch window(KARNWICK_BARE_PROBE, {"--text"});
    Launch arena(KARNWICK_ARENA_PROBE, {folders().game.string()});
    double windowTotal = 0;
    double arenaTotal = 0;
    for (auto _ : state) {
        const double windowTime = window.runUntilFirstPaint(state);
        const double arenaTime = arena.runUntilFirstPaint(state);
        if (windowTime == 0 || arenaTime == 0) return;
        windowTotal += windowTime;
        arenaTotal += arenaTime;
        state.SetIterationTime(arenaTime / 1000);
    }
    state.counters["text_window_ms"] = benchmark::Counter(windowTotal / double(state.iterations()));
    state.counters["ratio"] = benchmark::Counter(arenaTotal / windowTotal);
}
BENCHMARK(BM_ArenaAgainstTextWindow)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true)
    ->Iterations(10)
    ->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
