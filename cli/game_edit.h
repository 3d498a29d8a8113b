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

#include "data/folder_lock.h"

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

// Throws a CommandError when `dir/name` is missing ("no monsters.tat in DIR:
// ..."), a link ("monsters.tat is a link to X: pass --dir with X's folder"),
// or a file with other names (hard links), which an edit would split from
// them: "monsters.tat has 2 hard links ...".
void requireOwnGameFile(const std::filesystem::path& dir, const char* name);

// The whole of a small game file (monsters.tat).
std::vector<unsigned char> readWholeFile(const std::filesystem::path& file);

// The permission bits of `file`, for its replacement.
unsigned fileMode(const std::filesystem::path& file);

// Replaces `file` by `bytes` through the writer, keeping its permissions.
void rewriteGameFile(const std::filesystem::path& file, std::span<const unsigned char> bytes);

// Shows the summary waiting in `out`, then runs `commit`: a summary that
// cannot be written leaves the game files as they were (status 2), so the
// status tells whether the change landed. A reader that went away (`| head`)
// asked for nothing more; the change is still made and the status is 0.
void commitAfterReport(std::ostream& out, const std::function<void()>& commit);

}  // namespace karnwick::cli
