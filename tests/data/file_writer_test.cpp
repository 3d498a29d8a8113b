// The writer's promises under every failure it can meet: an injected failure
// at each system call, a full file system, a signal in the middle of a write,
// a stop at every step of a set's commit, and other commands at work in the
// same folder. Every time, the target is the old file or the whole new one, a
// set is the whole old set or the whole new one, and no temporary file is left.

#include <gtest/gtest.h>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "data/errors.h"
#include "data/file_set.h"
#include "data/file_writer.h"
#include "data/folder_lock.h"
#include "data/game_file.h"
#include "data/platform.h"
#include "data/set_recovery.h"
#include "data/system_calls.h"
#include "data/writer_calls.h"
#include "game_files.h"

using namespace karnwick;
namespace fs = std::filesystem;
using karnwick::testing::readBytes;
using karnwick::testing::writerLeftovers;

namespace {

void put(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// One system call of the writer made to fail at its at-th use.
const WriterCalls g_real = writerCalls();
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
        writerCalls() = {
            [](int fd, const void* b, std::size_t n) {
                return failOr("write", ENOSPC, g_real.write, fd, b, n);
            },
            [](int fd) { return failOr("fsync", EIO, g_real.fsync, fd); },
            [](int fd) { return failOr("close", EIO, g_real.close, fd); },
            [](const char* a, const char* b) {
                return failOr("rename", EACCES, g_real.rename, a, b);
            },
            [](const char* a, const char* b) { return failOr("link", EMLINK, g_real.link, a, b); },
            [](const char* p, mode_t m) { return failOr("mkdir", EACCES, g_real.mkdir, p, m); },
            [](int fd, const void* b, std::size_t n, off_t at) {
                return failOr("pwrite", ENOSPC, g_real.pwrite, fd, b, n, at);
            },
            [](int from, off_t* fromAt, int to, off_t* toAt, std::size_t n, unsigned flags) {
                return failOr("copy_file_range", EIO, g_real.copyFileRange, from, fromAt, to, toAt,
                              n, flags);
            },
            [](const char* a, const char* b) {
                return failOr("rename", EACCES, g_real.renameNoReplace, a, b);
            },
            [](const char* a, const char* b) {
                return failOr("exchange", EBUSY, g_real.exchange, a, b);
            },
        };
    }
    ~InjectedCalls() { writerCalls() = g_real; }
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

// Permission bits, owners, and two folders swapped in one step are POSIX's.
#ifdef _WIN32
constexpr bool kPosix = false;
#else
constexpr bool kPosix = true;
#endif

// A file's contents in a few words, for messages: "new" or the old text.
std::string shown(const fs::path& path) {
    const std::string bytes = readBytes(path);
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
    // A game file rewritten from its old self: a sparse copy, then new bytes
    // written at an offset (how import sprite changes one sprite).
    auto rewrite = [](const fs::path& d) {
        const int old = sys::openAt(d / "t", sys::Open::Read);
        AtomicFile file(d / "t", Existing::Replace);
        file.copySparse(old);
        sys::closeFile(old);
        const std::string tail = kNew.substr(3);
        file.writeAt(3, {reinterpret_cast<const unsigned char*>(tail.data()), tail.size()});
        file.commit();
    };
    return {
        {"one file over an old one", [](const fs::path& d) { put(d / "t", "old"); },
         [](const fs::path& d) { writeFileAtomically(d / "t", kNew, Existing::Replace); },
         [](const fs::path& d) { return shown(d / "t"); }, "old", "new"},
        {"one file rewritten in place", [](const fs::path& d) { put(d / "t", "nnnold"); }, rewrite,
         [](const fs::path& d) { return shown(d / "t"); }, "nnnold", "new"},
        {"a set over old files",
         [](const fs::path& d) {
             for (const char* n : {"a", "b", "c"}) put(d / n, std::string("old ") + n);
         },
         writeSet, setState, "old a|old b|old c", whole},
        {"a whole folder swapped in",
         [](const fs::path& d) {
             fs::create_directory(d / "w");
             for (const char* n : {"a", "b", "c"}) put(d / "w" / n, std::string("old ") + n);
         },
         [](const fs::path& d) {
             FileSet set(d / "w", Existing::Replace, SetCommit::WholeFolder);
             for (const char* n : {"a", "b", "c"}) set.add(n, kNew);
             set.commit();
         },
         [](const fs::path& d) { return setState(d / "w"); }, "old a|old b|old c", whole},
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
// link (keeping the old files of a set), mkdir, pwrite, copy_file_range and
// the exchange of a whole folder.
// A failure is always reported with its reason and leaves the old files; only
// a folder that cannot be synced after the last rename leaves the new ones,
// and says so.
TEST(FileWriter, AFailureAtAnyStepLeavesTheOldFilesAndNoTemporaryFile) {
    const std::map<std::string, int> errorOf = {
        {"write", ENOSPC},  {"fsync", EIO},           {"close", EIO},
        {"rename", EACCES}, {"link", EMLINK},         {"mkdir", EACCES},
        {"pwrite", ENOSPC}, {"copy_file_range", EIO}, {"exchange", EBUSY}};
    int injected = 0;
    for (const Scenario& scenario : scenarios()) {
        for (const auto& [step, error] : errorOf) {
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
                EXPECT_EQ(writerLeftovers(folder.path()), 0);
                injected += hit;
                const std::string state = scenario.state(folder.path());
                // A failed mkdir of a folder that is there is no failure.
                if (hit && step != "mkdir") {
                    EXPECT_NE(message.find(::strerror(error)), std::string::npos) << message;
                }
                if (message.empty() || message.find("written, but") != std::string::npos) {
                    EXPECT_EQ(state, scenario.after) << message;
                } else {
                    EXPECT_EQ(state, scenario.before) << message;
                }
                if (!hit) break;
            }
        }
    }
    std::cout << "[ figures  ] " << injected << " failures injected\n";
    EXPECT_GT(injected, 50);

    // A file system that cannot exchange two folders: the set lands in place.
    karnwick::testing::GameFolder folder;
    const Scenario whole = scenarios()[3];
    ASSERT_EQ(std::string(whole.what), "a whole folder swapped in");
    whole.prepare(folder.path());
    sys::Status before, after;
    sys::statusAt(folder.path() / "w", before, true);
    writerCalls().exchange = [](const char*, const char*) { return errno = EINVAL, -1; };
    whole.write(folder.path());
    writerCalls() = g_real;
    sys::statusAt(folder.path() / "w", after, true);
    EXPECT_EQ(after.index, before.index);
    EXPECT_EQ(whole.state(folder.path()), whole.after);
    EXPECT_EQ(writerLeftovers(folder.path()), 0);
}

// What may be at the target beyond what every command's table covers
// (tests/cli/file_outputs_test.cpp): a replaced file keeps its permissions,
// a dangling link is replaced and never followed, and the messages for no
// name and no folder.
TEST(FileWriter, ReplacesOnlyRegularFilesAndLinksAsLinks) {
    karnwick::testing::GameFolder folder;
    const fs::path d = folder.path();
    put(d / "g", "old");
    struct Row {
        fs::path target;
        std::string message;  // empty: written
    };
    std::vector<Row> rows = {
        {d / "new", ""},
        {d / "g", ""},
        {"", "\"\": cannot write (the file name is empty)"},
        {d / "missing" / "x",
         "cannot write (the folder " + platform::pathText(d / "missing") + " does not exist)"},
    };
#ifndef _WIN32
    // Permission bits and links anyone may make are POSIX's.
    fs::permissions(d / "g", fs::perms(0640));
    fs::create_symlink(d / "nowhere", d / "m");
    rows.push_back({d / "m", ""});
#endif
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
            EXPECT_EQ(readBytes(row.target), "new");
        } else {
            EXPECT_NE(message.find(row.message), std::string::npos) << message;
        }
    }
    // The null device is written straight, even where nothing may be replaced.
    EXPECT_NO_THROW(writeFileAtomically(kPosix ? "/dev/null" : "NUL", "new", Existing::Refuse));
    // A read-only file is replaced only when the write may replace it, and
    // stays read-only.
    put(d / "r", "old");
    fs::permissions(d / "r", fs::perms::owner_read | fs::perms::group_read);
    EXPECT_THROW(writeFileAtomically(d / "r", "new", Existing::ReplaceUnprotected), GameError);
    writeFileAtomically(d / "r", "new", Existing::Replace);
    sys::Status replaced;
    EXPECT_EQ(sys::statusAt(d / "r", replaced, false), 0);
    EXPECT_EQ(replaced.mode & 0222, 0u);
    EXPECT_EQ(readBytes(d / "r"), "new");
    fs::permissions(d / "r", fs::perms::owner_all);
    // A reader that knows no folder lock, holding the file for a moment,
    // delays the replace; Windows replaces no open file, but the write lands.
    const platform::OpenedFile reader = platform::openForReading(d / "g");
    std::thread letGo([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        platform::closeHandle(reader.handle);
    });
    EXPECT_NO_THROW(writeFileAtomically(d / "g", "newer", Existing::Replace));
    letGo.join();
    EXPECT_EQ(readBytes(d / "g"), "newer");
#ifdef _WIN32
    // Held past the writer's patience: refused, saying why, the file whole.
    const platform::OpenedFile holder = platform::openForReading(d / "g");
    std::string refusal;
    try {
        writeFileAtomically(d / "g", "newest", Existing::Replace);
    } catch (const GameError& e) {
        refusal = e.what();
    }
    platform::closeHandle(holder.handle);
    EXPECT_NE(refusal.find("g: cannot write (another program is using it)"), std::string::npos)
        << refusal;
    EXPECT_EQ(readBytes(d / "g"), "newer");
#endif
#ifndef _WIN32
    EXPECT_FALSE(fs::exists(d / "nowhere"));
    EXPECT_EQ(fs::status(d / "g").permissions(), fs::perms(0640));
#endif
    EXPECT_EQ(writerLeftovers(d), 0);
}

