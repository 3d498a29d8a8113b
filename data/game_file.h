#pragma once
// Read-only access to the game's binary files. The arena never writes a game
// file: a missing monster.dat or monsters.tat reads as an empty file, so a
// read-only game folder works and nothing is created in it.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace karnwick {

class GameFile {
  public:
    // Opens `path` for reading. A missing file behaves as an empty one; any
    // other failure (no access, a folder of that name) is a FileAccess error.
    explicit GameFile(const std::filesystem::path& path);
    ~GameFile();
    GameFile(const GameFile&) = delete;
    GameFile& operator=(const GameFile&) = delete;

    // The length in bytes at the time of the call.
    std::int64_t size() const;

    // Reads out.size() bytes from `offset` (0-based). Bytes past the end of the
    // file, or before its start, read as 0.
    void readAt(std::int64_t offset, std::span<unsigned char> out) const;

    const std::string& name() const noexcept { return m_name; }

  private:
    int m_fd = -1;
    std::string m_name;
};

}  // namespace karnwick
