#pragma once
// The system's font configuration, read while the window system starts.

#include <thread>

namespace arena {

// Reads the system's font configuration on a thread of its own, to be joined
// before the first window is made. The window's first text needs it and it
// takes milliseconds to read; on a display the window system's own start
// takes as long, and the two can run side by side.
std::jthread startReadingFontConfiguration();

}  // namespace arena
