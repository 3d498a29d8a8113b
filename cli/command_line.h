#pragma once
// What every `karnwick` command shares: its usage line, the exit statuses,
// `--dir DIR` and the message for a game file that is not there, negative
// monster indexes that are arguments rather than options, paths kept as the
// bytes the shell passed, and a standard output whose failures are never
// silent.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "data/errors.h"
#include "data/folder_lock.h"
#include "data/text_codec.h"

namespace karnwick::cli {

// The same for every command: success; the command ran and found something (a
// battle stopped by a run-time error, problems in the game files); wrong usage,
// game files that cannot be read, or output that cannot be written.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFound = 1;
inline constexpr int kExitFailure = karnwick::CommandError::kRefusedStatus;

// Where the package installs the description of every command's JSON,
// for the help texts that point to it.
inline constexpr const char* kJsonDocumentation = "/usr/share/doc/karnwick-arena/json.md";

// The lines `karnwick --help` ends with.
extern const char* const kExitStatusHelp;

// The one way a command fails (data/errors.h): thrown anywhere below a
// command, caught by the dispatcher, which writes "karnwick <command>:
// <message>" on stderr and ends with its status, or ends quietly with success
// for a reader that went away. A GameError from the engine is reported the
// same way with status 2.
using karnwick::CommandError;

class CommandLine {
  public:
    // `command` is the word after "karnwick"; `synopsis` what follows
    // "[options]" in the usage line ("A B").
    CommandLine(std::string command, QString synopsis, const QString& description);

    QCommandLineParser& parser() { return m_parser; }
    const std::string& command() const { return m_command; }

    // Adds `--dir DIR`, the game folder (the current directory by default).
    void addDirOption();

    // Parses `arguments` (those after the command's word). Returns false when
    // it has written the help to `out`: the command then ends with success.
    // Throws CommandError for wrong usage or a --dir that is no folder.
    bool parse(const QStringList& arguments, std::ostream& out);

    bool isSet(const QCommandLineOption& option) const { return m_parser.isSet(option); }
    QString value(const QCommandLineOption& option) const;
    QStringList positionalArguments() const;

    // The game folder from --dir, or the current directory. The first call
    // takes the folder's shared lock for the rest of the command, so the
    // command reads one whole set of game files (see data/folder_lock.h).
    std::filesystem::path gameDir() const;
    // Gives up that lock once the command has read all it needs, before it
    // waits for another folder's lock: two commands each reading the folder
    // the other writes into then never wait for each other.
    void releaseGameDir() const { m_gameDirLock.reset(); }

    // The value of `option` as a path with the bytes of the command line (see
    // pathFromArgument), e.g. the file of `-o FILE`.
    std::filesystem::path pathValue(const QCommandLineOption& option) const;

    // The help with a usage line that names the command, never the binary's path.
    std::string helpText() const;

  private:
    // "unknown option "--dry-rnu"; did you mean "--dry-run"?"
    std::string unknownOptionMessage(const QString& name) const;

    std::string m_command;
    QString m_synopsis;
    QCommandLineParser m_parser;
    QCommandLineOption m_helpOption;
    QCommandLineOption m_dirOption;
    bool m_hasDir = false;
    mutable std::unique_ptr<FolderLock> m_gameDirLock;
};

// The program's arguments after its name, as text for the parser, every byte
// kept (see argumentText in the text codec).
QStringList argumentsFromArgv(int argc, const char* const argv[]);

// The bytes an argument came as: the inverse of argumentsFromArgv.
std::string bytesFromArgument(const QString& argument);

// A folder or file named on the command line (--dir, -o, a DIR argument) as
// the path the shell passed, byte for byte. Every command takes its paths
// through this (or CommandLine::pathValue), never through toStdString(),
// which turns a byte outside UTF-8 into U+FFFD and so names another file.
std::filesystem::path pathFromArgument(const QString& argument);

// Throws "no monster.dat in /games/karnwick: start in the game's folder or
// pass --dir" for the first of `names` missing from `dir`.
void requireGameFiles(const std::filesystem::path& dir, std::initializer_list<const char*> names);

// A game text as a statistics box shows it (data/text_codec.h).
using karnwick::shownInBox;

// A record's text field (a name, an attack) as every table and message that
// names a monster shows it: without the blanks and NULs that pad it, the rest
// as shownInBox shows it.
std::string shownText(std::span<const char> field);

// A file or folder name for a message: bytes that are not UTF-8 and control
// characters escaped (escapedText), as GameError shows its paths.
std::string shownPath(const std::filesystem::path& path);

// The width of a UTF-8 text in a terminal's columns, one for each character
// (a name with "ü" is as wide as its letters, not its bytes).
std::size_t shownLength(std::string_view text);

// A UTF-8 text padded with blanks to `columns` characters, for the tables
// that name monsters.
std::string paddedText(std::string text, std::size_t columns);

// A game text (UTF-8, NULs and all) as a Qt string for JSON output.
QString jsonText(const std::string& text);

// A whole number in `text` within [low, high], or nothing: the engine's rule
// (data/number_text.h), one for every number a command reads.
std::optional<long long> wholeNumber(const QString& text, long long low, long long high);

// A counted option (--threads, --step, --scale): a whole number from 1 to
// `most`, or nothing when it is not given; anything else is refused with a
// CommandError that names the option.
std::optional<int> countOption(const CommandLine& line, const QCommandLineOption& option, int most);

// --threads N, the same for every command that works on threads, and its
// value: by default one thread per core.
QCommandLineOption threadsOption();
int threadCount(const CommandLine& line, const QCommandLineOption& option);

// Run first in main, before anything opens a file: each standard stream the
// program was started without (`<&-`, `>&-`) is held open on /dev/null, so no
// file the command opens takes its number (a summary meant for standard
// output would land in it), and is remembered as closed.
void holdClosedStandardStreams();

// Whether stream `fd` (0, 1 or 2) was closed when the program started.
bool standardStreamWasClosed(int fd);

// For a command that changes game files: throws "cannot write to standard
// output (it is closed)" before any work, so the command never changes a file
// it could not report.
void requireStandardOutput();

// "-" as a file to write (-o -, --png -): standard output, which takes the
// bytes through the command's checked stream, never through the file writer.
bool isStandardOutputName(const std::filesystem::path& file);

// For a picture bound for standard output, before any work: a terminal is
// refused (the bytes of a PNG are no text to show), as is a closed output.
void requirePictureOutput();

// Standard output for a command, written straight to file descriptor 1. A
// failed write while the command runs is thrown through the stream (which must
// have badbit among its exceptions) as a CommandError and stops the command:
// CommandError::readerGone() for a reader that went away (`| head`), else
// "cannot write to standard output: ..." with status 2, so no command can
// report success for output that was lost. The last write happens in
// finish(), which reports its own failure. The program must ignore SIGPIPE
// for a closed pipe to be seen.
class StandardOutput : public std::streambuf {
  public:
    // `program` starts the message of a failed last write: "karnwick duel".
    explicit StandardOutput(std::string program);
    // Writes what is left and returns `status`, or the status of a failed
    // write (0 for a reader that went away, 2 with a message on stderr).
    int finish(int status);

  protected:
    int_type overflow(int_type c) override;
    int sync() override;

  private:
    void writeBuffered();
    std::string m_program;
    std::vector<char> m_buffer;
    bool m_failed = false;
};

}  // namespace karnwick::cli
