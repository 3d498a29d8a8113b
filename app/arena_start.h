#pragma once
// How the arena finds its game folder and starts there: the folder named on
// the command line, else the current folder when it holds the palette, else
// the last folder where the arena started, else the current folder again,
// which then fails and asks the player for a folder. The engine reads the game
// files by relative name, so the arena makes the chosen folder current.
//
// Folders are kept as the bytes the system gave (argv, getcwd, the settings),
// never through a QString, so a folder whose name is not valid UTF-8 works.

#include <QIcon>
#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class MainWindow;
class QMessageBox;
class QPushButton;
class QSettings;
class QWidget;

namespace arena {

// One id for the desktop entry, the icon, the software-centre data and the
// window system's grouping of the arena's windows.
inline constexpr auto kApplicationId = "io.github.karnwick.Arena";

// The program's icon: the game's 15 x 16 image and larger renderings, each
// read when the window system first asks for its size.
QIcon arenaIcon();

// Gives the application its icon once `window` has been painted for the first
// time. On X11 a window that shows hands the window system every rendering of
// the icon, the 256-pixel one included, which would hold back the arena's
// first paint by milliseconds; given later, the icon reaches the window a
// moment after it appears. A dialog that comes first calls giveArenaIcon.
void giveArenaIconAfterFirstPaint(QWidget& window);
// Gives the application its icon unless it has one.
void giveArenaIcon();

// Reads the system's font configuration on a thread of its own, to be joined
// before the first window is made. The window's first text needs it and it
// takes milliseconds to read; on a display the window system's own start
// takes as long, and the two can run side by side.
std::jthread startReadingFontConfiguration();

// What the command line asked for.
struct CommandLine {
    enum class Action { Run, Exit };
    Action action = Action::Run;
    int exitCode = 0;
    // The folder given as argument, empty when none.
    std::filesystem::path folder;
    // What to print before exiting: help and version on stdout, errors on stderr.
    QString out;
    QString err;
};

// `karnwick-arena [DIR]`, --help, --version, and the window system's own
// options (-platform NAME, -style NAME, ...), which are accepted here and left
// to the application object. `arguments` are the raw bytes of argv, program
// name first. Needs no application object, so every answer and usage error
// comes before the window system starts.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

// True when `folder` holds all three game files.
bool holdsGameFiles(const std::filesystem::path& folder);

// The folder to start in, by the rules above; `remembered` may be empty.
std::filesystem::path chooseStartFolder(const std::filesystem::path& argument,
                                        const std::filesystem::path& current,
                                        const std::filesystem::path& remembered);

// The text shown when start-up fails in `folder` with `problem` (the game's own
// error text, which names the file and what is wrong).
QString startUpFailureText(const std::filesystem::path& folder, const QString& problem);

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

// Where "Try the Demo Set" keeps its files: ~/.local/share/karnwick/demo.
std::filesystem::path demoSetFolder();

// Writes the demo set into `folder` unless all three files are there already.
// Throws karnwick::GameError when it cannot be written.
void provideDemoSet(const std::filesystem::path& folder);

// The settings key of the last folder where start-up succeeded, and the
// folder kept there (empty when none).
inline constexpr auto kLastFolderKey = "lastGameFolder";
std::filesystem::path rememberedFolder(const QSettings& settings);
void rememberFolder(QSettings& settings, const std::filesystem::path& folder);

// Loads the hidden window in `folder`, asking `choose` for another folder as
// long as start-up fails; every failure is also written to stderr. On success
// the folder is remembered in `settings` and the window is shown; a folder
// without monster.dat opens with no monsters, after a word to the player.
// Returns false when the player quits.
bool startArena(MainWindow& window, std::filesystem::path folder, QSettings& settings,
                const FolderChooser& choose = askForGameFolder);

}  // namespace arena
