#pragma once
// The demo set's creatures: each one's body plan, colours and features, drawn
// by the painter into a 90 x 100 sprite.

#include <array>
#include <vector>

#include "demo/set.h"

namespace karnwick::demo {

enum class Plan {
    Brute,    // stands on two legs: goblins, trolls, knights
    Beast,    // four legs, seen from the front: wolves, bears, boars
    Flyer,    // a body between two wings: bats, gargoyles, wyrms
    Squid,    // a mantle over curling tentacles
    Ooze,     // a heap of slime
    Serpent,  // coils and a hooded neck
    Crawler,  // eight jointed legs
    Wraith,   // a hooded, tattered robe
    Golem,    // boulders and fists
    Bloom,    // a biting flower on a stalk
    Watcher,  // one great eye on stalks
    Cap,      // a walking toadstool
    Hydra,    // three necks over a heavy body (boss)
};

struct Monster {
    const char* name;      // up to 10 characters
    const char* special1;  // up to 12
    const char* special2;
    Plan plan;
    int body, accent, eyes;  // ramps
    unsigned features;
    double scale, girth;
    bool magic;
    int variant;  // a plan's own small twist
};

// The 57 creatures in monster order: 50 ordinary ones, then the bosses.
const std::array<Monster, kDemoMonsterCount>& creatures();

// The creature's sprite, 9000 palette indexes row by row.
std::vector<unsigned char> drawMonster(const Monster& m);

}  // namespace karnwick::demo
