// A command's own command line: its parser, its game folder and its counted options.

#include "cli/command_line.h"

#include <QRegularExpression>
#include <algorithm>
#include <thread>
#include <vector>

#include "cli/shown_text.h"
#include "data/errors.h"
#include "data/monster_stats.h"
#include "data/number_text.h"
#include "data/suggestions.h"
#include "data/text_codec.h"

namespace karnwick::cli {

namespace {

// QCommandLineParser takes "-1" for an option. A negative number is hidden
// behind this mark while parsing and shown again when it is read back, so
// `duel -1 1` is an index out of range like any other.
const QString kNegativeMark = QStringLiteral("\x01");

bool isNegativeNumber(const QString& argument) {
    // A number, or a range FROM..TO that starts with one.
    static const QRegularExpression pattern(QStringLiteral("^-[0-9]+(\\.\\..*)?$"));
    return pattern.match(argument).hasMatch();
}

QString unmarked(QString text) {
    if (text.startsWith(kNegativeMark)) text.remove(0, kNegativeMark.size());
    return text;
}

}  // namespace

CommandLine::CommandLine(const Command& command, const QString& description)
    : m_command(command),
      m_helpOption(QStringList{"h", "help"}, "Show this help."),
      m_dirOption("dir", "The game folder (default: the current directory).", "DIR") {
    m_parser.setApplicationDescription(description);
    m_parser.addOption(m_helpOption);
}

void CommandLine::addDirOption() {
    m_parser.addOption(m_dirOption);
    m_hasDir = true;
}

bool CommandLine::parse(const QStringList& arguments, std::ostream& out) {
    QStringList marked{QString::fromStdString("karnwick " + std::string(m_command.name))};
    for (const QString& argument : arguments)
        marked << (isNegativeNumber(argument) ? kNegativeMark + argument : argument);
    if (!m_parser.parse(marked)) {
        const QStringList unknown = m_parser.unknownOptionNames();
        if (unknown.isEmpty()) throw CommandError(m_parser.errorText().toStdString());
        throw CommandError(unknownOptionMessage(unknown.first()));
    }
    if (m_hasDir && m_parser.values(m_dirOption).size() > 1)
        throw CommandError("--dir is given more than once");
    if (m_parser.isSet(m_helpOption)) {
        out << helpText();
        return false;
    }
    if (m_hasDir && m_parser.isSet(m_dirOption)) {
        std::error_code error;
        const std::filesystem::path dir = gameDir();
        if (!std::filesystem::is_directory(dir, error))
            throw CommandError("--dir " + shownPath(dir) + ": not a folder");
    }
    return true;
}

std::string CommandLine::unknownOptionMessage(const QString& name) const {
    // The parser keeps no list of its options, but its help names every one.
    static const QRegularExpression optionName(QStringLiteral("(?:^|[ ,])(--?[A-Za-z0-9-]+)"));
    std::vector<std::string> known;
    const QString help = m_parser.helpText();
    for (const QString& line : help.split('\n')) {
        if (!line.startsWith(QLatin1String("  -"))) continue;
        auto matches = optionName.globalMatch(line.section(QLatin1String("  "), 1, 1));
        while (matches.hasNext()) known.push_back(matches.next().captured(1).toStdString());
    }
    const std::string typed = (name.size() == 1 ? "-" : "--") + bytesFromArgument(name);
    const std::vector<std::string> near = nearestWords(typed, known);
    std::string message = "unknown option " + quotedText(typed);
    if (!near.empty()) return message + "; did you mean \"" + near.front() + "\"?";
    return message + " (see --help)";
}

QString CommandLine::value(const QCommandLineOption& option) const {
    return unmarked(m_parser.value(option));
}

QStringList CommandLine::positionalArguments() const {
    QStringList positional = m_parser.positionalArguments();
    for (QString& argument : positional) argument = unmarked(argument);
    return positional;
}

void CommandLine::requireAtMostOne(std::initializer_list<const QCommandLineOption*> options) const {
    if (std::count_if(options.begin(), options.end(),
                      [this](const QCommandLineOption* option) { return isSet(*option); }) < 2)
        return;
    std::string names;
    for (const QCommandLineOption* option : options) {
        if (!names.empty()) names += option == *(options.end() - 1) ? " and " : ", ";
        names += "--" + option->names().back().toStdString();
    }
    throw CommandError(names + " exclude each other");
}

std::filesystem::path CommandLine::gameDir() const {
    return !m_hasDir || !m_parser.isSet(m_dirOption) ? "." : pathValue(m_dirOption);
}

std::filesystem::path CommandLine::lockGameDir() {
    const std::filesystem::path dir = gameDir();
    if (!m_gameDirLock) m_gameDirLock = std::make_unique<FolderLock>(dir, FolderAccess::Read);
    return dir;
}

std::filesystem::path CommandLine::pathValue(const QCommandLineOption& option) const {
    return pathFromArgument(value(option));
}

std::string CommandLine::helpText() const {
    // The parser's own usage line starts with the program's path; the rest of
    // its text (description, options, arguments) is kept as it is.
    const std::string text = m_parser.helpText().toStdString();
    const std::size_t firstLineEnd = text.find('\n');
    std::string usage = "Usage: karnwick " + std::string(m_command.name) + " [options]";
    if (!usageWords(m_command).empty()) usage.append(" ").append(usageWords(m_command));
    return usage + (firstLineEnd == std::string::npos ? "\n" : text.substr(firstLineEnd));
}

void requireGameFiles(const std::filesystem::path& dir, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        std::error_code error;
        // A dangling link counts as missing, as the readers see it.
        if (std::filesystem::exists(dir / name, error) || error) continue;
        const std::filesystem::path shown =
            std::filesystem::absolute(dir, error).lexically_normal();
        std::string folder = shownPath(shown);
        // A root keeps its slash: "C:" alone names another folder on Windows.
        if (shown.has_relative_path() && folder.back() == '/') folder.pop_back();
        throw CommandError(std::string("no ") + name + " in " + folder +
                           ": start in the game's folder or pass --dir");
    }
}

std::optional<long long> wholeNumber(const QString& text, long long low, long long high) {
    return karnwick::wholeNumber(text.toStdString(), low, high);
}

std::optional<int> countOption(const CommandLine& line, const QCommandLineOption& option,
                               int most) {
    if (!line.isSet(option)) return std::nullopt;
    const auto asked = wholeNumber(line.value(option), 1, most);
    if (!asked) {
        throw CommandError("--" + option.names().front().toStdString() +
                           " takes a whole number from 1 to " + std::to_string(most) + ", not \"" +
                           line.value(option).toStdString() + "\"");
    }
    return static_cast<int>(*asked);
}

QCommandLineOption threadsOption() {
    return QCommandLineOption(
        "threads", "Work on N threads (default: one per core); the output is the same.", "N");
}

int threadCount(const CommandLine& line, const QCommandLineOption& option) {
    return countOption(line, option, 1024)
        .value_or(static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
}

}  // namespace karnwick::cli