// Game folders and files named in any script (Cyrillic, an emoji outside
// the 16-bit range) go through every kind of write and come back under the
// same names, and a message names them as they are written.
TEST(FileWriter, NamesInAnyScriptRoundTrip) {
    karnwick::testing::GameFolder folder;
    for (const fs::path& name : {fs::path(u8"Поле битвы"), fs::path(u8"Арена 🐉")}) {
        SCOPED_TRACE(platform::pathText(name));
        const fs::path dir = folder.path() / name, sprite = u8"монстр-🐉.png";
        const SetFile first[] = {{"a", "first"}, {sprite, "first sprite"}};
        writeFileSet(dir, first, Existing::Replace);  // a new folder
        const SetFile second[] = {{"a", "second"}, {sprite, "second sprite"}};
        writeFileSet(dir, second, Existing::Replace);  // over the old set
        writeFileAtomically(dir / u8"заметка", "note", Existing::Refuse);
        {
            FileSet whole(dir, Existing::Replace, SetCommit::WholeFolder);
            whole.add(sprite, std::string_view("third sprite"));
            whole.commit();
        }
        EXPECT_EQ(readBytes(dir / "a"), "second");
        EXPECT_EQ(readBytes(dir / sprite), "third sprite");
        EXPECT_EQ(readBytes(dir / u8"заметка"), "note");
        EXPECT_EQ(writerLeftovers(folder.path()), 0);
        try {
            writeFileAtomically(dir / u8"заметка", "again", Existing::Refuse);
            ADD_FAILURE() << "an existing file was replaced";
        } catch (const GameError& e) {
            EXPECT_NE(std::string(e.what()).find(platform::pathText(dir / u8"заметка")),
                      std::string::npos)
                << e.what();
        }
    }
    // A file written where no command locked the folder (a picture's folder)
    // leaves nothing beside it: not even the lock file Windows keeps in a
    // game folder.
    const fs::path pictures = folder.path() / u8"Картинки";
    fs::create_directory(pictures);
    writeFileAtomically(pictures / u8"спрайт.png", "png", Existing::Refuse);
    EXPECT_EQ(std::distance(fs::directory_iterator(pictures), fs::directory_iterator()), 1);
}

