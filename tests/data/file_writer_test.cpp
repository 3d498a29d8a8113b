// The writer's promises under every failure it can meet: an injected failure
// at each system call, a full file system, and kills at random moments of a
// large write. Every time, the target is the old file or the whole new one and
// no temporary file is left.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "data/errors.h"
#include "data/file_writer.h"
#include "game_files.h"

using namespace karnwick;
namespace fs = std::filesystem;

namespace {

std::string contentsOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::string bytes(in ? static_cast<std::size_t>(in.tellg()) : 0, '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

void put(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Temporary files of the writer anywhere below `dir`.
std::set<std::string> temporaryNames(const fs::path& dir) {
    std::set<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.path().filename().string().find(".karnwick-") != std::string::npos)
            found.insert(entry.path().string());
    return found;
}

int temporariesIn(const fs::path& dir) {
    return static_cast<int>(temporaryNames(dir).size());
}

// One system call of the writer made to fail at its at-th use.
struct Fault {
    std::string step;
    int at = 0;
    int calls = 0;
    bool hit() { return ++calls == at; }
};
Fault g_fault;

template <typename Call, typename... Args>
auto failOr(const char* step, int error, Call real, Args... args) {
    if (g_fault.step == step && g_fault.hit()) {
        if constexpr (sizeof...(Args) == 1) real(args...);  // a failed close still closes
        errno = error;
        return decltype(real(args...))(-1);
    }
    return real(args...);
}

struct InjectedCalls {
    InjectedCalls() {
        saved = writerCalls();
        writerCalls() = {
            [](int fd, const void* b, std::size_t n) {
                return failOr("write", ENOSPC, ::write, fd, b, n);
            },
            [](int fd) { return failOr("fsync", EIO, ::fsync, fd); },
            [](int fd) { return failOr("close", EIO, ::close, fd); },
            [](const char* a, const char* b) { return failOr("rename", EACCES, ::rename, a, b); },
            [](const char* a, const char* b) { return failOr("link", EMLINK, ::link, a, b); },
            [](const char* p, mode_t m) { return failOr("mkdir", EACCES, ::mkdir, p, m); },
        };
    }
    ~InjectedCalls() { writerCalls() = saved; }
    WriterCalls saved;
};

// A write of one file or of a set, with what the folder held before and what
// it must hold after a success.
struct Scenario {
    const char* what;
    std::function<void(const fs::path& dir)> prepare;
    std::function<void(const fs::path& dir)> write;
    std::function<std::string(const fs::path& dir)> state;  // of the targets
    std::string before, after;
};

const std::string kNew(200 * 1024, 'n');

// A file's contents in a few words, for messages: "new" or the old text.
std::string shown(const fs::path& path) {
    const std::string bytes = contentsOf(path);
    if (bytes == kNew) return "new";
    return bytes.size() < 40 ? bytes : std::to_string(bytes.size()) + " other bytes";
}

std::string setState(const fs::path& dir) {
    if (!fs::exists(dir)) return "no folder";
    return shown(dir / "a") + "|" + shown(dir / "b") + "|" + shown(dir / "c");
}

std::vector<Scenario> scenarios() {
    const std::string whole = "new|new|new";
    auto writeSet = [](const fs::path& dir) {
        const SetFile files[] = {{"a", kNew}, {"b", kNew}, {"c", kNew}};
        writeFileSet(dir, files, Existing::Replace);
    };
    return {
        {"one file over an old one", [](const fs::path& d) { put(d / "t", "old"); },
         [](const fs::path& d) { writeFileAtomically(d / "t", kNew, Existing::Replace); },
         [](const fs::path& d) { return shown(d / "t"); }, "old", "new"},
        {"a set over old files",
         [](const fs::path& d) {
             for (const char* n : {"a", "b", "c"}) put(d / n, std::string("old ") + n);
         },
         writeSet, setState, "old a|old b|old c", whole},
        {"a set into new folders", [](const fs::path&) {},
         [&](const fs::path& d) { writeSet(d / "new" / "deeper"); },
         [](const fs::path& d) {
             return fs::exists(d / "new") ? setState(d / "new" / "deeper") : "no folder";
         },
         "no folder", whole},
    };
}

}  // namespace

// Every call of every step fails once in turn: write, fsync, close, rename,
// link (keeping the old files of a set) and mkdir.
TEST(FileWriter, AFailureAtAnyStepLeavesTheOldFilesAndNoTemporaryFile) {
    const std::map<std::string, int> errorOf = {{"write", ENOSPC}, {"fsync", EIO},
                                                {"close", EIO},    {"rename", EACCES},
                                                {"link", EMLINK},  {"mkdir", EACCES}};
    int injected = 0;
    for (const Scenario& scenario : scenarios()) {
        for (const char* step : {"write", "fsync", "close", "rename", "link", "mkdir"}) {
            for (int at = 1;; ++at) {
                SCOPED_TRACE(std::string(scenario.what) + ", " + step + " #" + std::to_string(at));
                karnwick::testing::GameFolder folder;
                scenario.prepare(folder.path());
                InjectedCalls calls;
                g_fault = {step, at};
                std::string message;
                try {
                    scenario.write(folder.path());
                } catch (const GameError& e) {
                    message = e.what();
                }
                const bool hit = g_fault.calls >= at;
                g_fault = {};
                EXPECT_EQ(temporariesIn(folder.path()), 0);
                injected += hit;
                // Only a folder that cannot be synced after the rename may
                // leave the new file and still fail, and it says so. (A
                // failed mkdir of a folder that is there is no failure.)
                const std::string state = scenario.state(folder.path());
                if (message.empty() || message.find("written, but") != std::string::npos) {
                    EXPECT_EQ(state, scenario.after) << message;
                } else {
                    EXPECT_EQ(state, scenario.before) << message;
                    EXPECT_NE(message.find(::strerror(errorOf.at(step))), std::string::npos)
                        << message;
                }
                if (!hit) break;
            }
        }
    }
    std::cout << "[ figures  ] " << injected << " failures injected\n";
    EXPECT_GT(injected, 40);
}

// What may be at the target beyond what every command's table covers
// (tests/cli/file_outputs_test.cpp): a replaced file keeps its permissions,
// a dangling link is replaced and never followed, and the messages for no
// name and no folder.
TEST(FileWriter, ReplacesOnlyRegularFilesAndLinksAsLinks) {
    karnwick::testing::GameFolder folder;
    const fs::path d = folder.path();
    put(d / "g", "old");
    fs::permissions(d / "g", fs::perms(0640));
    fs::create_symlink(d / "nowhere", d / "m");
    const struct {
        fs::path target;
        std::string message;  // empty: written
    } rows[] = {
        {d / "new", ""},
        {d / "g", ""},
        {d / "m", ""},
        {"", "\"\": cannot write (the file name is empty)"},
        {d / "missing" / "x",
         "cannot write (the folder " + (d / "missing").string() + " does not exist)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.target.string());
        std::string message;
        try {
            writeFileAtomically(row.target, "new", Existing::Replace);
        } catch (const GameError& e) {
            message = e.what();
        }
        if (row.message.empty()) {
            EXPECT_EQ(message, "");
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(row.target)));
            EXPECT_EQ(contentsOf(row.target), "new");
        } else {
            EXPECT_NE(message.find(row.message), std::string::npos) << message;
        }
    }
    EXPECT_FALSE(fs::exists(d / "nowhere"));
    EXPECT_EQ(fs::status(d / "g").permissions(), fs::perms(0640));
    EXPECT_EQ(temporariesIn(d), 0);
}

