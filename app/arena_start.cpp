#include "app/arena_start.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

#include "data/errors.h"
#include "data/monster_stats.h"
#include "data/palette.h"
#include "data/sprite.h"
#include "ui/main_window.h"

namespace arena {

namespace {

bool holdsFile(const QString& folder, const char* name) {
    return QFileInfo(QDir(folder).filePath(QString::fromLatin1(name))).isFile();
}

}  // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Karnwick Battle Arena: pick two monsters of the game and watch them fight.\n"
        "Without DIR the arena uses the current folder when it holds mypal.pal, else the\n"
        "last folder where it started; when neither holds the game files it asks for one.\n"
        "'karnwick demo-data DIR' writes a demo set of game files."));
    const QCommandLineOption help = parser.addHelpOption();
    // -V and --version, as karnwick takes them (Qt's own version option is -v).
    const QCommandLineOption version(QStringList{QStringLiteral("V"), QStringLiteral("version")},
                                     QStringLiteral("Show the version."));
    parser.addOption(version);
    parser.addPositionalArgument(
        QStringLiteral("DIR"),
        QStringLiteral("The game folder (mypal.pal, monster.dat, monsters.tat)."),
        QStringLiteral("[DIR]"));

    CommandLine result;
    const QString program = QStringLiteral("karnwick-arena");
    const auto usageError = [&](const QString& message) {
        result.action = CommandLine::Action::Exit;
        result.exitCode = 2;
        result.err = program + QStringLiteral(": ") + message +
                     QStringLiteral("\nTry 'karnwick-arena --help' for more information.\n");
        return result;
    };
    if (!parser.parse(arguments)) return usageError(parser.errorText());
    // --help-all comes with the help option; Qt's own options are not listed.
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        result.action = CommandLine::Action::Exit;
        // Answered before the application object exists, which would name the program.
        result.out = parser.helpText().replace(QLatin1String("<executable_name>"), program);
        return result;
    }
    if (parser.isSet(version)) {
        result.action = CommandLine::Action::Exit;
        result.out =
            program + QLatin1Char(' ') + QCoreApplication::applicationVersion() + QLatin1Char('\n');
        return result;
    }
    const QStringList folders = parser.positionalArguments();
    if (folders.size() > 1) return usageError(QStringLiteral("only one game folder can be given"));
    if (!folders.isEmpty()) {
        const QFileInfo info(folders.first());
        if (!info.exists()) return usageError(folders.first() + QStringLiteral(": no such folder"));
        if (!info.isDir()) return usageError(folders.first() + QStringLiteral(": not a folder"));
        result.folder = info.absoluteFilePath();
    }
    return result;
}

bool holdsGameFiles(const QString& folder) {
    return holdsFile(folder, karnwick::kPaletteFileName) &&
           holdsFile(folder, karnwick::kSpriteFileName) &&
           holdsFile(folder, karnwick::kStatsFileName);
}

QString chooseStartFolder(const QString& argument, const QString& current,
                          const QString& remembered) {
    if (!argument.isEmpty()) return argument;
    // The menu entry starts the arena in the home folder: a palette here means
    // the player started it in a game folder on purpose.
    if (holdsFile(current, karnwick::kPaletteFileName)) return current;
    if (!remembered.isEmpty() && holdsGameFiles(remembered)) return remembered;
    return current;
}

QString startUpFailureText(const QString& folder, const QString& problem) {
    return QStringLiteral(
               "The arena cannot start in the folder\n%1\n\n%2\n\n"
               "A game folder holds the game's files mypal.pal, monster.dat and monsters.tat. "
               "Choose \"Open Game Folder\u2026\" to pick the folder of your game, or write a "
               "demo set of made-up monsters into a folder DIR from a terminal with\n\n"
               "    karnwick demo-data DIR")
        .arg(QDir::toNativeSeparators(folder), problem);
}

std::optional<QString> askForGameFolder(const QString& text, const QString& folder) {
    if (!canAskThePlayer()) return std::nullopt;
    for (;;) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Karnwick Battle Arena"), text);
        QPushButton* open =
            box.addButton(QStringLiteral("Open Game Folder\u2026"), QMessageBox::AcceptRole);
        QPushButton* quit = box.addButton(QStringLiteral("Quit"), QMessageBox::RejectRole);
        box.setDefaultButton(open);
        box.setEscapeButton(quit);
        box.exec();
        if (box.clickedButton() != open) return std::nullopt;
        const QString chosen =
            QFileDialog::getExistingDirectory(nullptr, QStringLiteral("Open Game Folder"), folder);
        // Cancelling the folder dialog goes back to the box, not out of the arena.
        if (!chosen.isEmpty()) return chosen;
    }
}

bool startArena(MainWindow& window, QString folder, QSettings& settings,
                const FolderChooser& choose) {
    for (;;) {
        QString problem;
        if (!QDir::setCurrent(folder)) {
            problem = QStringLiteral(
                "The folder cannot be opened: it does not exist or is not "
                "readable.");
        } else {
            folder = QDir::currentPath();
            try {
                window.loadMainWindow();
                settings.setValue(QLatin1String(kLastFolderKey), folder);
                window.show();
                return true;
            } catch (const karnwick::GameError& error) {
                problem = QString::fromUtf8(error.what());
            }
        }
        const QString text = startUpFailureText(folder, problem);
        printToStderr(text);
        const std::optional<QString> next = choose(text, folder);
        if (!next) return false;
        folder = *next;
    }
}

}  // namespace arena
