// Finding the game folder at start-up: the command line, the choice between
// the argument, the current folder and the remembered one, and the retry after
// a failed start, with the player's answers given through the chooser seam.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <optional>
#include <vector>

#include "app/arena_start.h"
#include "data/sprite.h"
#include "game_files.h"
#include "ui/main_window.h"

namespace {

using karnwick::testing::GameFolder;

QString pathOf(const GameFolder& folder) {
    return QString::fromStdString(folder.path().string());
}

void fillGameFolder(const GameFolder& folder) {
    folder.writePalette();
    folder.write(karnwick::kSpriteFileName, std::string(2 * karnwick::kSpriteBytes, '\1'));
    folder.writeRecords({{}, {}});
}

// Settings in a temporary file, never the player's own.
struct TempSettings {
    QTemporaryDir dir;
    QSettings settings{dir.filePath(QStringLiteral("arena.conf")), QSettings::IniFormat};
    QString remembered() const {
        return settings.value(QLatin1String(arena::kLastFolderKey)).toString();
    }
};

TEST(ArenaCommandLine, AnswersHelpAndVersionAndRejectsBadFolders) {
    GameFolder folder;
    const QString dir = pathOf(folder);
    struct Row {
        QStringList arguments;
        arena::CommandLine::Action action;
        int exitCode;
        QString folder;
        QString said;  // on stdout when the exit code is 0, else on stderr
    };
    const std::vector<Row> rows = {
        {{}, arena::CommandLine::Action::Run, 0, {}, {}},
        {{dir}, arena::CommandLine::Action::Run, 0, dir, {}},
        {{QStringLiteral("--help")}, arena::CommandLine::Action::Exit, 0, {}, "[DIR]"},
        {{QStringLiteral("--version")}, arena::CommandLine::Action::Exit, 0, {}, "karnwick-arena "},
        {{dir + "/nowhere"}, arena::CommandLine::Action::Exit, 2, {}, "nowhere: no such folder"},
        {{dir, dir}, arena::CommandLine::Action::Exit, 2, {}, "only one game folder"},
        {{QStringLiteral("--fight")}, arena::CommandLine::Action::Exit, 2, {}, "fight"},
    };
    for (const Row& row : rows) {
        const auto line = arena::parseCommandLine(QStringList{"karnwick-arena"} + row.arguments);
        const QString context = row.arguments.join(' ');
        EXPECT_EQ(line.action, row.action) << context.toStdString();
        EXPECT_EQ(line.exitCode, row.exitCode) << context.toStdString();
        EXPECT_EQ(line.folder, row.folder) << context.toStdString();
        EXPECT_TRUE((row.exitCode ? line.err : line.out).contains(row.said))
            << context.toStdString() << ": " << line.out.toStdString() << line.err.toStdString();
    }
}

// The argument wins; then a current folder holding the palette; then the
// remembered folder while it still holds the game files; else the current one.
TEST(ArenaStartFolder, ArgumentThenPaletteHereThenRememberedThenHere) {
    GameFolder empty;
    GameFolder game;
    fillGameFolder(game);
    GameFolder paletteOnly;
    paletteOnly.writePalette();
    const QString none;
    struct Row {
        QString argument, current, remembered, expected;
    };
    const std::vector<Row> rows = {
        {pathOf(empty), pathOf(game), pathOf(game), pathOf(empty)},
        {none, pathOf(paletteOnly), pathOf(game), pathOf(paletteOnly)},
        {none, pathOf(empty), pathOf(game), pathOf(game)},
        {none, pathOf(empty), pathOf(paletteOnly), pathOf(empty)},
        {none, pathOf(empty), pathOf(empty) + "/gone", pathOf(empty)},
        {none, pathOf(empty), none, pathOf(empty)},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(arena::chooseStartFolder(row.argument, row.current, row.remembered), row.expected)
            << row.argument.toStdString() << " | " << row.current.toStdString() << " | "
            << row.remembered.toStdString();
    }
}

// A failed start names the folder and the file and tells of the demo set; the
// arena retries in each folder the player picks until one works, asks no more
// once it does and remembers that folder; a player who quits leaves the
// window unshown and the remembered folder alone.
TEST(ArenaStartUp, RetriesInTheChosenFolderUntilItWorksOrThePlayerQuits) {
    GameFolder game;
    fillGameFolder(game);
    GameFolder empty;
    const QString vanished = pathOf(empty) + "/vanished";
    TempSettings temp;

    std::vector<QString> texts;
    std::vector<QString> answers = {vanished, pathOf(game)};
    MainWindow window;
    ASSERT_TRUE(arena::startArena(window, pathOf(empty), temp.settings,
                                  [&](const QString& text, const QString&) {
                                      texts.push_back(text);
                                      return std::optional<QString>(answers[texts.size() - 1]);
                                  }));
    ASSERT_EQ(texts.size(), 2u);
    for (const QString& part :
         {pathOf(empty), QStringLiteral("mypal.pal"), QStringLiteral("karnwick demo-data DIR"),
          QStringLiteral("Open Game Folder\u2026")})
        EXPECT_TRUE(texts[0].contains(part)) << texts[0].toStdString();
    EXPECT_TRUE(texts[1].contains(vanished)) << texts[1].toStdString();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.monsterList(1)->count(), 2);
    EXPECT_EQ(QDir::currentPath(), pathOf(game));
    EXPECT_EQ(temp.remembered(), pathOf(game));

    TempSettings untouched;
    MainWindow quitter;
    EXPECT_FALSE(arena::startArena(quitter, pathOf(empty), untouched.settings,
                                   [](const QString&, const QString&) { return std::nullopt; }));
    EXPECT_FALSE(quitter.isVisible());
    EXPECT_TRUE(untouched.remembered().isEmpty());
    // Offscreen, the real dialog asks no one and quits at once.
    EXPECT_EQ(arena::askForGameFolder(texts[0], pathOf(empty)), std::nullopt);
}

}  // namespace
