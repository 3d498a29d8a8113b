#include "app/arena_start.h"

#include <fontconfig/fontconfig.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QIconEngine>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>
#include <iterator>
#include <utility>

#include "data/errors.h"
#include "data/file_writer.h"
#include "data/monster_stats.h"
#include "data/palette.h"
#include "data/sprite.h"
#include "data/text_codec.h"
#include "demo/set.h"
#include "ui/game_folder.h"
#include "ui/main_window.h"

namespace arena {

namespace fs = std::filesystem;

namespace {

constexpr auto kProgram = "karnwick-arena";

bool holdsFile(const fs::path& folder, const char* name) {
    std::error_code error;
    return fs::is_regular_file(folder / name, error);
}

// An argument's bytes as text for the parser and back, every byte kept, as
// karnwick carries them.
QString parserText(const std::string& argument) {
    return QString::fromStdU16String(karnwick::argumentText(argument));
}

fs::path rawArgument(const QString& text) {
    return karnwick::argumentBytes(text.toStdU16String());
}

// The window system's own options, taken out of argv by the application
// object; accepted here so they are no usage error.
void addWindowSystemOptions(QCommandLineParser& parser) {
    const char* const valued[] = {"platform",        "platformpluginpath",
                                  "platformtheme",   "plugin",
                                  "qwindowgeometry", "qwindowicon",
                                  "qwindowtitle",    "session",
                                  "display",         "name",
                                  "geometry",        "title",
                                  "style",           "stylesheet",
                                  "qmljsdebugger"};
    const char* const flags[] = {"reverse", "widgetcount", "nograb", "dograb", "testability"};
    for (const char* name : valued) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : flags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

// The advice that follows a problem with the game files: where they come from.
QString gameFolderAdvice(const QString& howToOpen) {
    return QStringLiteral(
               "A game folder holds the game's files mypal.pal, monster.dat and monsters.tat. "
               "%1, or write a demo set of made-up monsters into a folder DIR from a terminal "
               "with\n\n    karnwick demo-data DIR")
        .arg(howToOpen);
}

}  // namespace

namespace {

// The program's icon, read only when the window system asks for a size:
// QIcon::addFile probes every image format plugin for each file before the
// window can show, and a 256-pixel rendering no window needs at start-up
// would be decoded with them.
class ArenaIconEngine : public QIconEngine {
  public:
    QIconEngine* clone() const override { return new ArenaIconEngine(*this); }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        QList<QSize> sizes;
        for (const Rendering& r : kRenderings) sizes << r.size;
        return sizes;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override {
        const QSize own = renderingFor(size).size;
        const bool larger = own.width() > size.width() || own.height() > size.height();
        return larger ? own.scaled(size, Qt::KeepAspectRatio) : own;
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode, QIcon::State) override {
        const Rendering& rendering = renderingFor(size);
        QImage image(QString::fromLatin1(rendering.file), "PNG");
        if (image.size().width() > size.width() || image.size().height() > size.height())
            image = image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        return QPixmap::fromImage(std::move(image));
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

  private:
    // The game's own 15 x 16 image where the window system asks for a small
    // icon, sharper renderings for taskbars and window switchers.
    struct Rendering {
        QSize size;
        const char* file;
    };
    inline static const Rendering kRenderings[] = {
        {QSize(15, 16), ":/icons/karnwick-arena-15x16.png"},
        {QSize(32, 32), ":/icons/karnwick-arena-32.png"},
        {QSize(48, 48), ":/icons/karnwick-arena-48.png"},
        {QSize(256, 256), ":/icons/karnwick-arena-256.png"},
    };

    // The smallest rendering that fills `size`, else the largest.
    static const Rendering& renderingFor(const QSize& size) {
        for (const Rendering& r : kRenderings) {
            if (r.size.width() >= size.width() && r.size.height() >= size.height()) return r;
        }
        return kRenderings[std::size(kRenderings) - 1];
    }
};

// Waits for the first paint of its window, then gives the icon from the event
// loop, once that paint has reached the screen.
class IconAfterFirstPaint : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                giveArenaIcon();
                deleteLater();
            });
        }
        return false;
    }
};

}  // namespace