// A temporary file whose writer is gone is removed by the next write into
// its folder; one a live writer holds, and anything else, is left alone.
TEST(FileWriter, TheNextWriteRemovesOnlyStaleTemporaryFiles) {
    karnwick::testing::GameFolder folder;
    const fs::path d = folder.path();
    for (const char* name : {".t.karnwick-Ab12Cd", ".u.karnwick-Ab12Cd-old",
                             ".live.karnwick-Zz9Zz9", ".bashrc.backup", "keep.karnwick-Ab12Cd"})
        put(d / name, "x");
    const int live = ::open((d / ".live.karnwick-Zz9Zz9").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);
    writeFileAtomically(d / "t", "new", Existing::Replace);
    ::close(live);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(d)) left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".bashrc.backup", ".live.karnwick-Zz9Zz9",
                                              "keep.karnwick-Ab12Cd", "t"}));
}

// A real full file system: a 64 KiB tmpfs, which needs root.
TEST(FileWriter, AFullFileSystemLeavesTheOldFileAndNoNewFolder) {
    karnwick::testing::GameFolder folder;
    const fs::path small = folder.path() / "small";
    fs::create_directory(small);
    if (::geteuid() != 0 || ::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "a 64 KiB tmpfs needs root and permission to mount";
    struct Unmount {
        fs::path at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{small};
    put(small / "p.png", std::string(20 * 1024, 'o'));
    EXPECT_THROW(writeFileAtomically(small / "p.png", kNew, Existing::Replace), GameError);
    EXPECT_EQ(contentsOf(small / "p.png"), std::string(20 * 1024, 'o'));
    const std::string a(30 * 1024, 'a'), b(30 * 1024, 'b');
    const SetFile files[] = {{"a", a}, {"b", b}};
    try {
        writeFileSet(small / "nest" / "a", files, Existing::Refuse);
        ADD_FAILURE() << "a set larger than the free space was written";
    } catch (const GameError& e) {
        EXPECT_NE(std::string(e.what()).find("No space left on device"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(small / "nest"));
    EXPECT_EQ(temporariesIn(small), 0);
    writeFileAtomically(small / "fits", "fits", Existing::Refuse);
    EXPECT_EQ(contentsOf(small / "fits"), "fits");
}

// A helper program writes 4 MiB through the writer and is killed at a random
// moment, again and again: with SIGKILL the target is the old or the whole
// new file and at most the killed run's temporary file is left (the next run
// removes it); SIGINT and SIGTERM leave none of their own.
TEST(FileWriter, KillsAtRandomMomentsOfALargeWrite) {
    // In memory (/dev/shm), so that hundreds of runs take seconds, not minutes.
    const fs::path shm = "/dev/shm";
    const fs::path dir = (fs::is_directory(shm) ? shm : fs::temp_directory_path()) /
                         ("karnwick-kill-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    struct Remove {
        fs::path at;
        ~Remove() { fs::remove_all(at); }
    } remove{dir};
    const fs::path target = dir / "big";
    const std::size_t size = 4u << 20;
    auto run = [&](int generation) {
        const std::string sizeText = std::to_string(size), byte = std::to_string(generation);
        const char* argv[] = {WRITER_KILL_HELPER, target.c_str(), sizeText.c_str(), byte.c_str(),
                              nullptr};
        pid_t pid = 0;
        EXPECT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ),
                  0);
        return pid;
    };
    auto wait = [](pid_t pid) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return status;
    };
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(wait(run(0)), 0);
    // The moment of the kill is drawn up to `reach`, which follows how long
    // a run takes on this machine now, so most runs die part-way.
    std::chrono::duration<double> reach = std::chrono::steady_clock::now() - start;

    std::mt19937 random(20261207);
    int killed[2] = {0, 0}, finished = 0, previous = 0, midWrite = 0;
    for (int i = 1; (killed[0] < 200 || killed[1] < 50) && i < 1000; ++i) {
        const int signal = killed[0] < 200 ? SIGKILL : i % 2 ? SIGINT : SIGTERM;
        const int generation = i % 250 + 1;
        const std::set<std::string> before = temporaryNames(dir);
        const pid_t pid = run(generation);
        std::this_thread::sleep_for(reach * std::uniform_real_distribution(0.0, 1.0)(random));
        ::kill(pid, signal);
        const int status = wait(pid);
        const std::string bytes = contentsOf(target);
        ASSERT_EQ(bytes.size(), size) << "run " << i;
        const int found = static_cast<unsigned char>(bytes.front());
        ASSERT_TRUE(found == previous || found == generation) << "run " << i;
        ASSERT_EQ(bytes.find_first_not_of(bytes.front()), std::string::npos) << "run " << i;
        // A run killed before it starts writing has not yet removed the
        // last killed run's file; one ended by SIGTERM adds none of its own.
        const std::set<std::string> after = temporaryNames(dir);
        EXPECT_LE(after.size(), 1u) << "run " << i;
        midWrite += !std::includes(before.begin(), before.end(), after.begin(), after.end());
        if (signal != SIGKILL) {
            EXPECT_TRUE(std::includes(before.begin(), before.end(), after.begin(), after.end()))
                << "run " << i;
        }
        if (WIFSIGNALED(status)) {
            ++killed[signal == SIGKILL ? 0 : 1];
            reach *= 1.05;
        } else {
            ++finished;
            reach *= 0.7;
        }
        previous = found;
    }
    ASSERT_EQ(wait(run(7)), 0);
    EXPECT_EQ(temporariesIn(dir), 0);
    std::cout << "[ figures  ] " << killed[0] << " runs killed by SIGKILL, " << killed[1]
              << " by SIGINT or SIGTERM (" << midWrite << " part-way through the file), "
              << finished << " finished first; every target whole\n";
    EXPECT_EQ(killed[0], 200);
    EXPECT_EQ(killed[1], 50);
}
