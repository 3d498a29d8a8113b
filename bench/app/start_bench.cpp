// Start-up of the arena against a bare Qt window, offscreen: each iteration
// launches the program and waits until its first window has been painted (the
// probe linked into both programs ends them there). The arena starts in a demo
// set, with its settings in a temporary folder. Offscreen by default.

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
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

void launchUntilFirstPaint(benchmark::State& state, const std::string& program,
                           std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), program);
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto _ : state) {
        pid_t pid = 0;
        if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot launch the program");
            return;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("the program did not reach its first paint");
            return;
        }
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

}  // namespace

BENCHMARK_MAIN();
