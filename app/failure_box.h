#pragma once
// What the player reads and answers when the arena cannot start in a folder:
// the failure text, and the box offering another folder, the demo set or Quit.

#include <QString>
#include <filesystem>
#include <functional>
#include <memory>

class QMessageBox;
class QPushButton;

namespace arena {

// The text shown when start-up fails in `folder` with `problem` (the game's own
// error text, which names the file and what is wrong).
QString startUpFailureText(const std::filesystem::path& folder, const QString& problem);

// The word to the player when the palette is there but monster.dat is not: the
// arena opens, with empty monster lists.
QString missingSpritesText(const std::filesystem::path& folder);

// What the player chose after a failed start.
struct StartChoice {
    enum class Kind { Folder, DemoSet, Quit };
    Kind kind = Kind::Quit;
    std::filesystem::path folder;  // for Kind::Folder
};

// Asked after a failed start with the failure text and the folder.
using FolderChooser =
    std::function<StartChoice(const QString& text, const std::filesystem::path& folder)>;

// The failure box: the text, "Open Game Folder…" (Alt+O, the default),
// "Try the Demo Set" (Alt+T) and "Quit" (Alt+Q, also Escape).
struct FailureBox {
    std::unique_ptr<QMessageBox> box;
    QPushButton* open = nullptr;
    QPushButton* demo = nullptr;
    QPushButton* quit = nullptr;
};
FailureBox makeFailureBox(const QString& text);

// The player's choice through the failure box ("Open Game Folder…", "Try the
// Demo Set", "Quit") and the folder dialog. Where no one can answer a box (the
// offscreen and minimal platforms) it shows none and quits at once.
StartChoice askForGameFolder(const QString& text, const std::filesystem::path& folder);

}  // namespace arena
