#pragma once
// How the arena finds its game folder and starts there: the folder named on
// the command line, else the current folder when it holds the palette, else
// the last folder where the arena started, else the current folder again,
// which then fails and asks the player for a folder. The engine reads the game
// files by relative name, so the arena makes the chosen folder current.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class MainWindow;
class QSettings;

namespace arena {

// One id for the desktop entry, the icon, the software-centre data and the
// window system's grouping of the arena's windows.
inline constexpr auto kApplicationId = "io.github.karnwick.Arena";

// What the command line asked for.
struct CommandLine {
    enum class Action { Run, Exit };
    Action action = Action::Run;
    int exitCode = 0;
    // The folder given as argument, empty when none.
    QString folder;
    // What to print before exiting: help and version on stdout, errors on stderr.
    QString out;
    QString err;
};

// `karnwick-arena [DIR]`, --help, --version. `arguments` includes the program
// name, as QCoreApplication::arguments() does.
CommandLine parseCommandLine(const QStringList& arguments);

// True when `folder` holds all three game files.
bool holdsGameFiles(const QString& folder);

// The folder to start in, by the rules above; `remembered` may be empty.
QString chooseStartFolder(const QString& argument, const QString& current,
                          const QString& remembered);

// The text shown when start-up fails in `folder` with `problem` (the game's own
// error text, which names the file and what is wrong).
QString startUpFailureText(const QString& folder, const QString& problem);

// Asked after a failed start with the failure text and the folder; returns the
// folder to try next, or nothing when the player quits.
using FolderChooser =
    std::function<std::optional<QString>(const QString& text, const QString& folder)>;

// The player's choice through a message box and the folder dialog. Where no
// one can answer a box (the offscreen and minimal platforms) it shows none and
// quits at once.
std::optional<QString> askForGameFolder(const QString& text, const QString& folder);

// The settings key of the last folder where start-up succeeded.
inline constexpr auto kLastFolderKey = "lastGameFolder";

// Loads the hidden window in `folder`, asking `choose` for another folder as
// long as start-up fails; every failure is also written to stderr. On success
// the folder is remembered in `settings` and the window is shown. Returns
// false when the player quits.
bool startArena(MainWindow& window, QString folder, QSettings& settings,
                const FolderChooser& choose = askForGameFolder);

}  // namespace arena
