#pragma once
// A `karnwick` command's own command line: its options and arguments as Qt's
// parser reads them, with the usage line from the table of commands, `--dir
// DIR` and the game folder's lock, negative monster indexes that are
// arguments rather than options, and the counted options every command reads
// alike.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "data/errors.h"
#include "data/folder_lock.h"

namespace karnwick::cli {

class CommandLine {
  public:
    // `command` gives the usage line its name and words; `description` is
    // what the help says the command does.
    CommandLine(const Command& command, const QString& description);

    QCommandLineParser& parser() { return m_parser; }

    // Adds `--dir DIR`, the game folder (the current directory by default).
    void addDirOption();

    // Parses `arguments` (those after the command's word). Returns false when
    // it has written the help to `out`: the command then ends with success.
    // Throws CommandError for wrong usage or a --dir that is no folder.
    bool parse(const QStringList& arguments, std::ostream& out);

    bool isSet(const QCommandLineOption& option) const { return m_parser.isSet(option); }
    QString value(const QCommandLineOption& option) const;
    QStringList positionalArguments() const;

    // Throws "--csv and --json exclude each other" (every one of `options`
    // named) when more than one of them is given.
    void requireAtMostOne(std::initializer_list<const QCommandLineOption*> options) const;

    // The game folder from --dir, or the current directory.
    std::filesystem::path gameDir() const;
    // The game folder, after taking its shared lock for the rest of the
    // command (once), so that the command reads one whole set of game files
    // (see data/folder_lock.h). A command that writes takes the exclusive
    // lock instead, before it reads what it changes.
    std::filesystem::path lockGameDir();
    // Gives up that lock once the command has read all it needs, before it
    // waits for another folder's lock: two commands each reading the folder
    // the other writes into then never wait for each other.
    void releaseGameDir() { m_gameDirLock.reset(); }

    // The value of `option` as a path with the bytes of the command line (see
    // pathFromArgument), e.g. the file of `-o FILE`.
    std::filesystem::path pathValue(const QCommandLineOption& option) const;

    // The help with a usage line that names the command, never the binary's path.
    std::string helpText() const;

  private:
    // "unknown option "--dry-rnu"; did you mean "--dry-run"?"
    std::string unknownOptionMessage(const QString& name) const;

    const Command& m_command;
    QCommandLineParser m_parser;
    QCommandLineOption m_helpOption;
    QCommandLineOption m_dirOption;
    bool m_hasDir = false;
    std::unique_ptr<FolderLock> m_gameDirLock;
};

// Throws "no monster.dat in /games/karnwick: start in the game's folder or
// pass --dir" for the first of `names` missing from `dir`.
void requireGameFiles(const std::filesystem::path& dir, std::initializer_list<const char*> names);

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

}  // namespace karnwick::cli
