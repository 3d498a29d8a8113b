#pragma once
// The arena's main window: two monster panels side by side, the arena log
// between them, the current hit points and the five buttons. It owns the
// palette, the monster count, both fighters and the arena's random source for
// its whole life, maps its boxes to and from the engine, and keeps no game
// rules of its own. It reads its game files from the game folder it is given,
// each file opened and closed within the action that needs it.

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "battle/battle.h"
#include "battle/panel_fields.h"
#include "battle/random.h"
#include "data/monster_stats.h"
#include "data/palette.h"
#include "ui/arena_layout.h"
#include "ui/preview_windows.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class PictureBox;

namespace karnwick {
class FolderLock;
class GameError;
namespace balance {
class BalanceLauncher;
}
}  // namespace karnwick

class MainWindow : public QWidget {
    Q_OBJECT
  public:
    // Shows a run-time error to the user; the window goes on afterwards.
    using ErrorReporter = std::function<void(const QString& message)>;

    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // The start-up step, run while the window is still hidden: the palette and
    // its colours, the monster count, then both monster lists, all read from
    // `folder`, which becomes the window's game folder. Throws
    // karnwick::GameError (a missing or malformed mypal.pal, a monster.dat too
    // long to count, a folder another command keeps writing when the player
    // stops waiting for it) and keeps the folder it had then.
    void loadGameFolder(const std::filesystem::path& folder);
    // The folder the game files are read from; empty before the first load.
    const std::filesystem::path& gameFolder() const { return m_folder; }

    // The handlers of the user's actions. Each catches the game's errors,
    // reports them and leaves what it had shown up to the failing step.
    void chooseMonster(int side, int position);
    void fight();
    void showPreview(int16_t page);
    // Closes every window of the program and ends it.
    void exitProgram();

    // F5: reads the game files again from the game folder. Both lists are
    // filled again as at start-up, both panels and fighters are cleared and
    // the open preview windows redraw. A failure is reported and the window
    // keeps everything it showed; returns false then. While another command
    // writes the folder the window waits a few seconds, then asks whether to
    // retry (see setRetryAsker).
    bool reloadGameFiles();
    // Ctrl+O: asks for a game folder and reloads from it, which makes it the
    // game folder, then sends gameFolderOpened. A failure is reported and the
    // window stays with the folder and files it had; returns false then (or
    // on cancel).
    bool openGameFolder();
    // Replaces the folder dialog of openGameFolder (tests): given the game
    // folder, the chosen one or nothing.
    using FolderPicker =
        std::function<std::optional<std::filesystem::path>(const std::filesystem::path& current)>;
    void setFolderPicker(FolderPicker picker);

    // The FIGHT button's tooltip: the odds below, then the shortcuts.
    QString fightToolTip() const;

    // The exact odds of the battle a click on FIGHT would start, from the
    // boxes' current HP and agility texts and the fighters, in one sentence.
    QString fightOdds() const;

    // Replaces the message box that reports errors (tests, benchmarks).
    void setErrorReporter(ErrorReporter reporter);
    // Replaces the Retry/Cancel box shown when another command keeps the game
    // folder longer than the window waits (a few seconds): true to wait
    // again. Without it, an error reporter set above is told and the window
    // gives up.
    using RetryAsker = std::function<bool(const QString& message)>;
    void setRetryAsker(RetryAsker asker);
    // The reporter set above, else a message box; where no one can answer a
    // box (offscreen or minimal platform) the message goes to stderr only.
    void reportError(const QString& message) const;
    bool hasErrorReporter() const { return static_cast<bool>(m_reportError); }

    const karnwick::Palette& gamePalette() const { return m_palette; }
    int16_t lastMonsterIndex() const { return m_lastMonsterIndex; }
    const karnwick::Fighters& fighters() const { return m_fighters; }
    PreviewWindows& previewWindows() { return m_previews; }

    QComboBox* monsterList(int side) const { return m_layout.monsterLists[side]; }
    PictureBox* spriteBox(int side) const { return m_layout.spriteBoxes[side]; }
    // The box of a field the panel shows (battle/panel_fields.h's
    // kPanelFields), as "hp" or "special1".
    QLineEdit* statBox(std::string_view field, int side) const;
    QLineEdit* currentHpBox(int side) const { return m_layout.currentHpBoxes[side]; }
    QPlainTextEdit* arenaLog() const { return m_layout.arenaLog; }
    QPushButton* fightButton() const { return m_layout.fightButton; }
    QPushButton* exitButton() const { return m_layout.exitButton; }
    QPushButton* previewButton(int16_t page) const { return m_layout.previewButtons[page - 1]; }

    // Ctrl+B's Balance window, made on first use.
    karnwick::balance::BalanceLauncher& balance() const { return *m_balance; }

  signals:
    // A game folder chosen with Ctrl+O has been loaded (the settings remember it).
    void gameFolderOpened(const std::filesystem::path& folder);
    // The game files were read again (F5 or Ctrl+O): the panels are empty.
    void gameFilesRead();

  protected:
    // Answers the FIGHT button's tooltip when it is asked for, so that a
    // choice never waits for the odds.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void createShortcuts();
    void clearPanels();
    void fillMonsterLists();
    // Reads `folder` into the window (lists refilled, panels cleared, open
    // previews redrawn); a failure is reported and nothing changes.
    bool reloadFrom(const std::filesystem::path& folder);
    std::filesystem::path gameFile(const char* name) const { return m_folder / name; }
    // The error's message, the records' share in it (`causes`, already worded)
    // and where to look for every problem of the files.
    void reportGameError(const karnwick::GameError& error, const QStringList& causes = {}) const;
    void showBattleLog(const karnwick::BattleLog& log);
    // The folder's shared lock, waited for a bounded time and again while
    // the player asks to retry; nothing when the player gives up.
    std::unique_ptr<karnwick::FolderLock> lockForReading(const std::filesystem::path& folder) const;
    bool askToRetry(const QString& message) const;
    // The HP and agility boxes of both panels, which a battle starts from.
    karnwick::StartingTexts startingTexts() const;

    std::filesystem::path m_folder;
    karnwick::Palette m_palette;
    int16_t m_lastMonsterIndex = 0;
    karnwick::Fighters m_fighters{};
    karnwick::Pcg32 m_random;
    PreviewWindows m_previews;
    ErrorReporter m_reportError;
    RetryAsker m_askRetry;
    FolderPicker m_pickFolder;
    karnwick::balance::BalanceLauncher* m_balance = nullptr;

    // The window's widgets, built into it as it is made.
    ArenaLayout m_layout;
};