std::jthread startReadingFontConfiguration() {
    return std::jthread([] { FcInit(); });
}

QIcon arenaIcon() {
    return QIcon(new ArenaIconEngine);
}

void giveArenaIconAfterFirstPaint(QWidget& window) {
    window.installEventFilter(new IconAfterFirstPaint(&window));
}

void giveArenaIcon() {
    if (QGuiApplication::windowIcon().isNull()) QGuiApplication::setWindowIcon(arenaIcon());
}

namespace {

void describeArguments(QCommandLineParser& parser, const QCommandLineOption& help,
                       const QCommandLineOption& version) {
    // Qt's options are single-dash words (-platform, -style).
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Karnwick Battle Arena: pick two monsters of the game and watch them fight.\n"
        "Without DIR the arena uses the current folder when it holds mypal.pal, else the\n"
        "last folder where it started; when neither holds the game files it asks for one,\n"
        "or writes and opens a demo set of made-up monsters.\n"
        "In the arena, Ctrl+O opens another game folder and F5 reads the files again.\n"
        "'karnwick demo-data DIR' writes a demo set of game files."));
    parser.addOption(help);
    parser.addOption(version);
    addWindowSystemOptions(parser);
    parser.addPositionalArgument(
        QStringLiteral("DIR"),
        QStringLiteral("The game folder (mypal.pal, monster.dat, monsters.tat)."),
        QStringLiteral("[DIR]"));
}

// Worded as the karnwick tool words its usage errors, with its status.
CommandLine usageError(const QString& message) {
    CommandLine result;
    result.action = CommandLine::Action::Exit;
    result.exitCode = 2;
    result.err = QString::fromLatin1(kProgram) + QStringLiteral(": ") + message + QLatin1Char('\n');
    return result;
}

CommandLine exitPrinting(const QString& out) {
    CommandLine result;
    result.action = CommandLine::Action::Exit;
    result.out = out;
    return result;
}

CommandLine openingFolder(const QString& given) {
    const fs::path folder = rawArgument(given);
    std::error_code error;
    const fs::file_status status = fs::status(folder, error);
    if (!fs::exists(status))
        return usageError(shownFolder(folder) + QStringLiteral(": no such folder"));
    if (!fs::is_directory(status))
        return usageError(shownFolder(folder) + QStringLiteral(": not a folder"));
    CommandLine result;
    result.folder = fs::absolute(folder, error).lexically_normal();
    if (result.folder.has_relative_path() && !result.folder.has_filename())
        result.folder = result.folder.parent_path();
    return result;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringList{QStringLiteral("V"), QStringLiteral("version")},
                                     QStringLiteral("Show the version."));
    describeArguments(parser, help, version);

    const QString program = QString::fromLatin1(kProgram);
    QStringList texts;
    for (const std::string& argument : arguments) texts << parserText(argument);
    if (texts.isEmpty()) texts << program;
    if (!parser.parse(texts)) return usageError(parser.errorText());
    // Answered before the application object exists, which would name the program.
    if (parser.isSet(help))
        return exitPrinting(parser.helpText().replace(QLatin1String("<executable_name>"), program));
    if (parser.isSet(version))
        return exitPrinting(program + QLatin1Char(' ') + QStringLiteral(KARNWICK_VERSION) +
                            QLatin1Char('\n'));
    const QStringList folders = parser.positionalArguments();
    if (folders.size() > 1) return usageError(QStringLiteral("only one game folder can be given"));
    if (folders.isEmpty()) return CommandLine{};
    return openingFolder(folders.first());
}

bool holdsGameFiles(const fs::path& folder) {
    return holdsFile(folder, karnwick::kPaletteFileName) &&
           holdsFile(folder, karnwick::kSpriteFileName) &&
           holdsFile(folder, karnwick::kStatsFileName);
}

