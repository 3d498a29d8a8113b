#pragma once
// Small game folders written by the tests: a temporary directory that holds
// the three game files, made the current directory while it lives, since the
// arena reads its files by relative name.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "data/folder_lock.h"
#include "data/monster_stats.h"
#include "data/platform.h"
#include "data/record_fields.h"
#include "data/sprite.h"

namespace karnwick::testing {

// Sprite bytes that differ per monster, column and row, with a zero (a
// transparent pixel) every so often.
inline unsigned char spriteByte(int monster, int column, int row) {
    return static_cast<unsigned char>(monster * 37 + column * 11 + row * 3);
}

// A distinct colour for every palette index (the colour table only).
inline Palette distinctPalette() {
    Palette palette;
    for (int i = 0; i < kPaletteEntries; ++i)
        palette.palColor[i] = i + (255 - i) * 256.0 + ((i * 7) & 0xFF) * 65536.0;
    return palette;
}

// monsters.tat holding `records`, one after another.
inline std::string recordFileBytes(const std::vector<MonsterStats>& records) {
    std::string bytes;
    for (const auto& r : records) {
        const auto b = encodeMonsterStats(r);
        bytes.append(b.begin(), b.end());
    }
    return bytes;
}

class GameFolder {
  public:
    GameFolder() {
        static int counter = 0;
        m_dir = std::filesystem::temp_directory_path() /
                ("karnwick-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_dir);
    }
    ~GameFolder() {
        std::filesystem::current_path(m_previous);
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }
    GameFolder(const GameFolder&) = delete;
    GameFolder& operator=(const GameFolder&) = delete;

    const std::filesystem::path& path() const { return m_dir; }

    void write(const std::string& name, std::string_view bytes) const {
        std::ofstream out(m_dir / name, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    void write(const std::string& name, const std::vector<unsigned char>& bytes) const {
        write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }

    // A palette whose entry i has the levels (i % 64, (i / 4) % 64, 63 - i % 64).
    void writePalette() const {
        std::string text;
        for (int i = 0; i < 256; ++i) {
            text += std::to_string(i % 64) + "," + std::to_string((i / 4) % 64) + "," +
                    std::to_string(63 - i % 64) + "\r\n";
        }
        write(kPaletteFileName, text);
    }

    // monster.dat of `count` sprites of spriteByte, and `extraBytes` of the
    // next one.
    void writeSprites(int count, int extraBytes = 0) const {
        std::string bytes(std::size_t(count) * kSpriteBytes + std::size_t(extraBytes), '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const int pixel = int(i % kSpriteBytes);
            bytes[i] =
                char(spriteByte(int(i / kSpriteBytes), pixel % kSpriteWidth, pixel / kSpriteWidth));
        }
        write(kSpriteFileName, bytes);
    }

    // monster.dat of `count` sprites, monster m filled with palette index m + 1.
    void writeSolidSprites(int count) const {
        std::string bytes;
        for (int m = 0; m < count; ++m) bytes += std::string(kSpriteBytes, char(m + 1));
        write(kSpriteFileName, bytes);
    }

    void writeRecords(const std::vector<MonsterStats>& records) const {
        write(kStatsFileName, recordFileBytes(records));
    }

  private:
    std::filesystem::path m_dir;
    std::filesystem::path m_previous;
};

// Sets a fixed-width text field, padding with blanks as the game's files do.
template <std::size_t N>
void setField(std::array<char, N>& field, std::string_view text) {
    field.fill(' ');
    for (std::size_t i = 0; i < text.size() && i < N; ++i) field[i] = text[i];
}

// A monster with ordinary numbers everywhere, which check finds nothing
// wrong with and which fights without a run-time error.
inline MonsterStats saneMonster(std::string_view name, int16_t hp = 25, int16_t agility = 7) {
    MonsterStats s;
    setField(s.name, name);
    setField(s.special1, "Bite");
    setField(s.special2, "Spit");
    s.hp = hp, s.agility = agility, s.level = 3, s.strength = 20;
    s.sp1Threshold = 20, s.sp2Threshold = 40;
    s.offMin = 3, s.offMax = 9, s.sp1Min = 6, s.sp1Max = 12, s.sp2Min = 2, s.sp2Max = 15;
    s.defense = 4;
    return s;
}

// A file's bytes; one that cannot be opened reads as "absent", which no test
// writes.
inline std::string readBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "absent";
}

// A game file's bytes read as the arena reads them (on Windows sharing the
// file with a writer that replaces it, which a plain read would stop), or
// "absent".
inline std::string readAsTheArena(const std::filesystem::path& file) {
    const platform::OpenedFile opened = platform::openForReading(file);
    if (opened.handle == platform::kNoHandle) return "absent";
    std::error_code error;
    std::string bytes(
        std::size_t(std::max<std::int64_t>(platform::fileSize(opened.handle, error), 0)), '\0');
    const std::int64_t read = platform::readAt(
        opened.handle, 0, reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(), error);
    platform::closeHandle(opened.handle);
    bytes.resize(std::size_t(std::max<std::int64_t>(read, 0)));
    return bytes;
}

// The three game files of `dir`, by name, byte for byte.
inline std::map<std::string, std::string> gameFileBytes(const std::filesystem::path& dir = ".") {
    std::map<std::string, std::string> files;
    for (const char* name : {kPaletteFileName, kSpriteFileName, kStatsFileName})
        files[name] = readBytes(dir / name);
    return files;
}

// Everything under `dir` with its size, inode and times, links not followed,
// so a file written, replaced, added, removed or given other rights shows as
// a difference. (Windows keeps a folder's lock in a file that stays once any
// command has looked at the folder: folder_lock.h.)
inline std::map<std::string, std::string> folderState(const std::filesystem::path& dir = ".") {
    std::map<std::string, std::string> state;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
#ifdef _WIN32
        if (entry.path().filename() == kFolderGateName) continue;
        // No inode or change time there: the file's index and write time.
        std::error_code e;
        const auto id = platform::identityOf(entry.path());
        state[entry.path().string()] =
            std::to_string(entry.is_regular_file(e) ? entry.file_size(e) : 0) + " " +
            std::to_string(id ? id->index : 0) + " " +
            std::to_string(entry.last_write_time(e).time_since_epoch().count());
#else
        struct stat s {};
        ::lstat(entry.path().c_str(), &s);
        state[entry.path().string()] = std::to_string(s.st_size) + " " + std::to_string(s.st_ino) +
                                       " " + std::to_string(s.st_mtim.tv_nsec) + " " +
                                       std::to_string(s.st_ctim.tv_sec) + "." +
                                       std::to_string(s.st_ctim.tv_nsec);
#endif
    }
    return state;
}

// What the writer leaves only when it stops short (temporary files, kept old
// links, half-built folders, a commit note) anywhere under `dir`; the edit
// history is no leftover.
inline int writerLeftovers(const std::filesystem::path& dir) {
    int found = 0;
    for (auto item = std::filesystem::recursive_directory_iterator(dir);
         item != std::filesystem::recursive_directory_iterator(); ++item) {
        const std::string name = item->path().filename().string();
        if (name == ".karnwick-history") item.disable_recursion_pending();
#ifdef _WIN32
        // Windows keeps a folder's lock in a file that stays (folder_lock.h).
        else if (name == kFolderGateName)
            continue;
#endif
        else
            found += name.find(".karnwick-") != std::string::npos;
    }
    return found;
}

// The header and one row of a record as list --csv writes them, for texts
// that need no escape.
inline std::string csvHeader() {
    std::string header = "index";
    for (const RecordField& f : kRecordFields) header += "," + std::string(f.name);
    return header + "\r\n";
}

inline std::string csvRow(int index, const MonsterStats& s) {
    std::string row = std::to_string(index);
    for (const RecordField& f : kRecordFields) {
        const auto text = textField(s, f);
        row += "," + (f.number ? std::to_string(s.*f.number)
                               : "\"" + std::string(text.begin(), text.end()) + "\"");
    }
    return row + "\r\n";
}

}  // namespace karnwick::testing
