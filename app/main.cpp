// The arena program: finds the game folder (see arena_start.h), makes the main
// window, loads the game's palette and monster count into it and shows it.
// When start-up fails the player may pick another folder or quit.

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QSettings>
#include <algorithm>
#include <cstdio>

#include "app/arena_start.h"
#include "ui/main_window.h"

namespace {

// Both streams are answered before any window system is needed, so --help
// works on a terminal without a display.
int answer(const arena::CommandLine& line) {
    std::fputs(qPrintable(line.out), stdout);
    std::fputs(qPrintable(line.err), stderr);
    return line.exitCode;
}

QIcon arenaIcon() {
    QIcon icon;
    // The game's own 15 x 16 image where the window system asks for a small
    // icon, sharper renderings for taskbars and window switchers.
    for (const char* size : {"15x16", "32", "48", "256"})
        icon.addFile(QStringLiteral(":/icons/karnwick-arena-%1.png").arg(QLatin1String(size)));
    return icon;
}

QStringList rawArguments(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setOrganizationName(QStringLiteral("karnwick"));
    QCoreApplication::setApplicationName(QStringLiteral("karnwick-arena"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KARNWICK_VERSION));

    // Help and version before the window system; other errors wait until Qt has
    // taken its own options (-platform, -style) out of the command line.
    const QStringList raw = rawArguments(argc, argv);
    const arena::CommandLine early = arena::parseCommandLine(raw);
    // A bad folder is answered at once too, unless an option may be one of
    // Qt's, which only the application object understands.
    const bool onlyFolders = std::none_of(raw.begin() + 1, raw.end(), [](const QString& a) {
        return a.startsWith(QLatin1Char('-'));
    });
    if (early.action == arena::CommandLine::Action::Exit && (early.exitCode == 0 || onlyFolders))
        return answer(early);

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QLatin1String(arena::kApplicationId));
    QApplication::setWindowIcon(arenaIcon());

    const arena::CommandLine line = arena::parseCommandLine(QCoreApplication::arguments());
    if (line.action == arena::CommandLine::Action::Exit) return answer(line);

    QSettings settings;
    const QString folder =
        arena::chooseStartFolder(line.folder, QDir::currentPath(),
                                 settings.value(QLatin1String(arena::kLastFolderKey)).toString());

    MainWindow frm1;
    if (!arena::startArena(frm1, folder, settings)) return 1;
    return app.exec();
}
