#include "app/failure_box.h"

#include <QMessageBox>
#include <QPushButton>
#include <optional>

#include "app/arena_icon.h"
#include "data/errors.h"
#include "data/sprite.h"
#include "ui/game_folder.h"
#include "ui/player_messages.h"

namespace arena {

namespace fs = std::filesystem;

namespace {

// The advice that follows a problem with the game files: where they come from.
QString gameFolderAdvice(const QString& howToOpen) {
    return QStringLiteral(
               "A game folder holds the game's files mypal.pal, monster.dat and monsters.tat. "
               "%1, or write a demo set of made-up monsters into a folder DIR from a terminal "
               "with\n\n    karnwick demo-data DIR")
        .arg(howToOpen);
}

}  // namespace

QString startUpFailureText(const fs::path& folder, const QString& problem) {
    return QStringLiteral("The arena cannot start in the folder\n%1\n\n%2\n\n%3")
        .arg(shownFolder(folder), problem,
             gameFolderAdvice(QStringLiteral(
                 "Choose \"Open Game Folder\u2026\" to pick the folder of your game, \"Try the "
                 "Demo Set\" to play with made-up monsters")));
}

QString missingSpritesText(const fs::path& folder) {
    return QStringLiteral("The arena opens without monsters in the folder\n%1\n\n%2\n\n%3")
        .arg(shownFolder(folder),
             QString::fromStdString(karnwick::errorMessage(karnwick::ErrorKind::FileNotFound,
                                                           karnwick::kSpriteFileName)),
             gameFolderAdvice(QStringLiteral("Press Ctrl+O to pick the folder of your game")));
}

FailureBox makeFailureBox(const QString& text) {
    FailureBox made;
    made.box = std::make_unique<QMessageBox>(QMessageBox::Critical,
                                             QStringLiteral("Karnwick Battle Arena"), text);
    QMessageBox& box = *made.box;
    // The two ways on share the accept role, so the layout keeps them side by
    // side in this order, with Quit apart.
    made.open = box.addButton(QStringLiteral("&Open Game Folder\u2026"), QMessageBox::AcceptRole);
    made.demo = box.addButton(QStringLiteral("&Try the Demo Set"), QMessageBox::AcceptRole);
    made.quit = box.addButton(QStringLiteral("&Quit"), QMessageBox::RejectRole);
    box.setDefaultButton(made.open);
    box.setEscapeButton(made.quit);
    return made;
}

StartChoice askForGameFolder(const QString& text, const fs::path& folder) {
    if (!canAskThePlayer()) return {};
    giveArenaIcon();
    for (;;) {
        const FailureBox failure = makeFailureBox(text);
        failure.box->exec();
        const QAbstractButton* clicked = failure.box->clickedButton();
        if (clicked == failure.demo) return {StartChoice::Kind::DemoSet, {}};
        if (clicked != failure.open) return {};
        // Cancelling the folder dialog goes back to the box, not out of the arena.
        if (std::optional<fs::path> chosen = pickGameFolder(nullptr, folder))
            return {StartChoice::Kind::Folder, *chosen};
    }
}

}  // namespace arena
