#pragma once
// Read-only access to the game's files. A missing monster.dat or
// monsters.tat reads as an empty file, so a read-only game folder works and
// nothing is created in it for the reading. Opening a file may still write:
// a set of game files another command left half replaced when it was killed
// is first finished or undone (set_recovery.h), so no read sees a mix.
//
// Anything may stand where a game file is expected: a FIFO, a device, a folder,
// a link that loops. The file is opened without blocking and must be a regular
// file; anything else is "<name>: not a regular file", like any other file the
// arena cannot read. A link is followed as any program would follow it.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace karnwick {

class GameFile {
  public:
    // Opens `path` for reading. A missing file behaves as an empty one;
    // anything else that cannot be read is a GameError naming the file.
    explicit GameFile(const std::filesystem::path& path);
    ~GameFile();
    GameFile(const GameFile&) = delete;
    GameFile& operator=(const GameFile&) = delete;

    // False when there was no file of that name.
    bool exists() const noexcept { return m_handle != -1; }

    // The length in bytes at the time of the call.
    std::int64_t size() const;

    // Reads out.size() bytes from `offset` (0-based) and returns how many the
    // file held there. Bytes past the end of the file, or before its start,
    // read as 0.
    std::size_t readAt(std::int64_t offset, std::span<unsigned char> out) const;

    const std::string& name() const noexcept { return m_name; }

  private:
    std::intptr_t m_handle = -1;  // platform::Handle
    std::string m_name;
};

}  // namespace karnwick
