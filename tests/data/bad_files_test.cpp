// Every bad file the arena can meet in place of a game file, one table per
// file: each row makes the file and names the message it must give (or what
// reads from it), and no row may create or change anything in the folder (a
// missing file is not created). The three readers open through one game file:
// the palette's table has every kind of non-file, the others keep the FIFO,
// whose open would hang.
// How a palette's numbers are read is in palette_test.cpp.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "data/errors.h"
#include "data/palette.h"
#include "data/preview_page.h"
#include "data/sprite.h"
#include "game_files.h"

using namespace karnwick;
using karnwick::testing::GameFolder;
namespace fs = std::filesystem;

namespace {

struct Row {
    const char* what;
    std::function<void(const GameFolder&, const std::string& name)> make;
    std::string expected;  // the message, or what a good read gives
};

void expectRows(const std::string& name, const std::vector<Row>& rows,
                const std::function<std::string()>& read) {
    for (const Row& row : rows) {
        if (!row.make) continue;  // no such thing on this system
        GameFolder folder;
        row.make(folder, name);
        const auto before = karnwick::testing::folderState(folder.path());
        std::string got;
        try {
            got = read();
        } catch (const GameError& e) {
            got = e.what();
        }
        EXPECT_EQ(got, row.expected) << name << ", " << row.what;
        EXPECT_EQ(karnwick::testing::folderState(folder.path()), before)
            << name << ", " << row.what;
    }
}

auto bytes(std::string text) {
    return [text](const GameFolder& f, const std::string& name) { f.write(name, text); };
}
void nothing(const GameFolder&, const std::string&) {}
#ifdef _WIN32
// Windows keeps no FIFO in a folder, and making a link takes a privilege its
// users seldom have: those rows are left out there.
constexpr std::nullptr_t fifo = nullptr;
constexpr std::nullptr_t linkLoop = nullptr;
#else
void fifo(const GameFolder&, const std::string& name) {
    ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0);
}
void linkLoop(const GameFolder&, const std::string& name) {
    fs::create_symlink(name, name);
}
#endif
void folder(const GameFolder&, const std::string& name) {
    fs::create_directory(name);
}
template <std::uintmax_t size>
void sparse(const GameFolder& f, const std::string& name) {
    f.write(name, "");
    fs::resize_file(name, size);
}
void unreadable(const GameFolder& f, const std::string& name) {
    f.write(name, std::string(9000, '\1'));
    fs::permissions(name, fs::perms::none);
}

std::string numbers(int count, const std::string& first = "1") {
    std::string text = first;
    for (int i = 1; i < count; ++i) text += i % 3 ? ",1" : "\r\n1";
    return text;
}

std::string readPalette() {
    Palette p;
    loadPalette(p);
    return "red level " + std::to_string(p.palRed[0]);
}

std::string readSprites() {
    const int16_t last = lastMonsterIndex();
    struct : DrawingSurface {
        void clear() override {}
        void setPoint(float, float, int32_t) override { ++points; }
        int points = 0;
    } surface;
    drawPreviewPage(1, last, Palette{}, surface);
    return "last monster " + std::to_string(last) + ", " + std::to_string(surface.points) +
           " points";
}

std::string recordBytes(int length) {
    MonsterStats s;
    karnwick::testing::setField(s.name, "Goblin");
    s.hp = 30, s.spare11 = 0x0707;
    const auto full = encodeMonsterStats(s);
    return std::string(reinterpret_cast<const char*>(full.data()),
                       static_cast<std::size_t>(length));
}

std::string readRecords() {
    std::string out;
    for (const int16_t monster : {int16_t{0}, int16_t{1}}) {
        MonsterStats s;
        loadMonsterStats(monster, s);
        out += "[" + fieldText(s.name) + "] " + std::to_string(s.hp) + " " +
               std::to_string(s.spare11) + "; ";
    }
    return out;
}

const std::string kNul(10, '\0');
const std::string kZeros = "[" + kNul + "] 0 0; ";

}  // namespace

TEST(BadFiles, Palette) {
    expectRows(
        kPaletteFileName,
        {{"missing", nothing, "mypal.pal: file not found"},
         {"767 numbers", bytes(numbers(767)),
          "mypal.pal: input past end of file at number 768 of 768"},
         {"an over-long number", bytes(numbers(768, std::string(50, '9'))),
          "mypal.pal: overflow at number 1 of 768: \"" + std::string(40, '9') +
              "\"... (50 characters) does not fit 16 bits"},
         {"blanks beyond the size limit", bytes(std::string(kPaletteMaxBytes + 1, ' ')),
          "mypal.pal: cannot read (more than 1048576 bytes before its 768th number)"},
         {"a FIFO", fifo, "mypal.pal: not a regular file"},
         {"a folder", folder, "mypal.pal: not a regular file"},
         {"a link loop", linkLoop, "mypal.pal: cannot read (Too many levels of symbolic links)"}},
        readPalette);
}

TEST(BadFiles, Sprites) {
    expectRows(kSpriteFileName,
               {{"missing", nothing, "last monster -1, 0 points"},
                {"9001 bytes", bytes(std::string(9001, '\1')), "last monster 0, 9000 points"},
                {"a folder", folder, "monster.dat: not a regular file"},
                {"a FIFO", fifo, "monster.dat: not a regular file"},
                {"32768 sprites", sparse<294912000>, "last monster 32767, 0 points"},
                {"a sparse file of 32769 sprites", sparse<294921000>,
                 "monster.dat: overflow in the monster count: 294921000 bytes hold more than "
                 "32768 sprites"}},
               readSprites);
}

TEST(BadFiles, Records) {
    expectRows(kStatsFileName,
               {{"missing", nothing, kZeros + kZeros},
                {"empty", bytes(""), kZeros + kZeros},
                {"85 bytes", bytes(recordBytes(85)), "[Goblin    ] 30 7; " + kZeros},
                {"a partial last record", bytes(recordBytes(86) + recordBytes(20)),
                 "[Goblin    ] 30 1799; [Goblin    ] 30 0; "},
                {"a FIFO", fifo, "monsters.tat: not a regular file"}},
               readRecords);
}

TEST(BadFiles, UnreadableFilesAreNamed) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no permission bits that keep a file's owner from reading it";
#else
    if (::geteuid() == 0) GTEST_SKIP() << "running as root, who may read any file";
#endif
    for (const auto& [name, read] :
         {std::pair<std::string, std::string (*)()>{kPaletteFileName, readPalette},
          {kSpriteFileName, readSprites},
          {kStatsFileName, readRecords}})
        expectRows(name, {{"unreadable", unreadable, name + ": cannot read (Permission denied)"}},
                   read);
}
