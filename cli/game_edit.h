#pragma once
// What `set` and `import` share to change a game file in place: one lock per
// game folder, so two writers at once never lose either's change; the refusal
// of a game file that is a link, so a set shared between folders is never
// split by accident; and the rewrite of a whole file through the writer, so a
// reader (the arena) sees the old file or the whole new one.

#include <filesystem>
#include <functional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <QCommandLineOption>

#include "data/file_writer.h"
#include "data/folder_lock.h"

namespace karnwick {
struct MonsterStats;
struct RecordField;
}  // namespace karnwick

namespace karnwick::cli {

// Held from before a game file is read until its new version is in place:
// the folder's exclusive lock (data/folder_lock.h). Waits while another
// command holds the folder, with a note on stderr after a second.
class GameFolderLock {
  public:
    explicit GameFolderLock(const std::filesystem::path& dir);

  private:
    FolderLock m_lock;
};

// Whether an edit may create the game file it changes (monsters.tat, which
// the game reads as empty when it is missing).
enum class MissingFile { Refused, Created };

// Throws a CommandError when `dir/name` is missing ("no monsters.tat in DIR:
// ..."; under MissingFile::Created only when monster.dat is missing too, so
// an edit in the wrong folder starts no set there), a link ("monsters.tat is a link to X: pass
// --dir with X's folder"), or a file with other names (hard links), which an edit would split from
// them: "monsters.tat has 2 hard links ...".
void requireOwnGameFile(const std::filesystem::path& dir, const char* name,
                        MissingFile missing = MissingFile::Refused);

// The whole of a small game file (monsters.tat).
std::vector<unsigned char> readWholeFile(const std::filesystem::path& file);

// Replaces `file` by `bytes` through the writer, which keeps its
// permissions and owner.
void rewriteGameFile(const std::filesystem::path& file, std::span<const unsigned char> bytes,
                     Existing existing);

// How an edit is made: --dry-run shows what would change and writes nothing;
// --no-history leaves it out of the history (it cannot be undone); --force
// replaces write-protected game files too.
struct EditMode {
    bool dryRun = false;
    bool recordHistory = true;
    bool force = false;
    Existing existing() const { return force ? Existing::Replace : Existing::ReplaceUnprotected; }
};

class CommandLine;

// The options that make an edit's EditMode, as `set` and `import` offer
// them: --dry-run (`dryRunHelp` says what it shows), --no-history and --force.
struct EditOptions {
    QCommandLineOption dryRun, noHistory, force;
};
EditOptions addEditOptions(CommandLine& line, const QString& dryRunHelp);
EditMode editMode(const CommandLine& line, const EditOptions& options);

// A game file as an undo or redo puts it back: its bytes, or no file at all.
struct RestoredFile {
    std::string name;
    bool present = true;
    std::vector<unsigned char> bytes;
};

// Puts `files` back in `dir` together through the writer, all or none; a file
// that was not there is removed once the others are in place.
void restoreGameFiles(const std::filesystem::path& dir, const std::vector<RestoredFile>& files,
                      Existing existing);

// A field's value as `set` and `import` name it in what they change: a
// number, or the text in quotes at full width with control bytes escaped.
std::string shownFieldValue(const MonsterStats& stats, const RecordField& field);

// Shows the summary waiting in `out`, then runs `commit`: a summary that
// cannot be written leaves the game files as they were (status 2), so the
// status tells whether the change landed. A reader that went away (`| head`)
// asked for nothing more; the change is still made and the status is 0.
void commitAfterReport(std::ostream& out, const std::function<void()>& commit);

}  // namespace karnwick::cli
