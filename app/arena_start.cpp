#include "app/arena_start.h"

#include <exception>
#include <utility>

#include "app/demo_folder.h"
#include "app/start_folder.h"
#include "data/errors.h"
#include "data/sprite.h"
#include "ui/game_folder.h"
#include "ui/main_window.h"
#include "ui/player_messages.h"

namespace arena {

namespace fs = std::filesystem;

namespace {

// One attempt in `folder`, which becomes absolute; throws karnwick::GameError
// when the window cannot load from it.
void startIn(MainWindow& window, fs::path& folder, ArenaSettings& settings) {
    folder = resolveGameFolder(folder);
    window.loadGameFolder(folder);
    settings.rememberFolder(folder);
    window.show();
    if (!holdsGameFile(folder, karnwick::kSpriteFileName)) {
        const QString text = missingSpritesText(folder);
        printToStderr(text);
        if (window.hasErrorReporter() || canAskThePlayer()) window.reportError(text);
    }
}

}  // namespace

bool startArena(MainWindow& window, fs::path folder, ArenaSettings& settings,
                const FolderChooser& choose) {
    // Ctrl+O's folder is the next start's folder, as a started one is.
    QObject::connect(&window, &MainWindow::gameFolderOpened, &window,
                     [&settings](const fs::path& opened) { settings.rememberFolder(opened); });
    StartChoice next{StartChoice::Kind::Folder, std::move(folder)};
    for (;;) {
        try {
            if (next.kind == StartChoice::Kind::DemoSet) {
                // A demo set that cannot be written fails in its folder like
                // a broken file.
                folder = demoSetFolder();
                provideDemoSet(folder);
            } else {
                folder = next.folder;
            }
            startIn(window, folder, settings);
            return true;
        } catch (const std::exception& error) {
            // A game file's failure (GameError) or any other: told alike,
            // and the player picks another way on.
            const QString text = startUpFailureText(folder, QString::fromUtf8(error.what()));
            printToStderr(text);
            next = choose(text, folder);
            if (next.kind == StartChoice::Kind::Quit) return false;
        }
    }
}

std::vector<karnwick::RecordOverride> readStartChanges(const MainWindow& window,
                                                       const std::vector<std::string>& texts) {
    const karnwick::MonsterFinder findMonster = karnwick::monsterByIndexOrName(
        {.lastIndex = window.lastMonsterIndex(),
         .statsFile = window.gameFolder() / karnwick::kStatsFileName});
    std::vector<karnwick::RecordOverride> changes;
    for (const std::string& text : texts) {
        try {
            changes.push_back(karnwick::parseRecordOverride(text, findMonster));
        } catch (const std::exception& e) {
            // A wrong change, or monsters.tat unreadable for its names. On
            // stderr too: the box alone leaves no trace in the terminal that
            // started the arena, where the --set was typed.
            if (canAskThePlayer()) printToStderr(QString::fromStdString(e.what()));
            window.reportError(QString::fromStdString(e.what()));
        }
    }
    return changes;
}

}  // namespace arena