#ifndef _WIN32
// Runs `child` in a forked process; returns its pid. The child ends with
// status 0 when `child` returns true.
template <typename Child>
pid_t forkChild(Child child) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(child() ? 0 : 1);
    return pid;
}

int exitStatusOf(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// One byte through a pipe, to hold a child at a given moment.
struct Signal {
    int fds[2];
    Signal() { EXPECT_EQ(::pipe(fds), 0); }
    ~Signal() { ::close(fds[0]), ::close(fds[1]); }
    void give() { EXPECT_EQ(::write(fds[1], "x", 1), 1); }
    bool await() {
        char c;
        return ::read(fds[0], &c, 1) == 1;
    }
};
#endif

// The names in `dir`, sorted, but the lock file Windows keeps there.
std::vector<std::string> entriesOf(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (kPosix || entry.path().filename() != kFolderGateName)
            names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Another writer's temporary file and build folder are left alone while that
// writer holds them (here an open file of this process), and on POSIX even
// in the moment between a writer's close and its rename (the writer stops
// there until the other write is done); what killed writers left (a
// temporary file, a kept old link, a half-built folder) goes with the next
// write into the folder, and nothing else does.
TEST(FileWriter, TheNextWriteRemovesOnlyWhatDeadWritersLeft) {
    karnwick::testing::GameFolder folder;
    const fs::path d = folder.path();
    for (const char* name : {".t.karnwick-Ab12Cd", ".u.karnwick-Ab12Cd-old", ".bashrc.backup",
                             "keep.karnwick-Ab12Cd", ".held.karnwick-Hh1Hh1"})
        put(d / name, "x");
    fs::create_directory(d / ".out.karnwick-Zz9Zz9");
    put(d / ".out.karnwick-Zz9Zz9" / "sprite-1.png", "x");
    put(d / ".out.karnwick-Zz9Zz9" / ".sprite-2.png.karnwick-Qq1Qq1", "x");
    fs::create_directory(d / ".built.karnwick-Bb1Bb1");
    put(d / ".built.karnwick-Bb1Bb1" / "sprite-1.png", "x");
    const int heldFile = sys::openAt(d / ".held.karnwick-Hh1Hh1", sys::Open::Read);
    const int heldFolder = sys::openAt(d / ".built.karnwick-Bb1Bb1", sys::Open::HeldFolder);
    ASSERT_EQ(sys::tryLock(heldFile), 0);
    ASSERT_EQ(sys::tryLock(heldFolder), 0);
    std::vector<std::string> kept = {".bashrc.backup", ".built.karnwick-Bb1Bb1",
                                     ".held.karnwick-Hh1Hh1", "keep.karnwick-Ab12Cd", "s"};
#ifndef _WIN32
    Signal atRename, goOn;
    static Signal* s_atRename = &atRename;
    static Signal* s_goOn = &goOn;
    const pid_t writer = forkChild([&] {
        writerCalls().rename = [](const char* a, const char* b) {
            s_atRename->give();
            s_goOn->await();
            return ::rename(a, b);
        };
        writeFileAtomically(d / "live", "written by the other command", Existing::Replace);
        return true;
    });
    ASSERT_TRUE(atRename.await());
    kept.push_back("live");
#endif
    const std::string other = "new set";
    const SetFile files[] = {{"s", other}};
    writeFileSet(d, files, Existing::Replace);
#ifndef _WIN32
    goOn.give();
    EXPECT_EQ(exitStatusOf(writer), 0);
    EXPECT_EQ(readBytes(d / "live"), "written by the other command");
#endif
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(entriesOf(d), kept);
    // A single file's write clears them too, once nobody holds them.
    sys::closeFile(heldFile);
    sys::closeFile(heldFolder);
    put(d / ".t.karnwick-Ab12Cd", "x");
    writeFileAtomically(d / "t", "new", Existing::Replace);
    std::erase_if(kept, [](const std::string& name) {
        return name.starts_with(".held.") || name.starts_with(".built.");
    });
    kept.push_back("t");
    EXPECT_EQ(entriesOf(d), kept);
}

// The state of the set a, b, c in `dir`: "old", "new", "no folder", or a
// mix such as "new|old|old".
std::string wholeSet(const fs::path& dir, char oldByte, char newByte) {
    if (!fs::exists(dir)) return "no folder";
    std::string state;
    for (const char* name : {"a", "b", "c"}) {
        const std::string bytes = readBytes(dir / name);
        const bool isOld = bytes == std::string(64 * 1024, oldByte);
        const bool isNew = bytes == std::string(64 * 1024, newByte);
        state += std::string(state.empty() ? "" : "|") + (isOld ? "old" : isNew ? "new" : "torn");
    }
    if (state == "old|old|old") return "old";
    if (state == "new|new|new") return "new";
    return state;
}

// Runs the kill helper on `dir` and returns its exit status.
int runSetWriter(const fs::path& dir, char fill, const std::string& step, int at,
                 const char* how = "set") {
    const std::string byteText = std::to_string(fill), atText = std::to_string(at);
#ifdef _WIN32
    // Beside this program, wherever the build put both.
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const fs::path helper = fs::path(self).parent_path() / "writer_kill_helper.exe";
    auto quoted = [](const fs::path& arg) { return L"\"" + arg.wstring() + L"\""; };
    const std::wstring args[] = {quoted(helper),   quoted(how),  quoted(dir),
                                 quoted(byteText), quoted(step), quoted(atText)};
    const wchar_t* argv[] = {args[0].c_str(), args[1].c_str(), args[2].c_str(), args[3].c_str(),
                             args[4].c_str(), args[5].c_str(), nullptr};
    return static_cast<int>(::_wspawnv(_P_WAIT, helper.c_str(), argv));
#else
    const char* argv[] = {WRITER_KILL_HELPER, how,    dir.c_str(), byteText.c_str(), step.c_str(),
                          atText.c_str(),     nullptr};
    pid_t pid = 0;
    EXPECT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    return exitStatusOf(pid);
#endif
}

// A set's commit is stopped dead (as by kill -9 or a power cut) at each call
// of each step in turn: the next reader to open the folder finds the whole
// old set or the whole new one, and the next write leaves no temporary file,
// no kept link and no half-built folder. Into an existing folder, a stop
// after the commit note finishes the new set; into a new folder, the folder
// appears whole or not at all; a folder swapped whole is the old or the new
// one at every moment, with nothing to finish, the user's own file and the
// folder's permissions kept.
TEST(FileWriter, AStopAtAnyStepOfASetLeavesTheOldOrTheNewSet) {
    enum Into { OldSet, NewFolder, Swapped };
    int finished = 0, undone = 0, swapped = 0;
    for (const Into into : {OldSet, NewFolder, Swapped}) {
        for (const char* step : {"rename", "link", "fsync", "mkdir", "exchange"}) {
            for (int at = 1;; ++at) {
                SCOPED_TRACE(std::string(into == NewFolder ? "new folder, "
                                         : into == Swapped ? "swapped folder, "
                                                           : "old set, ") +
                             step + " #" + std::to_string(at));
                karnwick::testing::GameFolder folder;
                const fs::path dir = folder.path() / "set";
                if (into != NewFolder) {
                    fs::create_directory(dir);
                    for (const char* name : {"a", "b", "c"})
                        put(dir / name, std::string(64 * 1024, 'o'));
                    put(dir / "notes", "mine");
                    if (kPosix) fs::permissions(dir, fs::perms(0750));
                }
                const int status =
                    runSetWriter(dir, 'n', step, at, into == Swapped ? "whole" : "set");
                ASSERT_TRUE(status == 0 || status == 9) << status;
                if (into == Swapped && kPosix) {
                    const std::string state = wholeSet(dir, 'o', 'n');
                    EXPECT_TRUE(state == "new" || state == "old") << state;
                    EXPECT_FALSE(fs::exists(dir / ".karnwick-commit"));
                    EXPECT_EQ(readBytes(dir / "notes"), "mine");
                    EXPECT_EQ(fs::status(dir).permissions(), fs::perms(0750));
                    swapped += status == 9 && state == "new";
                }
                // The next command: a reader first, then a writer beside.
                GameFile(dir / "a").exists();
                const std::string state = wholeSet(dir, 'o', 'n');
                EXPECT_TRUE(state == "new" || state == (into == NewFolder ? "no folder" : "old"))
                    << state;
                if (into != NewFolder) {
                    EXPECT_EQ(readBytes(dir / "notes"), "mine");
                }
                finished += status == 9 && state == "new";
                undone += status == 9 && state != "new";
                writeFileAtomically(folder.path() / "other", "x", Existing::Replace);
                if (fs::exists(dir)) writeFileAtomically(dir / "other", "x", Existing::Replace);
                EXPECT_EQ(writerLeftovers(folder.path()), 0);
                if (status == 0) break;
            }
        }
    }
    std::cout << "[ figures  ] " << finished << " stopped sets finished, " << undone
              << " left as they were, " << swapped << " swapped folders new\n";
    EXPECT_GE(finished, 5);
    EXPECT_GE(undone, 10);
    EXPECT_GE(swapped, kPosix ? 1 : 0);
}

// A commit stopped after its first rename whose last new file is then lost
// cannot be finished: the kept links put the old set back. A note naming
// files outside its folder is no note of ours.
TEST(FileWriter, AStoppedSetIsUndoneWhenItCannotBeFinished) {
    karnwick::testing::GameFolder folder;
    const fs::path dir = folder.path() / "set";
    fs::create_directory(dir);
    for (const char* name : {"a", "b", "c"}) put(dir / name, std::string(64 * 1024, 'o'));
    // The note is the first rename; the second puts "a" in place.
    ASSERT_EQ(runSetWriter(dir, 'n', "rename", 3), 9);
    EXPECT_EQ(wholeSet(dir, 'o', 'n'), "new|old|old");
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with(".c.karnwick-") && !name.ends_with("-old")) fs::remove(entry.path());
    }
    settleGameFolder(dir);
    EXPECT_EQ(wholeSet(dir, 'o', 'n'), "old");
    EXPECT_EQ(writerLeftovers(dir), 0);

    // A note that came with a folder from elsewhere, naming files outside it,
    // moves nothing: the folder is refused until the note is moved away.
    put(folder.path() / "outside", "theirs");
    put(dir / ".a.karnwick-Ab12Cd", "planted");
    sys::Status planted;
    sys::statusAt(dir / ".a.karnwick-Ab12Cd", planted, false);
    for (const char* names :
         {"10:../outside18:.a.karnwick-Ab12Cd0:", "1:a26:../set/.a.karnwick-Ab12Cd0:"}) {
        SCOPED_TRACE(names);
        put(dir / ".karnwick-commit",
            "karnwick set commit\n" + std::to_string(planted.index) + " 0 " + names + "\n");
        EXPECT_THROW(GameFile(dir / "a").exists(), GameError);
        EXPECT_EQ(readBytes(folder.path() / "outside"), "theirs");
        EXPECT_EQ(wholeSet(dir, 'o', 'n'), "old");
    }
}

