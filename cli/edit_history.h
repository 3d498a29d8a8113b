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
// `entry` is lines of "key value": `number 12`, `time 2026-12-08 03:40:12`,
// `command set` (or import stats, import sprite, demo-data, undo, redo),
// `target 9` (the edit an undo or redo acts on, 0 otherwise), `summary ...`
// (one line), one `file NAME present|absent` for each game file, and one
// `after NAME INODE:SIZE:MTIME|absent` for each: the file as the edit left
// it, so an undo sees a change made since without the history.
//
// An edit is recorded before its files are replaced: the copies go to a
// pending folder, then the game files are written, then the `after` lines
// are added and the folder takes its number. A program killed in between
// leaves the pending folder; the next use keeps it when the game files differ
// from its copies (the edit landed) and drops it otherwise. Everything here
// runs under the folder's lock.

#include <QCommandLineOption>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace karnwick::cli {

inline constexpr const char* kHistoryFolderName = ".karnwick-history";

// How much history is kept: the oldest edits go first past either limit.
// A test may lower them; the program never changes them.
struct HistoryLimits {
    int edits = 50;
    std::int64_t bytes = 64LL << 20;
};
HistoryLimits& historyLimits();

struct HistoryFile {
    std::string name;     // a game file's name in the folder
    bool present = true;  // false: the file was not there before the edit
    std::string after;    // the file as the edit left it; empty when not known
};

struct HistoryEntry {
    int number = 0;
    std::string time;
    std::string command;
    int target = 0;
    std::string summary;
    std::vector<HistoryFile> files;
};

class EditHistory {
  public:
    // The history of `gameDir`. The caller holds the folder's lock. Finishes
    // or drops an edit a killed program left pending.
    explicit EditHistory(std::filesystem::path gameDir);

    // Every entry, oldest first.
    const std::vector<HistoryEntry>& entries() const { return m_entries; }

    // The edit `undo` would take back and the one `redo` would apply again,
    // as editors keep them: an edit after an undo drops what could be redone.
    std::optional<HistoryEntry> nextUndo() const;
    std::optional<HistoryEntry> nextRedo() const;

    // Whether `number` is undone now, for the listing.
    bool isUndone(int number) const;

    // The first of `names` that is not as the last recorded edit of it left
    // it (an edit made with --no-history, another program): putting back an
    // older version would lose that change.
    std::optional<std::string> changedSinceRecorded(const std::vector<std::string>& names) const;

    // The bytes of `file` as entry `number` keeps them.
    std::vector<unsigned char> keptBytes(int number, const std::string& file) const;

    const std::filesystem::path& folder() const { return m_folder; }

  private:
    void load();
    void settlePending();
    std::filesystem::path m_gameDir;
    std::filesystem::path m_folder;
    std::vector<HistoryEntry> m_entries;
};

// One edit being recorded: the copies are written by the constructor, the
// entry takes its number in keep(), after the game files are in place.
// Without keep() the pending copies are removed again.
class PendingEdit {
  public:
    // Copies `files` of `gameDir` as they are now. Throws CommandError
    // ("cannot record the edit in DIR/.karnwick-history: ...; pass
    // --no-history to edit without it") when the history cannot be written.
    PendingEdit(const std::filesystem::path& gameDir, std::string command, std::string summary,
                const std::vector<std::string>& files, int target = 0);
    ~PendingEdit();
    PendingEdit(const PendingEdit&) = delete;
    PendingEdit& operator=(const PendingEdit&) = delete;

    // The edit landed: the entry takes its number and the oldest entries
    // past the limits are removed.
    void keep();

  private:
    std::filesystem::path m_gameDir;
    std::filesystem::path m_history;
    std::filesystem::path m_pending;
    HistoryEntry m_entry;
    bool m_kept = false;
};

// The `--no-history` option every edit offers.
QCommandLineOption noHistoryOption();

}  // namespace karnwick::cli
