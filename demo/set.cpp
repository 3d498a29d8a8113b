#include "demo/set.h"

#include "data/file_set.h"
#include "data/palette.h"
#include "data/sprite.h"
#include "demo/creatures.h"

namespace karnwick {

std::vector<unsigned char> makeDemoSprites() {
    std::vector<unsigned char> bytes;
    bytes.reserve(std::size_t(kDemoMonsterCount) * kSpriteBytes);
    for (const demo::Monster& m : demo::creatures()) {
        const std::vector<unsigned char> sprite = demo::drawMonster(m);
        bytes.insert(bytes.end(), sprite.begin(), sprite.end());
    }
    return bytes;
}

DemoSet makeDemoSet() {
    DemoSet set;
    set.palette = makeDemoPalette();
    set.sprites = makeDemoSprites();
    for (const MonsterStats& s : makeDemoMonsters()) {
        const RecordBytes record = encodeMonsterStats(s);
        set.records.insert(set.records.end(), record.begin(), record.end());
    }
    return set;
}

void writeDemoSet(const std::filesystem::path& dir, Existing existing) {
    const std::vector<std::filesystem::path> names = demoFileNames();
    checkSetWritable(dir, names, existing);
    const DemoSet set = makeDemoSet();
    const SetFile files[] = {
        {names[0], set.palette},
        {names[1], {reinterpret_cast<const char*>(set.sprites.data()), set.sprites.size()}},
        {names[2], {reinterpret_cast<const char*>(set.records.data()), set.records.size()}},
    };
    writeFileSet(dir, files, existing);
}

std::vector<std::filesystem::path> demoFileNames() {
    return {kPaletteFileName, kSpriteFileName, kStatsFileName};
}

}  // namespace karnwick