// The same stop in a folder mounted read-only (a tmpfs, which needs root) or
// without write permission: the reader is told why, and reads no mix.
TEST(FileWriter, AStoppedSetInAFolderNobodyMayWriteIsNotRead) {
#ifdef _WIN32
    GTEST_SKIP() << "a Windows folder has no write permission to take away";
#else
    karnwick::testing::GameFolder folder;
    const fs::path small = folder.path() / "small";
    fs::create_directory(small);
    const bool mounted =
        ::geteuid() == 0 && ::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=1m") == 0;
    if (!mounted && ::geteuid() == 0) GTEST_SKIP() << "no tmpfs for a read-only folder";
    struct Unmount {
        fs::path at;
        bool active;
        ~Unmount() {
            if (active) ::umount2(at.c_str(), MNT_DETACH);
        }
    } unmount{small, mounted};
    for (const char* name : {"a", "b", "c"}) put(small / name, std::string(64 * 1024, 'o'));
    ASSERT_EQ(runSetWriter(small, 'n', "rename", 3), 9);
    if (mounted)
        ASSERT_EQ(::mount(nullptr, small.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    else
        fs::permissions(small, fs::perms(0555));
    try {
        const GameFile file(small / "b");
        ADD_FAILURE() << "a half-replaced set was read";
    } catch (const GameError& e) {
        EXPECT_NE(std::string(e.what()).find(
                      small.string() + ": cannot read (a karnwick command that stopped left a set "
                                       "of game files half replaced there, and the folder cannot "
                                       "be written to finish it: "),
                  std::string::npos)
            << e.what();
    }
    EXPECT_EQ(wholeSet(small, 'o', 'n'), "new|old|old");
    if (!mounted) fs::permissions(small, fs::perms(0755));
#endif
}

// What follows forks the test itself, sends POSIX signals or mounts a file
// system: on Windows, where none of that exists, the folder lock is
// LockFileEx's (platform_windows.cpp) and Ctrl+C goes to the console's handler.
#ifndef _WIN32

// The folder lock between two processes: readers share it, a writer has it
// alone, and whoever waits is told so once, after a second.
TEST(FileWriter, TheFolderLockKeepsWritersApartAndLetsReadersShare) {
    karnwick::testing::GameFolder folder;
    const fs::path dir = folder.path();
    const struct {
        FolderAccess held, wanted;
        bool waits;
    } rows[] = {
        {FolderAccess::Write, FolderAccess::Write, true},
        {FolderAccess::Write, FolderAccess::Read, true},
        {FolderAccess::Read, FolderAccess::Write, true},
        {FolderAccess::Read, FolderAccess::Read, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(int(row.held)) + " then " + std::to_string(int(row.wanted)));
        fs::remove(dir / "released");
        Signal locked;
        static Signal* s_locked = &locked;
        const FolderAccess held = row.held;
        const pid_t holder = forkChild([&] {
            const FolderLock lock(dir, held);
            s_locked->give();
            ::usleep(1'300'000);
            put(dir / "released", "");
            return true;
        });
        ASSERT_TRUE(locked.await());
        std::vector<fs::path> notes;
        setLockWaitNote([&](const fs::path& f) { notes.push_back(f); });
        {
            const FolderLock lock(dir, row.wanted);
            EXPECT_EQ(fs::exists(dir / "released"), row.waits);
        }
        setLockWaitNote({});
        EXPECT_EQ(notes, row.waits ? std::vector<fs::path>{dir} : std::vector<fs::path>{});
        EXPECT_EQ(exitStatusOf(holder), 0);
    }
}

// Within one process the locks of a folder nest without waiting: a reader
// inside a writer, a writer inside a reader (the upgrade). From its first
// writer on, the process holds the folder alone until its last lock goes;
// tryWrite hands over a writer's hold, never a reader's.
TEST(FileWriter, LocksOfOneProcessNestAndEndWithTheLast) {
    karnwick::testing::GameFolder folder;
    const fs::path dir = folder.path();
    // The folder as another process sees it.
    auto heldAs = [&] {
        const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        std::string held = "alone";
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            held = "free";
        else if (::flock(fd, LOCK_SH | LOCK_NB) == 0)
            held = "shared";
        ::close(fd);
        return held;
    };
    {
        const FolderLock writer(dir, FolderAccess::Write);
        { const FolderLock reader(dir, FolderAccess::Read); }
        EXPECT_NE(FolderLock::tryWrite(dir), nullptr);
        EXPECT_EQ(heldAs(), "alone");
    }
    EXPECT_EQ(heldAs(), "free");
    auto reader = std::make_unique<FolderLock>(dir, FolderAccess::Read);
    EXPECT_EQ(heldAs(), "shared");
    EXPECT_EQ(FolderLock::tryWrite(dir), nullptr);
    { const FolderLock writer(dir, FolderAccess::Write); }
    EXPECT_EQ(heldAs(), "alone");
    EXPECT_FALSE(fs::exists(dir / kFolderGateName));
    reader.reset();
    EXPECT_EQ(heldAs(), "free");
}

// Readers that overlap without end never starve a writer: three processes
// read in turns that always overlap (each holds the folder 200 ms), and a
// writer asking meanwhile is served within a second, every time. The gate
// it used is gone once it is in.
TEST(FileWriter, AWriterIsServedWithinASecondWhileReadersOverlap) {
    using namespace std::chrono;
    karnwick::testing::GameFolder folder;
    const fs::path dir = folder.path();
    std::vector<pid_t> readers;
    for (int i = 0; i < 3; ++i) {
        readers.push_back(forkChild([&, i] {
            ::usleep(useconds_t(70'000 * i));
            const auto end = steady_clock::now() + seconds(8);
            while (!fs::exists(dir / "stop") && steady_clock::now() < end) {
                const FolderLock lock(dir, FolderAccess::Read);
                ::usleep(200'000);
            }
            return true;
        }));
    }
    ::usleep(400'000);
    for (int round = 0; round < 3; ++round) {
        const auto asked = steady_clock::now();
        {
            const FolderLock lock(dir, FolderAccess::Write);
            EXPECT_LT(steady_clock::now() - asked, seconds(1)) << "round " << round;
            EXPECT_FALSE(fs::exists(dir / kFolderGateName));
        }
        ::usleep(300'000);
    }
    put(dir / "stop", "");
    for (const pid_t reader : readers) EXPECT_EQ(exitStatusOf(reader), 0);
}

// A thread waiting for a busy folder holds up no other thread of its
// process, and a bounded wait gives up in time (the arena's window asks the
// player then), taking the lock once the folder is free.
TEST(FileWriter, AWaitForABusyFolderHoldsUpNoOtherThreadAndCanBeBounded) {
    using namespace std::chrono;
    karnwick::testing::GameFolder folder;
    const fs::path busy = folder.path() / "busy", other = folder.path() / "other";
    fs::create_directory(busy);
    fs::create_directory(other);
    Signal locked, release;
    static Signal* s_locked = &locked;
    static Signal* s_release = &release;
    const pid_t writer = forkChild([&] {
        const FolderLock lock(busy, FolderAccess::Write);
        s_locked->give();
        pollfd released{s_release->fds[0], POLLIN, 0};
        return ::poll(&released, 1, 3000) == 1;  // a hung test still ends
    });
    ASSERT_TRUE(locked.await());
    std::thread waiter([&] { const FolderLock lock(busy, FolderAccess::Read); });
    ::usleep(100'000);
    auto started = steady_clock::now();
    { const FolderLock lock(other, FolderAccess::Write); }
    EXPECT_LT(steady_clock::now() - started, milliseconds(500));
    started = steady_clock::now();
    EXPECT_EQ(FolderLock::tryFor(busy, FolderAccess::Read, milliseconds(300)), nullptr);
    EXPECT_GE(steady_clock::now() - started, milliseconds(300));
    EXPECT_LT(steady_clock::now() - started, seconds(2));
    release.give();
    EXPECT_NE(FolderLock::tryFor(busy, FolderAccess::Write, seconds(5)), nullptr);
    waiter.join();
    EXPECT_EQ(exitStatusOf(writer), 0);
}

// Threads of one process taking both kinds of lock on two folders at once,
// a read turned into a write among them, while another process keeps writing
// one of the folders: nobody waits without end, and while a thread holds a
// write lock the other process is never in.
TEST(FileWriter, ThreadsOfOneProcessShareItsLocksUnderStress) {
    using namespace std::chrono;
    karnwick::testing::GameFolder folder;
    const fs::path shared = folder.path() / "shared", own = folder.path() / "own";
    fs::create_directory(shared);
    fs::create_directory(own);
    const fs::path inside = folder.path() / "other-process-inside";
    const pid_t writer = forkChild([&] {
        const auto end = steady_clock::now() + milliseconds(1500);
        while (steady_clock::now() < end) {
            {
                const FolderLock lock(shared, FolderAccess::Write);
                put(inside, "");
                ::usleep(2'000);
                fs::remove(inside);
            }
            ::usleep(3'000);
        }
        return true;
    });
    std::atomic<int> rounds{0}, overlaps{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const auto end = steady_clock::now() + milliseconds(1500);
            for (int i = t; steady_clock::now() < end; ++i) {
                const fs::path& dir = i % 3 == 0 ? own : shared;
                if (i % 4 == 1) {
                    const FolderLock read(dir, FolderAccess::Read);
                    const FolderLock write(dir, FolderAccess::Write);
                    overlaps += fs::exists(inside) && dir == shared;
                } else {
                    const FolderAccess access = i % 2 ? FolderAccess::Write : FolderAccess::Read;
                    const FolderLock lock(dir, access);
                    overlaps +=
                        access == FolderAccess::Write && dir == shared && fs::exists(inside);
                }
                ++rounds;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(exitStatusOf(writer), 0);
    EXPECT_EQ(overlaps, 0);
    EXPECT_GT(rounds, 100);
    EXPECT_FALSE(fs::exists(shared / kFolderGateName));
}

// A folder swapped for another at its name (as export all does) while a
// reader waits for it: the reader ends up holding the folder the name now
// gives, so no writer of that one gets in while it reads.
TEST(FileWriter, AFolderSwappedWhileWaitedForIsLockedAtItsName) {
    karnwick::testing::GameFolder folder;
    const fs::path dir = folder.path() / "d", other = folder.path() / "other";
    fs::create_directory(dir);
    fs::create_directory(other);
    Signal locked;
    static Signal* s_locked = &locked;
    const pid_t swapper = forkChild([&] {
        const FolderLock lock(dir, FolderAccess::Write);
        s_locked->give();
        ::usleep(300'000);
        return writerCalls().exchange(other.c_str(), dir.c_str()) == 0;
    });
    ASSERT_TRUE(locked.await());
    {
        const FolderLock lock(dir, FolderAccess::Read);
        const int now = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
        EXPECT_NE(::flock(now, LOCK_EX | LOCK_NB), 0);
        ::close(now);
    }
    EXPECT_EQ(exitStatusOf(swapper), 0);
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
    EXPECT_EQ(readBytes(small / "p.png"), std::string(20 * 1024, 'o'));
    const std::string a(30 * 1024, 'a'), b(30 * 1024, 'b');
    const SetFile files[] = {{"a", a}, {"b", b}};
    try {
        writeFileSet(small / "nest" / "a", files, Existing::Refuse);
        ADD_FAILURE() << "a set larger than the free space was written";
    } catch (const GameError& e) {
        EXPECT_NE(std::string(e.what()).find("No space left on device"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(small / "nest"));
    EXPECT_EQ(writerLeftovers(small), 0);
    writeFileAtomically(small / "fits", "fits", Existing::Refuse);
    EXPECT_EQ(readBytes(small / "fits"), "fits");
}

// A writer ended by a signal in the middle of its write: SIGINT, SIGTERM and
// SIGHUP remove its temporary file before the program ends, kill -9 leaves it
// for the next write to remove, and the target is the old file every time.
// During a set's commit the ending signals wait until the set is whole,
// whichever thread they land on.
TEST(FileWriter, ASignalMidWriteKeepsTheOldFileAndMidCommitTheWholeNewSet) {
    karnwick::testing::GameFolder folder;
    const fs::path d = folder.path();
    put(d / "t", "old");
    for (const int signal : {SIGKILL, SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(::strsignal(signal));
        Signal paused;
        static Signal* s_paused = &paused;
        const pid_t writer = forkChild([&] {
            writerCalls().write = [](int fd, const void* bytes, std::size_t count) {
                static int calls = 0;
                if (++calls == 3) {
                    s_paused->give();
                    for (;;) ::pause();
                }
                return ::write(fd, bytes, count);
            };
            AtomicFile file(d / "t", Existing::Replace);
            for (int i = 0; i < 5; ++i) file.write(kNew);
            file.commit();
            return true;
        });
        ASSERT_TRUE(paused.await());
        ::kill(writer, signal);
        EXPECT_EQ(exitStatusOf(writer), 128 + signal);
        EXPECT_EQ(readBytes(d / "t"), "old");
        EXPECT_EQ(writerLeftovers(d), signal == SIGKILL ? 1 : 0);
        writeFileAtomically(d / "u", "u", Existing::Replace);
        EXPECT_EQ(writerLeftovers(d), 0);
    }

    for (const char* name : {"a", "b", "c"}) put(d / name, std::string(64 * 1024, 'o'));
    Signal atRename;
    static Signal* s_atRename = &atRename;
    const pid_t setWriter = forkChild([&] {
        // A second thread that holds nothing back, as the arena has several:
        // the signal lands there, in the middle of the commit.
        std::thread([] {
            for (;;) ::pause();
        }).detach();
        writerCalls().rename = [](const char* from, const char* to) {
            static int calls = 0;
            if (++calls == 3) {
                s_atRename->give();
                ::usleep(300'000);
            }
            return ::rename(from, to);
        };
        const std::string bytes(64 * 1024, 'n');
        const SetFile files[] = {{"a", bytes}, {"b", bytes}, {"c", bytes}};
        writeFileSet(d, files, Existing::Replace);
        return true;
    });
    ASSERT_TRUE(atRename.await());
    ::kill(setWriter, SIGTERM);
    EXPECT_EQ(exitStatusOf(setWriter), 128 + SIGTERM);
    EXPECT_EQ(wholeSet(d, 'o', 'n'), "new");
    EXPECT_EQ(writerLeftovers(d), 0);
}
#endif
