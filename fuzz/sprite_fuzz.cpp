// Arbitrary bytes as monster.dat, held in memory (a memfd, opened by its
// /proc name as the engine opens any game file), drawn as a preview page onto
// a memory surface. The page must show exactly the non-zero bytes of the
// monsters from the page's first up to the last monster index, each at its
// cell, column and row, in its palette colour; the count of monsters must
// follow the file's length.

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "data/errors.h"
#include "data/preview_page.h"
#include "data/sprite.h"
#include "fuzz/fuzz_check.h"
#include "tests/game_files.h"

using karnwick::fuzz::check;

namespace {

struct Point {
    float x, y;
    int32_t colour;
    bool operator==(const Point&) const = default;
};

struct MemorySurface : karnwick::DrawingSurface {
    std::vector<Point> points;
    void clear() override { points.clear(); }
    void setPoint(float x, float y, int32_t colour) override { points.push_back({x, y, colour}); }
};

// The sprite file in memory, made once per process.
int spriteFile() {
    static const int fd = memfd_create("monster.dat", 0);
    check(fd >= 0, "a memory file can be made");
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace karnwick;
    if (size < 3) return 0;
    const auto page = static_cast<int16_t>(1 + data[0] % 3);
    const auto last = static_cast<int16_t>(static_cast<uint16_t>(data[1] | data[2] << 8));
    const int16_t first = previewFirstMonster(page);
    // The rest of the input is the file from the page's first sprite on; the
    // sprites before it read as zeros (a hole in the file).
    const uint8_t* bytes = data + 3;
    const std::size_t count = size - 3;
    const int64_t start = int64_t{first} * kSpriteBytes;
    const int fd = spriteFile();
    check(ftruncate(fd, 0) == 0 && ftruncate(fd, start + static_cast<int64_t>(count)) == 0 &&
              pwrite(fd, bytes, count, start) == static_cast<ssize_t>(count),
          "the memory file takes the input");
    const std::string path = "/proc/self/fd/" + std::to_string(fd);

    const int16_t counted = lastMonsterIndex(path);
    check(counted ==
              static_cast<int64_t>(std::floor(double(start + int64_t(count)) / kSpriteBytes)) - 1,
          "the last monster index is floor(length / 9000) - 1");

    const Palette palette = karnwick::testing::distinctPalette();
    MemorySurface surface;
    drawPreviewPage(page, last, palette, surface, path);

    std::vector<Point> expected;
    for (int cell = 0; cell < kPreviewColumns * kPreviewRows && first + cell <= last; ++cell) {
        for (int r = 0; r < kSpriteHeight; ++r) {
            for (int c = 0; c < kSpriteWidth; ++c) {
                const std::size_t at =
                    std::size_t(cell) * kSpriteBytes + std::size_t(r) * kSpriteWidth + c;
                const unsigned char index = at < count ? bytes[at] : 0;
                if (index == 0) continue;
                expected.push_back({float(kPreviewCellWidth * (cell % kPreviewColumns) + c),
                                    float(kPreviewCellHeight * (cell / kPreviewColumns) + r),
                                    packedColor(palette, index)});
            }
        }
    }
    check(surface.points == expected, "the page shows exactly the sprites' non-zero bytes");
    return 0;
}
