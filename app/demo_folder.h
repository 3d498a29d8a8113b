#pragma once
// The demo set behind "Try the Demo Set": made-up monsters written into the
// game's data folder, so the arena can open without the game.

#include <filesystem>

namespace arena {

// Where "Try the Demo Set" keeps its files: ~/.local/share/karnwick/demo.
std::filesystem::path demoSetFolder();

// Writes the demo set into `folder` unless all three files are there already;
// a folder holding only some of them gets the whole set. Throws
// karnwick::GameError when it cannot be written.
void provideDemoSet(const std::filesystem::path& folder);

}  // namespace arena
