#pragma once
// What `set` and `import` share to change a game file in place: one lock per
// game folder, so two writers at once never lose either's change; the refusal
// of a game file that is a link, so a set shared between folders is never
// split by accident; and the rewrite of a whole file through the writer, so a
// reader (the arena) sees the old file or the whole new one.

#include <filesystem>
#include <optional>
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

// A text a modder typed (UTF-8) as the bytes of a text field `width` bytes
// wide, padded with blanks as the game's own records are. Nothing, with
// `problem` set, when it does not fit or Windows-1252 cannot hold it.
std::optional<std::string> fieldBytes(std::string_view utf8, int width, std::string& problem);

}  // namespace karnwick::cli
