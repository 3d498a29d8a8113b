#pragma once
// How the arena starts: the main window loaded from the start folder, and
// when that fails, the player's choice of another folder or the demo set,
// until the window opens or the player quits.

#include <filesystem>
#include <string>
#include <vector>

#include "app/arena_settings.h"
#include "app/failure_box.h"
#include "battle/record_override.h"

class MainWindow;

namespace arena {

// Loads the hidden window from `folder`, asking `choose` for another folder as
// long as start-up fails; every failure is also written to stderr. On success
// the folder is remembered in `settings` and the window is shown; a folder
// without monster.dat opens with no monsters, after a word to the player.
// Every folder opened later with Ctrl+O is remembered too, so `settings`
// must outlive the window. Returns false when the player quits.
bool startArena(MainWindow& window, std::filesystem::path folder, ArenaSettings& settings,
                const FolderChooser& choose = askForGameFolder);

// The what-if changes of the command line's --set texts, read once the window
// holds its game folder: INDEX by index or by name, as karnwick reads it. A
// text that names no monster of the folder is told to the player, and on
// stderr, and left out.
std::vector<karnwick::RecordOverride> readStartChanges(const MainWindow& window,
                                                       const std::vector<std::string>& texts);

}  // namespace arena
