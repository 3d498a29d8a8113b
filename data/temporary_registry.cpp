// The signal-safe list of the writer's live temporary files and folders.
#include "data/temporary_registry.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "data/platform.h"
#include "data/system_calls.h"

namespace karnwick::writer {

namespace {

// The handler may run at any moment, on any thread, so it only reads atomics
// and removes files and folders (sys::removeFileNow, sys::removeFolderNow).
// Slots live in chunks that are never freed; the mutex only orders the
// threads that add and remove entries. A path is freed only when no handler
// has started: one that has started ends the program, so the path it may be
// reading is simply never freed.

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
        if (path && !slot.folder.load()) sys::removeFileNow(path);
    }
    // Folders were registered parents first: remove children first.
    for (std::size_t i = used; i-- > 0;) {
        const Slot& slot = slotAt(i);
        const char* path = slot.path.load();
        if (path && slot.folder.load()) sys::removeFolderNow(path);
    }
}

void endProgram(int signal) noexcept {
    g_handlerStarted.store(true);
    removeRegistered();
    sys::endProgramFor(signal);
}

// Commits going on now, on any thread, and an ending signal that came
// meanwhile: the last commit to finish ends the program for it. A signal
// mask covers only its own thread, and in the arena a signal may land on
// any of several, so the handler itself holds the signal back.
std::atomic<int> g_commits{0};
std::atomic<int> g_heldSignal{0};

void removeTemporariesAndEnd(int signal) {
    if (g_commits.load() > 0) {
        g_heldSignal.store(signal);
        if (g_commits.load() > 0) return;
        // The last commit ended meanwhile and may not have seen it.
        signal = g_heldSignal.exchange(0);
        if (signal == 0) return;
    }
    endProgram(signal);
}

}  // namespace

std::size_t track(const std::string& path, bool folder) {
    static std::once_flag installed;
    std::call_once(installed, [] { sys::onEndingEvents(removeTemporariesAndEnd); });
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
    const std::string name = platform::pathText(path);
    std::lock_guard lock(g_registryMutex);
    const std::size_t used = g_slotsUsed.load();
    for (std::size_t i = 0; i < used; ++i) {
        const char* tracked = slotAt(i).path.load();
        if (tracked && name == tracked) return true;
    }
    return false;
}

HeldBackSignals::HeldBackSignals() {
    sys::holdEndingEvents(m_previous);
    g_commits.fetch_add(1);
    // A handler already at work ends the program before this commit starts.
    if (g_handlerStarted.load()) sys::waitForever();
}

HeldBackSignals::~HeldBackSignals() {
    const bool last = g_commits.fetch_sub(1) == 1;
    sys::releaseEndingEvents(m_previous);
    if (last)
        if (const int signal = g_heldSignal.exchange(0)) endProgram(signal);
}

}  // namespace karnwick::writer
