#include <algorithm>
#include <cmath>
#include <span>
#include <string_view>

#include "demo/creatures.h"
#include "demo/set.h"

namespace karnwick {
namespace {

using demo::Monster;
using demo::Plan;

// Statistics. A monster's strength grows with its place in the list; bosses
// sit above them all. The numbers keep every pair of demo monsters well clear
// of the battle's limits (levels far below 100, small damage ranges, hit
// points far from 16-bit overflow), so no battle between them can fail.

void copyPadded(std::span<char> field, std::string_view text) {
    std::fill(field.begin(), field.end(), ' ');
    std::copy_n(text.begin(), std::min(text.size(), field.size()), field.begin());
}

int16_t i16(double v) {
    return static_cast<int16_t>(std::lround(v));
}

MonsterStats statsFor(int index, const Monster& m) {
    MonsterStats s;
    copyPadded(s.name, m.name);
    copyPadded(s.special1, m.special1);
    copyPadded(s.special2, m.special2);

    const bool boss = index >= kDemoFirstBoss;
    // Rank 0 (the weakest) to 1 (the strongest ordinary monster); bosses above.
    const double rank = boss ? 1.25 + 0.05 * (index - kDemoFirstBoss) : index / 49.0;
    // A small fixed wobble so that neighbours in the list differ.
    const double wobble = ((index * 37) % 11 - 5) / 5.0;  // -1 .. 1

    s.level = i16(1 + 18 * rank + wobble);
    s.hp = i16(45 + 105 * rank + 6 * wobble + (boss ? 40 : 0));
    s.agility = i16(8 + 22 * rank - 3 * wobble);
    s.strength = i16(10 + 30 * rank + 4 * wobble);
    s.defense = i16(1 + 3 * rank + (m.plan == Plan::Golem || m.plan == Plan::Crawler ? 1 : 0));
    s.offMin = i16(3 + 5 * rank);
    s.offMax = i16(s.offMin + 6 + 5 * rank);
    s.sp1Min = i16(s.offMin + 2 + 2 * rank);
    s.sp1Max = i16(s.sp1Min + 8 + 6 * rank);
    s.sp2Min = i16(s.offMin + 1);
    s.sp2Max = i16(s.sp2Min + 6 + 4 * rank);
    s.sp1Threshold = i16(10 + (index * 7) % 9);
    s.sp2Threshold = i16(s.sp1Threshold + 12 + (index * 5) % 10);
    if (m.magic) {
        s.magicFlag = 1;
        s.mpower = i16(14 + 30 * rank + 3 * wobble);
        s.strength = i16(s.strength * 0.7);
    } else {
        s.mpower = i16(2 * rank * 5);
    }
    // The spare fields carry harmless bookkeeping, as a game editor would.
    s.spare1 = static_cast<int16_t>(index);
    s.spare2 = boss ? 1 : 0;
    return s;
}

}  // namespace

std::vector<MonsterStats> makeDemoMonsters() {
    std::vector<MonsterStats> monsters;
    for (int i = 0; i < kDemoMonsterCount; ++i)
        monsters.push_back(statsFor(i, demo::creatures()[static_cast<std::size_t>(i)]));
    return monsters;
}

}  // namespace karnwick
