#pragma once
// The writer's list of its live temporary files and the folders it created,
// which SIGINT, SIGTERM and SIGHUP (Ctrl+C and a closed console on Windows,
// see sys::onEndingEvents) remove before the program ends, and the holding
// back of those events while a set commits. Only the writer's own files
// include this.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "data/system_calls.h"

namespace karnwick::writer {

// A path the signal handler does not know (its list is full): still removed
// on a failure, only not on a signal.
inline constexpr std::size_t kUntracked = SIZE_MAX;

// Makes `path` known to the signal handler, which installs itself on the
// first call. Returns the slot to give back to untrack.
std::size_t track(const std::string& path, bool folder = false);
// Forgets the path of `slot` and sets it to kUntracked.
void untrack(std::size_t& slot) noexcept;
// Whether this program is writing the file now (a file of a pending set
// holds no lock of its own once it is written).
bool isTracked(const std::filesystem::path& path);

// From the first change of a set's commit to its last, the ending signals
// wait, on every thread, so a Ctrl-C never leaves a folder half old, half
// new; one that came meanwhile ends the program once the set is whole.
class HeldBackSignals {
  public:
    HeldBackSignals();
    ~HeldBackSignals();
    HeldBackSignals(const HeldBackSignals&) = delete;
    HeldBackSignals& operator=(const HeldBackSignals&) = delete;

  private:
    sys::HeldEvents m_previous;
};

}  // namespace karnwick::writer
