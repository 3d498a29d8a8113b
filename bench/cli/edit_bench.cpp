// `karnwick set`, `karnwick import sprite`, `sweep` and `matrix` as a modder
// runs them: whole processes, start-up included, beside the bare programs
// that show what any start-up costs. Each reports the peak memory of the process
// (peak_rss_kB), its processor time (process_cpu_ms: on a busy machine the
// wall time is mostly waiting) and what it wrote (written_kB: the bytes it dirtied, as the
// kernel counts them). The sprite import goes into a sparse monster.dat of
// 32768 sprites (295 MB long, a few hundred kB of data): the copy must skip
// the holes and write only the data and the new sprite (file_kB: what the
// new file holds on disk); it runs without the edit history, which would
// have to keep a copy of the whole 295 MB file and refuses one so large.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Usage {
    long peakKilobytes = 0;
    long writtenKilobytes = 0;
    double cpuMilliseconds = 0;  // user + system time of the process

    // Takes in one more run: the largest peak and writes, the summed time.
    void add(const Usage& run) {
        peakKilobytes = std::max(peakKilobytes, run.peakKilobytes);
        writtenKilobytes = std::max(writtenKilobytes, run.writtenKilobytes);
        cpuMilliseconds += run.cpuMilliseconds;
    }
};

// Runs `program` with `arguments`, quietly; aborts the benchmark on a
// failure.
Usage runProcess(benchmark::State& state, const char* program, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), program);
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    Usage usage;
    if (posix_spawn(&pid, program, &actions, nullptr, argv.data(), environ) != 0) {
        state.SkipWithError("cannot start the program");
        return usage;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    struct rusage resources {};
    wait4(pid, &status, 0, &resources);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("the program failed");
    usage.peakKilobytes = resources.ru_maxrss;
    usage.writtenKilobytes = resources.ru_oublock / 2;
    usage.cpuMilliseconds = double(resources.ru_utime.tv_sec + resources.ru_stime.tv_sec) * 1e3 +
                            double(resources.ru_utime.tv_usec + resources.ru_stime.tv_usec) / 1e3;
    return usage;
}

Usage runKarnwick(benchmark::State& state, std::vector<std::string> arguments) {
    return runProcess(state, KARNWICK_BINARY, std::move(arguments));
}