fs::path chooseStartFolder(const fs::path& argument, const fs::path& current,
                           const fs::path& remembered) {
    if (!argument.empty()) return argument;
    // The menu entry starts the arena in the home folder: a palette here means
    // the player started it in a game folder on purpose.
    if (holdsFile(current, karnwick::kPaletteFileName)) return current;
    if (!remembered.empty() && holdsGameFiles(remembered)) return remembered;
    return current;
}

QString startUpFailureText(const fs::path& folder, const QString& problem) {
    return QStringLiteral("The arena cannot start in the folder\n%1\n\n%2\n\n%3")
        .arg(shownFolder(folder), problem,
             gameFolderAdvice(QStringLiteral(
                 "Choose \"Open Game Folder\u2026\" to pick the folder of your game, \"Try the "
                 "Demo Set\" to play with made-up monsters")));
}

// The palette is there, so the arena opens, but with empty monster lists.
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

fs::path demoSetFolder() {
    // The game's data folder, not the arena's own: the demo set is game files.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return fs::path(QFile::encodeName(data).toStdString()) / "karnwick" / "demo";
}

void provideDemoSet(const fs::path& folder) {
    if (holdsGameFiles(folder)) return;
    // The set makes the missing folders itself and removes them again when
    // it cannot be written whole.
    karnwick::writeDemoSet(folder, karnwick::Existing::Replace);
}

fs::path rememberedFolder(const QSettings& settings) {
    // Kept as text when it is valid UTF-8, else as bytes; both read back as bytes.
    const QByteArray bytes = settings.value(QLatin1String(kLastFolderKey)).toByteArray();
    return bytes.toStdString();
}

void rememberFolder(QSettings& settings, const fs::path& folder) {
    // The usual start is in the folder already remembered: writing it again
    // would cost a synced file write before the window shows.
    if (rememberedFolder(settings) == folder) return;
    const QByteArray bytes = QByteArray::fromStdString(folder.native());
    if (karnwick::isUtf8(folder.native())) {
        settings.setValue(QLatin1String(kLastFolderKey), QString::fromUtf8(bytes));
    } else {
        settings.setValue(QLatin1String(kLastFolderKey), bytes);
    }
}

namespace {

// One attempt in `folder`, made current and then absolute; the problem when
// it fails, nothing when the window is shown.
std::optional<QString> startIn(MainWindow& window, fs::path& folder, QSettings& settings) {
    std::error_code error;
    fs::current_path(folder, error);
    if (error) {
        return QStringLiteral("The folder cannot be opened: it does not exist or is not readable.");
    }
    folder = fs::current_path(error);
    try {
        window.loadMainWindow();
    } catch (const karnwick::GameError& gameError) {
        return QString::fromUtf8(gameError.what());
    }
    rememberFolder(settings, folder);
    window.show();
    if (!holdsFile(folder, karnwick::kSpriteFileName)) {
        const QString text = missingSpritesText(folder);
        printToStderr(text);
        if (window.hasErrorReporter() || canAskThePlayer()) window.reportError(text);
    }
    return std::nullopt;
}

}  // namespace

bool startArena(MainWindow& window, fs::path folder, QSettings& settings,
                const FolderChooser& choose) {
    std::optional<QString> problem = startIn(window, folder, settings);
    while (problem) {
        const QString text = startUpFailureText(folder, *problem);
        printToStderr(text);
        const StartChoice next = choose(text, folder);
        if (next.kind == StartChoice::Kind::Quit) return false;
        if (next.kind == StartChoice::Kind::Folder) {
            folder = next.folder;
            problem = startIn(window, folder, settings);
            continue;
        }
        folder = demoSetFolder();
        try {
            provideDemoSet(folder);
            problem = startIn(window, folder, settings);
        } catch (const karnwick::GameError& gameError) {
            // A demo set that cannot be written fails in its folder like a broken file.
            problem = QString::fromUtf8(gameError.what());
        }
    }
    return true;
}

}  // namespace arena
