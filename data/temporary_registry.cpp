// The signal-safe list of the writer's live temporary files and folders.
#include "data/temporary_registry.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace karnwick::writer {

namespace {

// The handler may run at any moment, on any thread, so it only reads atomics
// and calls unlink, rmdir, signal and raise. Slots live in chunks that are
// never freed; the mutex only orders the threads that add and remove
// entries. A path is freed only when no handler has started: one that has
// started ends the program, so the path it may be reading is simply never
// freed.

struct Slot {
    std::atomic<char*> path{nullptr};
    std::atomic<bool> folder{false};
};

constexpr std::size_t kSlotsPerChunk = 1024;
constexpr std::size_t kChunks = 1024;
std::atomic<Slot*> g_chunks[kChunks];
std::atomic<std::size_t> g_slotsUsed{0};
std::atomic<bool> g_handlerStarted{false};
std::mutex g_registryMutex;
std::vector<std::size_t>& freeSlots() {
    static std::vector<std::size_t> slots;
    return slots;
}

Slot& slotAt(std::size_t index) {
    return g_chunks[index / kSlotsPerChunk].load()[index % kSlotsPerChunk];
}

void removeRegistered() noexcept {
    const std::size_t used = g_slotsUsed.load();
    for (std::size_t i = 0; i < used; ++i) {
        const Slot& slot = slotAt(i);
        const char* path = slot.path.load();
        if (path && !slot.folder.load()) ::unlink(path);
    }
    // Folders were registered parents first: remove children first.
    for (std::size_t i = used; i-- > 0;) {
        const Slot& slot = slotAt(i);
        const char* path = slot.path.load();
        if (path && slot.folder.load()) ::rmdir(path);
    }
}

void endProgram(int signal) noexcept {
    g_handlerStarted.store(true);
    removeRegistered();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Commits going on now, on any thread, and an ending signal that came
// meanwhile: the last commit to finish ends the program for it. A signal
// mask covers only its own thread, and in the arena a signal may land on
// any of several, so the handler itself holds the signal back.
std::atomic<int> g_commits{0};
std::atomic<int> g_heldSignal{0};

extern "C" void removeTemporariesAndEnd(int signal) {
    if (g_commits.load() > 0) {
        g_heldSignal.store(signal);
        if (g_commits.load() > 0) return;
        // The last commit ended meanwhile and may not have seen it.
        signal = g_heldSignal.exchange(0);
        if (signal == 0) return;
    }
    endProgram(signal);
}

// Only a signal that would end the program is taken over; one the program
// ignores (started with nohup) or handles itself is left alone.
void installSignalHandlers() {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        if (::sigaction(signal, nullptr, &old) != 0 || old.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_handler = removeTemporariesAndEnd;
        // A signal held back returns to whatever the thread it landed on was doing.
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal, &action, nullptr);
    }
}

}  // namespace

std::size_t track(const std::string& path, bool folder) {
    static std::once_flag installed;
    std::call_once(installed, installSignalHandlers);
    std::lock_guard lock(g_registryMutex);
    std::size_t index;
    if (!freeSlots().empty()) {
        index = freeSlots().back();
        freeSlots().pop_back();
    } else {
        index = g_slotsUsed.load();
        if (index / kSlotsPerChunk >= kChunks) return kUntracked;
        if (!g_chunks[index / kSlotsPerChunk].load())
            g_chunks[index / kSlotsPerChunk].store(new Slot[kSlotsPerChunk]);
        g_slotsUsed.store(index + 1);
    }
    slotAt(index).folder.store(folder);
    slotAt(index).path.store(::strdup(path.c_str()));
    return index;
}

void untrack(std::size_t& index) noexcept {
    if (index == kUntracked) return;
    std::lock_guard lock(g_registryMutex);
    char* path = slotAt(index).path.exchange(nullptr);
    if (!g_handlerStarted.load()) std::free(path);
    freeSlots().push_back(index);
    index = kUntracked;
}

bool isTracked(const std::filesystem::path& path) {
    const std::string name = path.string();
    std::lock_guard lock(g_registryMutex);
    const std::size_t used = g_slotsUsed.load();
    for (std::size_t i = 0; i < used; ++i) {
        const char* tracked = slotAt(i).path.load();
        if (tracked && name == tracked) return true;
    }
    return false;
}

HeldBackSignals::HeldBackSignals() {
    sigset_t ending;
    sigemptyset(&ending);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ending, signal);
    ::pthread_sigmask(SIG_BLOCK, &ending, &m_previous);
    g_commits.fetch_add(1);
    // A handler already at work ends the program before this commit starts.
    while (g_handlerStarted.load()) ::pause();
}

HeldBackSignals::~HeldBackSignals() {
    const bool last = g_commits.fetch_sub(1) == 1;
    ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
    if (last)
        if (const int signal = g_heldSignal.exchange(0)) endProgram(signal);
}

}  // namespace karnwick::writer
