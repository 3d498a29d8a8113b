#pragma once
// The history of the edits made to a game folder, for `history`, `undo` and
// `redo`. It lives in the folder itself, in .karnwick-history/, which no
// reader of the game files looks at:
//
//   .karnwick-history/
//     000012/            one edit, numbered in the order they were made
//       entry            what it was (see below)
//       monsters.tat     each game file the edit replaced, as it was before
//     .pending-000013/   an edit being made; kept or dropped on the next use
//
// Entry folders are named by exactly six digits, 000001 to 999999; anything
// else in the history is left alone and named by `history`. An edit that
// would need a number past 999999 is refused before it changes anything.
//
// `entry` is lines of "key value":
//   format 2
//   number 12
//   time 2026-12-08 03:40:12
//   command set                 (or import stats, import sprite, demo-data, undo, redo)
//   target 9                    (the edit an undo or redo acts on, 0 otherwise)
//   summary ...                 (one line)
//   file NAME present SIZE SHA256   a copy kept in the folder, its size and hash
//   file NAME absent                the file was not there before the edit
//   after NAME SIZE SHA256 INODE:MTIME  the file as the edit left it
//   after NAME absent
// NAME is one of mypal.pal, monster.dat and monsters.tat, each at most once;
// an entry naming anything else, or whose copies are not the plain files of
// the recorded size and hash, is unusable and named as such. The `after`
// lines tell a change made since without the history (another program, an
// edit with --no-history): by size and hash, so a copied or restored folder
// keeps its history; the inode and time only spare the hash when they agree.
// An entry without the `format` line was written by an earlier karnwick: it
// is listed, but its copies carry no hash to check them by, so undo and redo
// refuse it.
//
// An edit is recorded before its files are replaced: the copies and an entry
// with the `after` lines the edit means to leave go to a pending folder, then
// the game files are written, then the entry is rewritten with the files as
// they are and the folder takes its number. A program killed in between
// leaves the pending folder; every use of the history first keeps it when
// the game files are as its `after` lines say (the edit landed) and drops it
// otherwise. Every file of the history is opened relative to the game
// folder without following a link, and only plain files and folders are
// read: a history from a shared archive cannot reach outside the folder.
// Everything here runs under the folder's lock.

#include <QCommandLineOption>
#include <QDateTime>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/game_edit.h"

namespace karnwick::cli {

inline constexpr const char* kHistoryFolderName = ".karnwick-history";

// How much history is kept: the oldest edits go first past either limit.
// A test may lower them; the program never changes them.
struct HistoryLimits {
    int edits = 50;
    std::int64_t bytes = 64LL << 20;
};
HistoryLimits& historyLimits();

// The time an entry is stamped with; a test may fix it, the program never
// changes it.
std::function<QDateTime()>& historyClock();

// A game file as an entry knows it: absent, or its size and SHA-256 (hex).
struct FileState {
    bool present = false;
    std::int64_t size = 0;
    std::string sha256;
    std::string stamp;  // "INODE:MTIME" when it was taken, a shortcut only
};

struct HistoryFile {
    std::string name;                // one of the three game files
    FileState before;                // as the kept copy holds it
    std::optional<FileState> after;  // as the edit left it, when known
};

struct HistoryEntry {
    int number = 0;
    std::string time;
    std::string command;
    int target = 0;
    std::string summary;
    std::vector<HistoryFile> files;
    bool checked = false;  // its copies carry a size and hash to check them by
    std::string problem;   // why it cannot be used; empty when it can
};

class EditHistory {
  public:
    // The history of `gameDir`. The caller holds the folder's lock. Settles an
    // edit a killed program left pending. Throws a CommandError when
    // .karnwick-history is a link or anything but a folder.
    explicit EditHistory(std::filesystem::path gameDir);
    ~EditHistory();
    EditHistory(const EditHistory&) = delete;
    EditHistory& operator=(const EditHistory&) = delete;

    // Every entry, oldest first, the unusable ones too.
    const std::vector<HistoryEntry>& entries() const { return m_entries; }

    // The names in the history folder that are no entry, as they are.
    const std::vector<std::string>& ignoredNames() const { return m_ignored; }

    // The edit `undo` would take back and the one `redo` would apply again,
    // as editors keep them: an edit after an undo drops what could be redone.
    std::optional<HistoryEntry> nextUndo() const;
    std::optional<HistoryEntry> nextRedo() const;

    // Whether edit `number` is undone now (redoable or not), for the listing.
    bool isUndone(int number) const;

    // Throws a CommandError naming the entry when entry `number`, or any
    // entry after it, cannot be used: an undo or redo never acts past a
    // broken entry, whose edit it could not account for.
    void requireUsableFrom(int number, const std::string& command) const;

    // The first of `entry`'s files that is not as the last recorded edit of
    // it left it (an edit made with --no-history, another program): putting
    // back an older version would lose that change.
    std::optional<std::string> changedSinceRecorded(const HistoryEntry& entry) const;

    // The files `entry` keeps, each read from its copy and checked against
    // the size and hash the entry recorded; throws a CommandError naming the
    // entry and the file otherwise.
    std::vector<RestoredFile> keptFiles(const HistoryEntry& entry) const;

    // "./.karnwick-history/000012", for messages.
    std::string shownEntry(int number) const;

    const std::filesystem::path& folder() const { return m_folder; }

  private:
    void load();
    std::filesystem::path m_gameDir;
    std::filesystem::path m_folder;
    int m_gameFd = -1;
    int m_historyFd = -1;  // -1: there is no history yet
    std::vector<HistoryEntry> m_entries;
    std::vector<std::string> m_ignored;
};

// One edit being recorded: the copies are written by the constructor, the
// entry takes its number in keep(), after the game files are in place.
// Without keep() the pending copies are removed again.
class PendingEdit {
  public:
    // Copies `files` of `gameDir` as they are now. Throws CommandError
    // ("nothing was written: cannot record the edit in DIR/.karnwick-history: ...; pass
    // --no-history to edit without it") when the history cannot be written,
    // before any game file changes.
    PendingEdit(const std::filesystem::path& gameDir, std::string command, std::string summary,
                const std::vector<std::string>& files, int target = 0);
    // The same, told what the edit will leave in each file, so an edit killed
    // before keep() is settled by what the game files hold.
    PendingEdit(const std::filesystem::path& gameDir, std::string command, std::string summary,
                const std::vector<RestoredFile>& leaves, int target = 0);
    ~PendingEdit();
    PendingEdit(const PendingEdit&) = delete;
    PendingEdit& operator=(const PendingEdit&) = delete;

    // The edit landed: the entry takes its number and the oldest entries
    // past the limits are removed.
    void keep();

  private:
    void record(const std::vector<std::string>& files, const std::vector<RestoredFile>* leaves);
    // Opens the game folder and its history, settles an edit a killed
    // command left, and makes the folder of this edit's copies.
    void openPending();
    // Called while a failure is handled: removes what was made and throws
    // the failure on, a GameError as the history's refusal.
    [[noreturn]] void abandon();
    std::filesystem::path m_gameDir;
    std::filesystem::path m_history;
    std::string m_pendingName;
    int m_gameFd = -1;
    int m_historyFd = -1;
    int m_pendingFd = -1;
    HistoryEntry m_entry;
    bool m_kept = false;
};

// The `--no-history` option every edit offers.
QCommandLineOption noHistoryOption();

}  // namespace karnwick::cli
