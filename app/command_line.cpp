#include "app/command_line.h"

#include <QByteArray>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include "battle/record_override.h"
#include "cli/arguments.h"
#include "ui/game_folder.h"

namespace arena {

namespace fs = std::filesystem;

namespace {

constexpr auto kProgram = "karnwick-arena";

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

void describeArguments(QCommandLineParser& parser, const QCommandLineOption& help,
                       const QCommandLineOption& version, const QCommandLineOption& balance,
                       const QCommandLineOption& set) {
    // Qt's options are single-dash words (-platform, -style).
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Karnwick Battle Arena: pick two monsters of the game and watch them fight.\n"
        "Without DIR the arena uses the current folder when it holds mypal.pal, else the\n"
        "last folder where it started; when neither holds the game files it asks for one,\n"
        "or writes and opens a demo set of made-up monsters.\n"
        "In the arena, Ctrl+O opens another game folder, F5 reads the files again and\n"
        "Ctrl+B opens the Balance window: exact odds, the roster and what-if changes.\n"
        "'karnwick demo-data DIR' writes a demo set of game files."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addOption(balance);
    parser.addOption(set);
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
    const fs::path folder = karnwick::cli::pathFromArgument(given);
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
    const QCommandLineOption balance(QStringLiteral("balance"),
                                     QStringLiteral("Start with the Balance window open."));
    const QCommandLineOption set(QStringLiteral("set"),
                                 QString::fromStdString(karnwick::recordOverrideHelp(
                                     "Start with this what-if change made in the Balance window")),
                                 QString::fromLatin1(karnwick::kRecordOverrideForm));
    describeArguments(parser, help, version, balance, set);

    const QString program = QString::fromLatin1(kProgram);
    QStringList texts;
    for (const std::string& argument : arguments)
        texts << karnwick::cli::argumentFromBytes(argument);
    if (texts.isEmpty()) texts << program;
    if (!parser.parse(texts)) return usageError(parser.errorText());
    // Answered before the application object exists, which would name the program.
    if (parser.isSet(help))
        return exitPrinting(parser.helpText().replace(QLatin1String("<executable_name>"), program));
    if (parser.isSet(version))
        return exitPrinting(program + QLatin1Char(' ') + QStringLiteral(KARNWICK_VERSION) +
                            QLatin1Char('\n'));
    std::vector<std::string> setTexts;
    for (const QString& text : parser.values(set)) {
        // The form, field and value now; the monster, by index or name, once
        // the game folder is read.
        const std::string bytes = karnwick::cli::bytesFromArgument(text);
        try {
            karnwick::parseRecordOverride(bytes, [](std::string_view) { return int16_t{0}; });
        } catch (const karnwick::CommandError& e) {
            return usageError(QString::fromStdString(e.what()));
        }
        setTexts.push_back(bytes);
    }
    const QStringList folders = parser.positionalArguments();
    if (folders.size() > 1) return usageError(QStringLiteral("only one game folder can be given"));
    CommandLine result = folders.isEmpty() ? CommandLine{} : openingFolder(folders.first());
    if (result.action == CommandLine::Action::Run) {
        result.balance = parser.isSet(balance);
        result.setTexts = std::move(setTexts);
    }
    return result;
}

}  // namespace arena