// The demo set in a fresh folder: on the disk of the temporary folder, or
// with `inMemory` on /dev/shm, where fsync costs nothing, to tell the
// command's own time from the disk's.
std::filesystem::path demoFolder(benchmark::State& state, const std::string& name, bool inMemory) {
    const std::filesystem::path base =
        inMemory ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path();
    const std::filesystem::path dir =
        base / ("karnwick-bench-" + name + "-" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    runKarnwick(state, {"demo-data", dir.string()});
    return dir;
}

void report(benchmark::State& state, const Usage& most) {
    state.counters["peak_rss_kB"] = double(most.peakKilobytes);
    state.counters["written_kB"] = double(most.writtenKilobytes);
    state.counters["process_cpu_ms"] = most.cpuMilliseconds / double(state.iterations());
}

// One field of one monster of the 57-monster demo set. On a disk, most of the
// time is the two fsyncs the writer owes (the file, then its folder).
void BM_SetProcess(benchmark::State& state) {
    const std::filesystem::path dir = demoFolder(state, "set", state.range(0) == 1);
    Usage most;
    int value = 0;
    for (auto _ : state) {
        most.add(runKarnwick(state, {"set", "12", "hp=" + std::to_string(100 + value++ % 50),
                                     "--dir", dir.string()}));
    }
    report(state, most);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SetProcess)
    ->ArgName("shm")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ImportSpriteIntoSparseFile(benchmark::State& state) {
    const std::filesystem::path dir = demoFolder(state, "sprite", state.range(0) == 1);
    const std::filesystem::path sprites = dir / "monster.dat";
    std::filesystem::resize_file(sprites, std::uintmax_t{32768} * 9000);
    const std::string one = (dir / "one.png").string(), two = (dir / "two.png").string();
    runKarnwick(state, {"export", "sprite", "1", "-o", one, "--dir", dir.string()});
    runKarnwick(state, {"export", "sprite", "2", "-o", two, "--dir", dir.string()});
    Usage most;
    bool flip = false;
    for (auto _ : state) {
        // A different picture every time, so every run writes.
        flip = !flip;
        most.add(runKarnwick(state, {"import", "sprite", "20000", flip ? one : two, "--no-history",
                                     "--dir", dir.string()}));
    }
    report(state, most);
    struct stat status {};
    ::stat(sprites.c_str(), &status);
    state.counters["file_kB"] = double(status.st_blocks / 2);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ImportSpriteIntoSparseFile)
    ->ArgName("shm")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// What every command pays before its own work: loading the program and Qt's
// core, as `karnwick --version` does and no more.
void BM_StartProcess(benchmark::State& state) {
    Usage most;
    for (auto _ : state) {
        most.add(runKarnwick(state, {"--version"}));
    }
    report(state, most);
}
BENCHMARK(BM_StartProcess)->Unit(benchmark::kMillisecond)->UseRealTime();

// The yardsticks of that start-up: 0, a C++ program with no library beyond
// the standard one; 1, a program that links Qt's core and ends before using
// it; 2, one that also reads its command line through Qt, as karnwick does.
// What karnwick pays beyond 2 is its own; the gap from 0 to 2 is what any
// command pays while it reads its options through Qt.
void BM_StartYardstick(benchmark::State& state) {
    const char* program = state.range(0) == 0 ? KARNWICK_BARE_PROGRAM : KARNWICK_BARE_CORE;
    const std::vector<std::string> arguments =
        state.range(0) == 1 ? std::vector<std::string>{"--no-qt"} : std::vector<std::string>{};
    Usage most;
    for (auto _ : state) {
        most.add(runProcess(state, program, arguments));
    }
    report(state, most);
}
BENCHMARK(BM_StartYardstick)
    ->ArgName("program")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// A balance curve of 300 values on the demo set: on one thread its wall time
// should be its processor time, no waiting on a clock, and under 20 ms; Qt's
// graphics, which it does not draw with, are never loaded.
void BM_SweepProcess(benchmark::State& state) {
    const std::filesystem::path dir = demoFolder(state, "sweep", true);
    Usage most;
    for (auto _ : state) {
        most.add(runKarnwick(state, {"sweep", "0", "5", "5.hp", "1..300", "--threads",
                                     std::to_string(state.range(0)), "--dir", dir.string()}));
    }
    report(state, most);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SweepProcess)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Every pair of the demo set's 57 monsters, on one thread and on two: the
// second should take little more than half the first's wall time.
void BM_MatrixProcess(benchmark::State& state) {
    const std::filesystem::path dir = demoFolder(state, "matrix", true);
    Usage most;
    for (auto _ : state) {
        most.add(runKarnwick(
            state, {"matrix", "--threads", std::to_string(state.range(0)), "--dir", dir.string()}));
    }
    report(state, most);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_MatrixProcess)
    ->ArgName("threads")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The figure that matters for the matrix: one thread against two, launched
// in turns so that both meet the same state of the machine. "speedup" is the
// wall time on one thread over the wall time on two; "cpu_one_ms" and
// "cpu_two_ms" are the processes' processor times.
void BM_MatrixTwoThreadsAgainstOne(benchmark::State& state) {
    const std::filesystem::path dir = demoFolder(state, "matrix-pair", true);
    auto timed = [&](const char* threads, double& cpu) {
        const auto start = std::chrono::steady_clock::now();
        cpu += runKarnwick(state, {"matrix", "--threads", threads, "--dir", dir.string()})
                   .cpuMilliseconds;
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    double one = 0, two = 0, cpuOne = 0, cpuTwo = 0;
    for (auto _ : state) {
        one += timed("1", cpuOne);
        const double wall = timed("2", cpuTwo);
        two += wall;
        state.SetIterationTime(wall);
    }
    const double n = double(state.iterations());
    state.counters["speedup"] = one / two;
    state.counters["cpu_one_ms"] = cpuOne / n;
    state.counters["cpu_two_ms"] = cpuTwo / n;
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_MatrixTwoThreadsAgainstOne)->Unit(benchmark::kMillisecond)->UseManualTime();

}  // namespace

BENCHMARK_MAIN();
