#include "cli/command_line.h"

#include <fcntl.h>
#include <unistd.h>

#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <thread>

#include "cli/suggestions.h"
#include "data/errors.h"
#include "data/monster_stats.h"
#include "data/number_text.h"
#include "data/text_codec.h"

namespace karnwick::cli {

const char* const kExitStatusHelp =
    "Exit status:\n"
    "  0  success\n"
    "  1  the command ran and found something: a battle stopped by a run-time\n"
    "     error, problems found by check, a monster list cannot show\n"
    "  2  wrong usage, game files that cannot be read, or output that cannot be\n"
    "     written; demo-data refusing to overwrite a file\n";

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

CommandLine::CommandLine(std::string command, QString synopsis, const QString& description)
    : m_command(std::move(command)),
      m_synopsis(std::move(synopsis)),
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
    QStringList marked{QString::fromStdString("karnwick " + m_command)};
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

std::filesystem::path CommandLine::gameDir() const {
    const std::filesystem::path dir =
        !m_hasDir || !m_parser.isSet(m_dirOption) ? "." : pathValue(m_dirOption);
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
    std::string usage = "Usage: karnwick " + m_command + " [options]";
    if (!m_synopsis.isEmpty()) usage += ' ' + m_synopsis.toStdString();
    return usage + (firstLineEnd == std::string::npos ? "\n" : text.substr(firstLineEnd));
}

QStringList argumentsFromArgv(int argc, const char* const argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromStdU16String(argumentText(argv[i]));
    return arguments;
}

std::string bytesFromArgument(const QString& argument) {
    return argumentBytes(argument.toStdU16String());
}

std::filesystem::path pathFromArgument(const QString& argument) {
    return std::filesystem::path(bytesFromArgument(argument));
}

void requireGameFiles(const std::filesystem::path& dir, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        std::error_code error;
        // A dangling link counts as missing, as the readers see it.
        if (std::filesystem::exists(dir / name, error) || error) continue;
        const std::filesystem::path shown =
            std::filesystem::absolute(dir, error).lexically_normal();
        std::string folder = shownPath(shown);
        if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        throw CommandError(std::string("no ") + name + " in " + folder +
                           ": start in the game's folder or pass --dir");
    }
}

std::string shownText(std::span<const char> field) {
    std::size_t end = field.size();
    while (end > 0 && (field[end - 1] == ' ' || field[end - 1] == '\0')) --end;
    return shownInBox(fieldText(field.first(end)));
}

std::string shownPath(const std::filesystem::path& path) {
    return escapedText(path.native());
}

std::size_t shownLength(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string paddedText(std::string text, std::size_t columns) {
    const std::size_t shown = shownLength(text);
    if (shown < columns) text.append(columns - shown, ' ');
    return text;
}

QString jsonText(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::optional<long long> wholeNumber(const QString& text, long long low, long long high) {
    return karnwick::wholeNumber(text.toStdString(), low, high);
}

namespace {

std::array<bool, 3> closedAtStart{};

}  // namespace

void holdClosedStandardStreams() {
    for (int fd = 0; fd < 3; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        closedAtStart[std::size_t(fd)] = true;
        // The lowest free number is `fd` itself, the ones before it being open.
        const int held = ::open("/dev/null", O_RDWR);
        if (held >= 0 && held != fd) ::close(held);
    }
}

bool standardStreamWasClosed(int fd) {
    return fd >= 0 && fd < 3 && closedAtStart[std::size_t(fd)];
}

void requireStandardOutput() {
    if (standardStreamWasClosed(STDOUT_FILENO))
        throw CommandError("cannot write to standard output (it is closed)");
}

bool isStandardOutputName(const std::filesystem::path& file) {
    return file == "-";
}

void requirePictureOutput() {
    requireStandardOutput();
    if (::isatty(STDOUT_FILENO) == 1) {
        throw CommandError(
            "standard output is a terminal: a PNG image is not written there (redirect it to a "
            "file or a pipe, or name a file instead of -)");
    }
}

StandardOutput::StandardOutput(std::string program)
    : m_program(std::move(program)), m_buffer(1 << 16) {
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
}

int StandardOutput::finish(int status) {
    try {
        writeBuffered();
    } catch (const CommandError& e) {
        if (e.isReaderGone()) return e.status();
        std::cerr << m_program << ": " << e.what() << "\n";
        return e.status();
    }
    return status;
}

StandardOutput::int_type StandardOutput::overflow(int_type c) {
    writeBuffered();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int StandardOutput::sync() {
    writeBuffered();
    return 0;
}

void StandardOutput::writeBuffered() {
    const char* at = pbase();
    const char* end = pptr();
    setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    // After one failure the rest is dropped: the failure has been reported.
    if (m_failed) return;
    if (at < end && standardStreamWasClosed(STDOUT_FILENO)) {
        m_failed = true;
        throw CommandError("cannot write to standard output (it is closed)");
    }
    while (at < end) {
        const ssize_t n = ::write(STDOUT_FILENO, at, static_cast<std::size_t>(end - at));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            m_failed = true;
            if (errno == EPIPE) throw CommandError::readerGone();
            throw CommandError(std::string("cannot write to standard output: ") +
                               std::strerror(errno));
        }
        at += n;
    }
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
