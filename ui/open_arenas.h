#pragma once
// Which arenas are open on this machine, so that a Balance window can name
// its game folder when more than one is open and the user could mistake one
// Balance window for another's. Each arena holds a lock file in one shared
// folder for as long as it runs; the lock outlives no crash, so an arena that
// died is not counted, and its file is cleared by the next count.

#include <QString>
#include <memory>

class QLockFile;

namespace karnwick::balance {

// The folder where open arenas leave their lock files: the user's runtime
// folder (XDG_RUNTIME_DIR on Linux), or the one set for tests.
QString openArenasFolder();
void setOpenArenasFolder(const QString& folder);

// This arena is open while the object lives. Failing to make the folder or the
// file only leaves the arena uncounted: it is a courtesy, never an error.
class ArenaPresence {
  public:
    ArenaPresence();
    ~ArenaPresence();
    ArenaPresence(const ArenaPresence&) = delete;
    ArenaPresence& operator=(const ArenaPresence&) = delete;

  private:
    std::unique_ptr<QLockFile> m_lock;
};

// The arenas open now, this one included.
int countOpenArenas();

}  // namespace karnwick::balance
