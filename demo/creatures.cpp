#include "demo/creatures.h"

#include <cmath>

#include "demo/painter.h"

namespace karnwick::demo {
namespace {

enum Feature : unsigned {
    Horns = 1u << 0,
    Ears = 1u << 1,
    Tusks = 1u << 2,
    Crown = 1u << 3,
    Spikes = 1u << 4,
    Wings = 1u << 5,
    Tail = 1u << 6,
    Spots = 1u << 7,
    Mane = 1u << 8,
    Armour = 1u << 9,
    Flames = 1u << 10,
    Gems = 1u << 11,
};

// clang-format off
constexpr std::array<Monster, kDemoMonsterCount> kMonsters = {{
    // name          special1        special2        plan          body    accent  eyes
    {"Grubnik",     "Rusty Shiv",   "Mud Fling",    Plan::Brute,   Green,  Brown,  Gold,   Ears | Tusks, 0.74, 0.95, false, 0},
    {"Pipsquall",   "Shriek",       "Nip",          Plan::Flyer,   Brown,  Pink,   Red,    Ears, 0.72, 1.00, false, 0},
    {"Blubbel",     "Acid Spit",    "Gloop",        Plan::Ooze,    Acid,   Green,  Grey,   0, 0.72, 1.00, false, 0},
    {"Snarvel",     "Snap Bite",    "Pounce",       Plan::Beast,   Stone,  Bone,   Gold,   Ears, 0.72, 0.95, false, 0},
    {"Mossling",    "Thorn Lash",   "Pollen Puff",  Plan::Bloom,   Green,  Pink,   Gold,   0, 0.72, 1.00, false, 0},
    {"Tickwort",    "Leech Bite",   "Web Toss",     Plan::Crawler, Brown,  Red,    Red,    0, 0.70, 1.00, false, 0},
    {"Fungrot",     "Spore Cloud",  "Headbutt",     Plan::Cap,     Red,    Bone,   Grey,   Spots, 0.72, 1.00, false, 0},
    {"Wispet",      "Chill Touch",  "Moan",         Plan::Wraith,  Ice,    Blue,   Acid,   0, 0.70, 0.95, true,  0},
    {"Crabbit",     "Pinch",        "Shell Slam",   Plan::Beast,   Red,    Bone,   Grey,   Spikes, 0.70, 1.05, false, 2},
    {"Nubsworth",   "Club Swing",   "Belly Flop",   Plan::Brute,   Skin,   Brown,  Blue,   Ears, 0.76, 1.15, false, 1},
    {"Squelchy",    "Ink Squirt",   "Suckers",      Plan::Squid,   Pink,   Purple, Gold,   0, 0.74, 1.00, false, 0},
    {"Dimglow",     "Stare",        "Blink Ray",    Plan::Watcher, Purple, Pink,   Acid,   0, 0.74, 1.00, true,  0},
    {"Cobblet",     "Pebble Pelt",  "Rock Fist",    Plan::Golem,   Stone,  Brown,  Gold,   0, 0.72, 1.00, false, 0},
    {"Hisskit",     "Fang Strike",  "Venom Drip",   Plan::Serpent, Green,  Gold,   Red,    0, 0.76, 1.00, false, 0},
    {"Gnarlwolf",   "Rend",         "Howl",         Plan::Beast,   Grey,   Bone,   Gold,   Ears | Mane, 0.80, 1.00, false, 0},
    {"Bogbelch",    "Swamp Gas",    "Slurp",        Plan::Ooze,    Swamp,  Brown,  Red,    Spots, 0.80, 1.05, false, 1},
    {"Flitterfae",  "Dust Sting",   "Glamour",      Plan::Flyer,   Teal,   Purple, Pink,   Ears, 0.70, 0.95, true,  1},
    {"Scrapjaw",    "Gnash",        "Scrap Toss",   Plan::Brute,   Swamp,  Stone,  Red,    Ears | Tusks | Armour, 0.80, 1.00, false, 0},
    {"Mirewisp",    "Bog Light",    "Drain",        Plan::Wraith,  Swamp,  Acid,   Fire,   0, 0.78, 1.00, true,  1},
    {"Spindlurk",   "Silk Snare",   "Poison Fang",  Plan::Crawler, Purple, Acid,   Acid,   Spikes, 0.78, 1.05, false, 1},
    {"Thornhog",    "Quill Volley", "Gore",         Plan::Beast,   Brown,  Bone,   Red,    Tusks | Spikes, 0.78, 1.10, false, 1},
    {"Puffcap",     "Sleep Spores", "Bounce",       Plan::Cap,     Purple, Bone,   Grey,   Spots, 0.76, 1.05, false, 1},
    {"Glubbora",    "Tidal Slap",   "Ink Cloud",    Plan::Squid,   Teal,   Blue,   Fire,   0, 0.80, 1.05, false, 1},
    {"Emberling",   "Cinder Spit",  "Flare",        Plan::Golem,   Fire,   Red,    Gold,   Flames, 0.74, 0.90, true,  1},
    {"Rattlebone",  "Bone Toss",    "Clatter",      Plan::Brute,   Bone,   Stone,  Fire,   Horns, 0.82, 0.85, false, 2},
    {"Vinegrasp",   "Strangle",     "Sap Burst",    Plan::Bloom,   Swamp,  Red,    Acid,   Spikes, 0.82, 1.05, false, 1},
    {"Cragback",    "Tail Whip",    "Shell Ram",    Plan::Beast,   Swamp,  Stone,  Gold,   Spikes | Horns, 0.84, 1.15, false, 2},
    {"Frostnip",    "Ice Needle",   "Frost Bite",   Plan::Flyer,   Ice,    Blue,   Blue,   Ears | Spikes, 0.78, 1.00, true,  2},
    {"Oculoth",     "Gaze Beam",    "Mind Prick",   Plan::Watcher, Red,    Skin,   Gold,   Spikes, 0.80, 1.05, true,  1},
    {"Sludgeking",  "Engulf",       "Toxic Wave",   Plan::Ooze,    Purple, Pink,   Gold,   Crown, 0.84, 1.10, false, 0},
    {"Marrowgast",  "Grave Chill",  "Soul Tug",     Plan::Wraith,  Stone,  Purple, Fire,   Horns, 0.84, 1.00, true,  0},
    {"Brambleox",   "Trample",      "Horn Toss",    Plan::Beast,   Brown,  Green,  Red,    Horns | Mane, 0.86, 1.15, false, 3},
    {"Coilmaw",     "Crush",        "Spit Venom",   Plan::Serpent, Purple, Gold,   Acid,   Spikes, 0.86, 1.05, false, 1},
    {"Grimtusk",    "Cleave",       "War Stomp",    Plan::Brute,   Green,  Stone,  Red,    Tusks | Armour | Horns, 0.88, 1.10, false, 1},
    {"Duskwing",    "Night Swoop",  "Blood Drain",  Plan::Flyer,   Purple, Red,    Fire,   Ears | Tail, 0.84, 1.00, false, 0},
    {"Shalemind",   "Quake",        "Gravel Storm", Plan::Golem,   Brown,  Gold,   Acid,   Gems, 0.86, 1.10, false, 0},
    {"Skreech",     "Talon Rake",   "Dive",         Plan::Flyer,   Gold,   Brown,  Red,    Horns | Tail, 0.86, 1.00, false, 2},
    {"Murkgulp",    "Whirlpool",    "Grasp",        Plan::Squid,   Swamp,  Teal,   Red,    Spikes, 0.86, 1.10, false, 2},
    {"Blightcap",   "Rot Spores",   "Fungal Grip",  Plan::Cap,     Swamp,  Purple, Fire,   Spots | Horns, 0.86, 1.10, false, 2},
    {"Pyrewyrm",    "Fire Breath",  "Scorch Tail",  Plan::Serpent, Fire,   Gold,   Gold,   Horns | Flames, 0.88, 1.00, true,  2},
    {"Ironhide",    "Shield Bash",  "Lance Jab",    Plan::Brute,   Stone,  Gold,   Blue,   Armour | Horns, 0.90, 1.05, false, 3},
    {"Gloomspin",   "Shadow Web",   "Dread Bite",   Plan::Crawler, Grey,   Red,    Red,    Spikes | Horns, 0.88, 1.10, false, 2},
    {"Hexbloom",    "Hex Petal",    "Nectar Bane",  Plan::Bloom,   Purple, Gold,   Acid,   Crown, 0.88, 1.05, true,  2},
    {"Rimehowl",    "Blizzard",     "Ice Fang",     Plan::Beast,   Ice,    Bone,   Blue,   Ears | Mane | Spikes, 0.90, 1.05, false, 0},
    {"Voidgazer",   "Void Beam",    "Dread Stare",  Plan::Watcher, Grey,   Purple, Fire,   Horns | Spikes, 0.90, 1.10, true,  2},
    {"Magmaul",     "Lava Fist",    "Eruption",     Plan::Golem,   Red,    Fire,   Fire,   Flames | Horns, 0.92, 1.15, false, 1},
    {"Banshrieke",  "Wail",         "Death Grip",   Plan::Wraith,  Pink,   Grey,   Ice,    Crown, 0.90, 1.00, true,  2},
    {"Tuskarok",    "Tusk Charge",  "Bellow",       Plan::Beast,   Skin,   Bone,   Red,    Tusks | Horns | Mane, 0.94, 1.20, false, 1},
    {"Gorewing",    "Sky Rend",     "Wing Gust",    Plan::Flyer,   Red,    Stone,  Gold,   Horns | Tail | Spikes, 0.92, 1.05, false, 2},
    {"Deepmaw",     "Devour",       "Abyss Pull",   Plan::Squid,   Blue,   Teal,   Acid,   Spikes | Horns, 0.94, 1.10, false, 0},
    // The bosses: larger, crowned or armoured, gold and gems.
    {"Triskarath",  "Triple Bite",  "Venom Storm",  Plan::Hydra,   Green,  Gold,   Fire,   Spikes | Horns | Crown, 1.00, 1.00, false, 0},
    {"Morvayne",    "Soul Harvest", "Bone Storm",   Plan::Wraith,  Purple, Gold,   Acid,   Crown | Horns | Gems, 1.00, 1.05, true,  3},
    {"Thalassor",   "Maelstrom",    "Crushing Arm", Plan::Squid,   Teal,   Gold,   Fire,   Crown | Spikes | Gems, 1.00, 1.10, false, 3},
    {"Grondolith",  "Earthshaker",  "Titan Fist",   Plan::Golem,   Stone,  Gold,   Ice,    Crown | Gems | Horns, 1.00, 1.15, false, 2},
    {"Vexmorrow",   "Hellfire",     "Doom Claw",    Plan::Brute,   Red,    Gold,   Fire,   Horns | Wings | Crown | Tail | Armour, 1.00, 1.05, true,  4},
    {"Arachnessa",  "Queen's Bite", "Silk Prison",  Plan::Crawler, Purple, Gold,   Red,    Crown | Spikes | Gems, 1.00, 1.10, false, 3},
    {"Zyrathax",    "Inferno",      "Tail Smash",   Plan::Flyer,   Gold,   Red,    Fire,   Horns | Crown | Spikes | Tail | Gems, 1.00, 1.05, true,  3},
}};
// clang-format on

bool has(const Monster& m, Feature f) {
    return (m.features & f) != 0;
}

// --- features shared by several plans, placed around a head ----------------

void paintHorns(Painter& p, const Monster& m, double headY, double headR) {
    if (!has(m, Horns)) return;
    const double base = headR * 0.55;
    const int ramp = m.body == Bone ? Stone : Bone;
    if (m.variant % 2 == 0) {
        p.chain({{base, headY - headR * 0.6},
                 {base + 7, headY - headR - 6},
                 {base + 5, headY - headR - 14}},
                3.2, 0.8, ramp);
    } else {
        p.chain({{base, headY - headR * 0.5},
                 {base + 10, headY - headR - 2},
                 {base + 15, headY - headR - 4},
                 {base + 16, headY - headR + 4}},
                3.4, 0.8, ramp);
    }
}

void paintCrown(Painter& p, const Monster& m, double topY, double width) {
    if (!has(m, Crown)) return;
    p.polygon({{0, topY + 4},
               {width, topY + 4},
               {width + 1, topY - 6},
               {width * 0.55, topY - 1},
               {width * 0.35, topY - 9},
               {width * 0.12, topY - 2},
               {0, topY - 11},
               {0, topY + 4}},
              Gold, 12);
    p.ellipse(0, topY - 1, 2, 2, Red, 0);
    if (width > 6) p.ellipse(width * 0.6, topY + 1, 1.5, 1.5, Blue, 0);
}

void paintWings(Painter& p, const Monster& m, double rootY, double span) {
    const int skin = m.accent;
    const int bone = m.body;
    p.polygon({{6, rootY},
               {span, rootY - 26},
               {span + 2, rootY + 6},
               {span - 6, rootY + 2},
               {span - 10, rootY + 14},
               {span - 17, rootY + 8},
               {span - 23, rootY + 18},
               {8, rootY + 12}},
              skin, 11);
    p.limb({6, rootY + 2}, {span, rootY - 26}, 2.6, 1.4, bone);
    p.limb({span - 2, rootY - 22}, {span - 10, rootY + 13}, 1.2, 0.7, bone);
    p.limb({span - 8, rootY - 14}, {span - 23, rootY + 17}, 1.2, 0.7, bone);
}

void paintTail(Painter& p, const Monster& m, double rootY) {
    if (!has(m, Tail)) return;
    p.chain({{10, rootY}, {22, rootY + 8}, {30, rootY + 2}, {36, rootY - 8}}, 4, 1.2, m.body);
    p.polygon({{33, rootY - 8}, {42, rootY - 14}, {39, rootY - 4}}, m.accent, 12);
}

void paintSpikesRow(Painter& p, const Monster& m, std::initializer_list<Vec> roots, double len) {
    if (!has(m, Spikes)) return;
    const int ramp = m.accent == Bone || m.body == Bone ? Stone : Bone;
    for (const Vec& r : roots)
        p.polygon({{r.u - 2.5, r.y + 2}, {r.u + 2.5, r.y + 2}, {r.u + 1, r.y - len}}, ramp, 13);
}

void paintGems(Painter& p, const Monster& m, double y) {
    if (!has(m, Gems)) return;
    p.ellipse(0, y, 3, 3.6, Red);
    p.ellipse(9, y + 2, 2, 2.4, Teal);
}

void paintMouth(Painter& p, double y, double width, double depth, int fangs) {
    p.ellipse(0, y, width, depth, Red, 0, {true, false, 2});
    for (int i = 0; i < fangs; ++i) {
        const double u = width * (0.25 + 0.6 * i / std::max(1, fangs));
        p.fang(u, y - depth * 0.7, depth * 1.1, 1.1);
    }
}

// --- body plans ------------------------------------------------------------

void paintBrute(Painter& p, const Monster& m) {
    const bool skeleton = m.body == Bone;
    if (has(m, Wings)) paintWings(p, m, 40, 46);
    paintTail(p, m, 78);
    // Legs and feet.
    p.limb({9, 70}, {11, 92}, skeleton ? 3 : 6.5, skeleton ? 2.5 : 5.5, m.body);
    p.ellipse(13, 94, 7.5, 3.2, m.accent);
    // Torso: ribs for the dead, a belt or armour for the rest.
    if (skeleton) {
        p.limb({0, 44}, {0, 76}, 3, 3, Bone);
        for (int i = 0; i < 4; ++i) p.ellipse(0, 50 + i * 5.5, 13 - i * 1.5, 2.2, Bone);
        p.ellipse(0, 74, 11, 5, Bone);
    } else {
        p.ellipse(0, 58, m.variant == 1 ? 19 : 16, 19, m.body);
        p.ellipse(0, 63, 10, 11, m.accent, 0, {false, true, -1});
        if (has(m, Armour)) {
            p.ellipse(0, 52, 15, 10, m.accent);
            p.ellipse(0, 70, 15, 3.5, Brown);
            p.ellipse(0, 70, 3.5, 3.5, Gold);
            p.ellipse(17, 43, 8, 6, m.accent);
        }
    }
    // Arms with fists or claws.
    const double armR = skeleton ? 2.6 : 5;
    p.limb({15, 44}, {23, 60}, armR, armR * 0.9, m.body);
    p.limb({23, 60}, {25, 74}, armR * 0.9, armR * 0.85, m.body);
    p.ellipse(25.5, 76, skeleton ? 3.5 : 5.5, skeleton ? 3.5 : 5, m.body);
    if (m.variant == 4 || skeleton) {
        for (int i = 0; i < 3; ++i) p.fang(22.5 + i * 2.5, 79, 4, 0.9);
    }
    if (has(m, Armour)) paintSpikesRow(p, m, {{19, 38}}, 6);
    // Head.
    const double headR = m.variant == 1 ? 12 : 13;
    const double headY = 28;
    if (has(m, Ears))
        p.polygon({{9, headY - 2}, {m.variant == 1 ? 18.0 : 27.0, headY - 12}, {12, headY + 6}},
                  m.body, 11);
    paintHorns(p, m, headY, headR);
    p.ellipse(0, headY, headR, headR * (skeleton ? 1.05 : 0.95), m.body);
    if (has(m, Armour) && !has(m, Crown)) {
        p.ellipse(0, headY - 5, headR + 1, headR * 0.6, m.accent, 0, {true, true, -1});
        p.limb({0, headY - 4}, {0, headY + 6}, 1.6, 1.6, m.accent);
    }
    if (skeleton) {
        p.ellipse(5, headY - 1, 4, 4.5, Grey, 0, {false, true, 2});
        p.eye(5, headY - 1, 1.8, m.eyes);
        p.polygon({{0, headY + 3}, {1.6, headY + 7}, {0, headY + 7}}, Grey, 2, {false, true, 2});
        for (int i = 0; i < 3; ++i)
            p.ellipse(1 + i * 2.6, headY + 10, 1.1, 1.8, Bone, 0, {false, true, 14});
    } else {
        p.ellipse(5.2, headY - 3.5, 4.5, 1.6, m.body, -15, {false, true, 4});
        p.eye(5.2, headY - 0.5, 3.2, m.eyes, m.variant == 4);
        p.ellipse(0, headY + 3.5, 2.2, 2.2, m.body);
        paintMouth(p, headY + 8, 6, 2.4, 2);
        if (has(m, Tusks)) p.limb({5, headY + 9}, {7, headY + 2}, 1.8, 0.7, Bone);
    }
    paintCrown(p, m, headY - headR - 1, 9);
    paintGems(p, m, 52);
}

void paintBeast(Painter& p, const Monster& m) {
    const bool shell = m.variant == 2;
    paintTail(p, m, 58);
    if (has(m, Mane)) {
        for (int i = 0; i < 7; ++i) {
            const double a = (-90 + i * 30) * kPi / 180;
            p.ellipse(std::cos(a) * 15, 42 + std::sin(a) * 15, 8, 11, m.accent,
                      90 + (-90 + i * 30));
        }
    }
    // Back body and hind legs, then the chest and forelegs.
    p.ellipse(0, 62, shell ? 32 : 27, shell ? 22 : 19, shell ? m.accent : m.body);
    if (shell) {
        for (int i = 0; i < 3; ++i) p.ellipse(i * 12, 52, 5, 4, m.body, 0, {true, true, -1});
    }
    paintSpikesRow(p, m, {{8, 45}, {20, 46}, {29, 52}}, 8);
    p.limb({25, 70}, {27, 92}, 5, 4.5, m.body);
    p.ellipse(28, 93.5, 6, 3, m.body);
    p.limb({12, 66}, {13, 92}, 7, 6, m.body);
    p.ellipse(14, 93.5, 8, 3.5, m.body);
    for (int i = 0; i < 3; ++i) p.ellipse(10.5 + i * 3.2, 95.5, 1, 1.4, Bone, 0, {false, true, 13});
    p.ellipse(0, 68, 10, 14, m.accent, 0, {false, true, -1});
    // Head with ears, snout, nose and fangs.
    const double headY = 42;
    if (has(m, Ears)) {
        p.polygon({{6, headY - 8}, {16, headY - 26}, {17, headY - 5}}, m.body, 10);
        p.polygon({{9, headY - 9}, {15, headY - 21}, {15, headY - 7}}, Pink, 9, {false, true, -1});
    }
    paintHorns(p, m, headY, 15);
    p.ellipse(0, headY, 16, 14, m.body);
    p.ellipse(0, headY + 9, 9, 7, m.accent);
    p.ellipse(0, headY + 4, 3.8, 2.6, Grey, 0, {true, false, 3});
    p.eye(7, headY - 3, 3.2, m.eyes);
    p.ellipse(7, headY - 7, 4.5, 1.4, m.body, -12, {false, true, 4});
    if (has(m, Tusks)) p.limb({6, headY + 11}, {11, headY + 1}, 2.2, 0.8, Bone);
    p.ellipse(0, headY + 12, 4.5, 1.5, Red, 0, {false, true, 3});
    p.fang(3, headY + 11, 4, 1.1);
    paintCrown(p, m, headY - 14, 8);
}

void paintFlyer(Painter& p, const Monster& m) {
    const bool bird = m.variant == 2;
    paintTail(p, m, 70);
    paintWings(p, m, 42, bird ? 44 : 45);
    if (m.variant == 3) paintWings(p, m, 56, 36);  // the emperor's second pair
    // Legs with talons.
    p.limb({6, 70}, {8, 88}, 3, 2.4, m.accent);
    for (int i = -1; i <= 1; ++i) p.limb({8, 88}, {8 + i * 3.5, 93}, 1.4, 0.9, Bone);
    // Body, belly and head.
    p.ellipse(0, 58, 12, 18, m.body);
    p.ellipse(0, 62, 7, 12, m.accent, 0, {false, true, -1});
    paintSpikesRow(p, m, {{0, 38}}, 6);
    const double headY = 32;
    if (has(m, Ears)) p.polygon({{5, headY - 4}, {14, headY - 20}, {11, headY + 2}}, m.body, 10);
    paintHorns(p, m, headY, 11);
    p.ellipse(0, headY, 11, 10, m.body);
    p.eye(4.5, headY - 1.5, 2.8, m.eyes);
    if (bird) {
        p.polygon({{0, headY + 1}, {4, headY + 2}, {0, headY + 11}}, Gold, 13);
    } else if (m.variant == 3) {
        p.ellipse(0, headY + 6, 6, 4.5, m.body);
        p.ellipse(2, headY + 4, 1, 0.8, Grey, 0, {false, true, 2});
        p.fang(4, headY + 8, 3, 1);
    } else {
        p.ellipse(0, headY + 2.5, 2.2, 1.6, Pink, 0, {true, false, 6});
        p.ellipse(0, headY + 6, 4, 1.8, Red, 0, {false, true, 2});
        p.fang(2.5, headY + 5, 3, 0.9);
    }
    paintCrown(p, m, headY - 10, 7);
    paintGems(p, m, 55);
}

void paintSquid(Painter& p, const Monster& m) {
    const int arms = m.variant == 3 ? 5 : 4;
    for (int k = arms - 1; k >= 0; --k) {
        std::vector<Vec> pts;
        const double base = 2 + k * (22.0 / arms);
        const double reach = 8 + k * 6.5;
        for (int i = 0; i <= 8; ++i) {
            const double t = i / 8.0;
            pts.push_back({base + reach * t + std::sin(t * kPi * 1.6 + k) * 4,
                           56 + t * 38 - (k % 2) * 4 * t});
        }
        p.chain(pts, 5.0, 1.4, k % 2 ? m.accent : m.body);
    }
    const double mantleY = m.variant == 3 ? 36 : 40;
    p.ellipse(0, mantleY, 23, 26, m.body);
    p.ellipse(0, mantleY + 14, 18, 9, m.accent, 0, {false, true, -1});
    paintSpikesRow(p, m, {{0, mantleY - 24}, {12, mantleY - 19}}, 7);
    paintHorns(p, m, mantleY, 20);
    for (int i = 0; i < 3; ++i)
        p.ellipse(8 + i * 4, mantleY - 12 + i * 5, 1.6, 1.6, m.accent, 0, {false, true, 11});
    p.eye(9, mantleY + 6, 4.5, m.eyes, true);
    paintMouth(p, mantleY + 17, 5, 2.2, 1);
    paintCrown(p, m, mantleY - 25, 11);
    paintGems(p, m, mantleY - 6);
}

void paintOoze(Painter& p, const Monster& m) {
    p.ellipse(0, 74, 36, 23, m.body);
    p.ellipse(0, 52, 22, 14, m.body);
    p.ellipse(14, 90, 8, 6, m.body);
    for (int i = 0; i < 3; ++i)
        p.ellipse(8 + i * 10, 60 + i * 7, 3, 4 + i, m.body, 0, {true, false, -1});
    if (has(m, Spots)) {
        p.ellipse(22, 78, 4, 3, m.accent, 0, {false, true, -1});
        p.ellipse(8, 84, 3, 2.5, m.accent, 0, {false, true, -1});
        p.ellipse(28, 64, 2.5, 2, m.accent, 0, {false, true, -1});
    }
    p.ellipse(12, 48, 3, 2, m.body, 0, {false, true, 15});
    const double eyeY = m.variant == 1 ? 62 : 58;
    p.eye(9, eyeY, 5.5, m.eyes);
    paintMouth(p, eyeY + 14, 12, 4, m.variant == 1 ? 0 : 2);
    paintCrown(p, m, 38, 14);
}

void paintSerpent(Painter& p, const Monster& m) {
    p.ellipse(0, 88, 33, 9, m.body);
    p.ellipse(0, 80, 26, 8, m.body);
    p.ellipse(0, 86, 20, 4, m.accent, 0, {false, true, -1});
    p.limb({0, 80}, {0, 38}, 10, 8, m.body);
    p.ellipse(0, 56, 5, 22, m.accent, 0, {false, true, -1});
    for (int i = 0; i < 5; ++i) p.ellipse(0, 40 + i * 8, 5, 1, m.body, 0, {false, true, 4});
    // The hood.
    p.ellipse(0, 38, 22, 20, m.body);
    p.ellipse(0, 40, 15, 15, m.accent, 0, {false, true, -1});
    p.ellipse(9, 38, 3.5, 4, m.body, 0, {false, true, 3});
    paintSpikesRow(p, m, {{14, 22}, {20, 28}}, 7);
    if (has(m, Flames)) {
        p.polygon({{14, 20}, {22, 4}, {24, 24}}, Fire, 14);
        p.polygon({{4, 18}, {8, 6}, {12, 18}}, Fire, 13);
    }
    paintHorns(p, m, 28, 8);
    p.ellipse(0, 28, 10, 11, m.body);
    p.eye(5, 25, 2.6, m.eyes, true);
    p.ellipse(1.5, 32, 0.9, 0.7, Grey, 0, {false, true, 2});
    p.limb({0, 37}, {0, 44}, 1.1, 1.1, Red);
    p.limb({0, 44}, {2, 48}, 0.9, 0.7, Red);
    p.fang(3.5, 36, 4, 1);
    paintCrown(p, m, 17, 7);
}

void paintCrawler(Painter& p, const Monster& m) {
    const bool queen = m.variant == 3;
    for (int k = 3; k >= 0; --k) {
        const double rootY = 54 + k * 5;
        const Vec knee{28 + k * 2.0, 34 + k * 9.0};
        const Vec foot{38 + k * 1.5 - (k == 3 ? 6 : 0), 76 + k * 6.0};
        p.limb({8, rootY}, knee, 3, 2.6, k % 2 ? m.accent : m.body);
        p.limb(knee, foot, 2.6, 1.2, k % 2 ? m.accent : m.body);
    }
    // The abdomen behind, then the head.
    p.ellipse(0, queen ? 40 : 44, queen ? 24 : 21, queen ? 22 : 19, m.body);
    for (int i = 0; i < 3; ++i)
        p.ellipse(0, 34 + i * 7, 10 - i * 2, 2, m.accent, 0, {false, true, -1});
    paintSpikesRow(p, m, {{10, 28}, {0, 24}}, 7);
    p.ellipse(0, 66, 15, 13, m.body);
    paintHorns(p, m, 62, 10);
    p.eye(5, 62, 3.4, m.eyes);
    p.eye(11, 59, 2, m.eyes);
    p.eye(3, 56, 1.6, m.eyes);
    p.limb({4, 72}, {6, 80}, 2.6, 1.0, Bone);
    p.limb({6, 80}, {3, 84}, 1.0, 0.6, Bone);
    paintCrown(p, m, 53, 8);
    paintGems(p, m, 46);
}

void paintWraith(Painter& p, const Monster& m) {
    const bool lich = m.variant == 3;
    if (lich) paintWings(p, m, 36, 44);
    // Robe with a tattered hem.
    p.polygon({{0, 22}, {18, 32}, {29, 94}, {22, 86}, {17, 95}, {11, 87}, {5, 96}, {0, 89}}, m.body,
              12);
    p.polygon({{0, 40}, {8, 44}, {9, 90}, {5, 86}, {0, 90}}, m.accent, 10, {false, true, -1});
    // Sleeves and bony hands.
    p.limb({15, 40}, {25, 62}, 5, 7, m.body);
    for (int i = 0; i < 3; ++i) p.limb({25, 66}, {22 + i * 3.5, 74}, 1.3, 0.8, Bone);
    // Hood and the dark face inside.
    paintHorns(p, m, 26, 13);
    p.ellipse(0, 26, 15, 16, m.body);
    p.ellipse(0, 30, 9.5, 11, Grey, 0, {false, true, 3});
    if (lich) {
        p.ellipse(0, 29, 7, 8, Bone);
        p.ellipse(3, 28, 2, 2, Grey, 0, {false, true, 2});
    }
    p.eye(4.2, 29, 3, m.eyes);
    if (m.variant == 2) p.ellipse(0, 36, 2.5, 3.5, Grey, 0, {false, true, 1});
    paintCrown(p, m, 12, 8);
    paintGems(p, m, 48);
}

void paintGolem(Painter& p, const Monster& m) {
    const bool titan = m.variant == 2;
    if (has(m, Flames)) {
        p.polygon({{0, 2}, {9, 24}, {0, 20}}, Fire, 14);
        p.polygon({{12, 8}, {22, 30}, {8, 26}}, Fire, 13);
        p.polygon({{22, 22}, {30, 40}, {18, 38}}, Fire, 12);
    }
    p.limb({12, 76}, {13, 92}, 8, 8, m.body);
    p.ellipse(15, 93, 10, 4, m.body);
    p.ellipse(0, 56, titan ? 25 : 22, 21, m.body);
    p.ellipse(0, 72, 16, 8, m.body);
    p.ellipse(8, 50, 6, 4, m.body, 20, {false, true, 5});
    paintGems(p, m, 56);
    if (has(m, Gems) && !titan) p.ellipse(14, 64, 2.5, 2, Acid);
    p.ellipse(24, 42, 11, 9, m.accent);
    p.limb({27, 48}, {31, 72}, 8, 9, m.body);
    p.ellipse(32, 80, 10, 9, m.accent);
    for (int i = 0; i < 3; ++i) p.ellipse(27 + i * 4.5, 85, 1.8, 3, m.accent, 0, {true, true, -1});
    paintHorns(p, m, 32, 9);
    p.ellipse(0, 32, 11, 10, m.body);
    p.ellipse(0, 32, 11, 3, Grey, 0, {false, true, 2});
    p.eye(5, 32, 2.9, m.eyes);
    if (titan) {
        p.ellipse(0, 40, 6, 1.5, Grey, 0, {false, true, 2});
        p.ellipse(24, 40, 9, 3, Gold, 0, {true, true, -1});
    }
    paintCrown(p, m, 22, 8);
}

void paintBloom(Painter& p, const Monster& m) {
    // Roots, stalk and leaves.
    p.limb({0, 92}, {12, 96}, 3, 1.5, Brown);
    p.limb({0, 92}, {5, 96}, 3, 1.5, Brown);
    p.limb({0, 94}, {0, 52}, 4.5, 3.5, Green);
    p.ellipse(13, 76, 14, 5, Green, -28);
    p.ellipse(12, 64, 11, 4, Green, 30);
    paintSpikesRow(p, m, {{22, 71}, {20, 60}}, 5);
    // Petals around a biting head.
    const int petals = 9;
    for (int i = 0; i < petals; ++i) {
        const double a = (-90 + i * 360.0 / petals) * kPi / 180;
        if (std::cos(a) < -0.01) continue;  // the other side is the mirror
        p.ellipse(std::cos(a) * 18, 38 + std::sin(a) * 18, 10, 6.5, m.accent, a * 180 / kPi);
    }
    p.ellipse(0, 38, 16, 15, m.body);
    p.ellipse(0, 38, 12, 11, Gold, 0, {false, true, -1});
    p.eye(5, 32, 2.8, m.eyes, true);
    paintMouth(p, 42, 9, 4.5, 3);
    paintCrown(p, m, 22, 7);
}

void paintWatcher(Painter& p, const Monster& m) {
    // Small tentacles below, eye stalks above.
    for (int k = 0; k < 3; ++k) {
        p.chain({{5 + k * 8.0, 66}, {8 + k * 10.0, 80}, {4 + k * 12.0, 92}}, 3.6, 1.2, m.accent);
    }
    for (int k = 0; k < 2; ++k) {
        const Vec tip{10 + k * 14.0, 10 + k * 10.0};
        p.chain({{4 + k * 10.0, 30}, {8 + k * 12.0, 20 + k * 6.0}, tip}, 2.4, 1.6, m.body);
        p.eye(tip.u, tip.y - 1, 3.4, m.eyes);
    }
    p.ellipse(0, 50, 27, 26, m.body);
    paintSpikesRow(p, m, {{0, 25}, {17, 31}, {25, 42}}, 7);
    paintHorns(p, m, 44, 20);
    p.ellipse(0, 44, 15, 14, Bone);
    p.ellipse(0, 44, 9, 9, m.eyes);
    p.ellipse(0, 45, 4, 5.5, Grey, 0, {false, true, 2});
    p.ellipse(3.5, 40, 1.5, 1.5, Grey, 0, {false, true, 15});
    p.ellipse(0, 35, 15, 4, m.body, 0, {false, true, -1});
    paintMouth(p, 66, 11, 3.5, 3);
}

void paintCap(Painter& p, const Monster& m) {
    p.limb({7, 82}, {9, 93}, 3.5, 3, Bone);
    p.ellipse(10, 94, 5, 2.5, Bone);
    p.limb({10, 64}, {18, 76}, 2.6, 2.2, Bone);
    p.ellipse(0, 68, 13, 17, Bone);
    paintHorns(p, m, 38, 26);
    p.ellipse(0, 40, 34, 20, m.body);
    p.ellipse(0, 52, 27, 5, m.accent, 0, {true, true, 7});
    if (has(m, Spots)) {
        p.ellipse(0, 28, 5, 4, Bone, 0, {false, true, -1});
        p.ellipse(16, 32, 4, 3.5, Bone, 0, {false, true, -1});
        p.ellipse(27, 42, 3, 3, Bone, 0, {false, true, -1});
        p.ellipse(11, 44, 3, 2.5, Bone, 0, {false, true, -1});
    }
    p.eye(5, 64, 2.8, m.eyes);
    paintMouth(p, 72, 4, 1.8, m.variant == 2 ? 1 : 0);
}

void paintHydra(Painter& p, const Monster& m) {
    paintWings(p, m, 56, 42);
    // Body and the two side necks behind the middle one.
    p.ellipse(0, 80, 30, 16, m.body);
    p.ellipse(0, 84, 16, 10, m.accent, 0, {false, true, -1});
    p.limb({18, 84}, {22, 95}, 6, 5, m.body);
    for (int i = 0; i < 3; ++i) p.fang(19 + i * 2.5, 94, 3, 1);
    p.chain({{10, 72}, {24, 58}, {30, 44}, {30, 36}}, 6.5, 5, m.body);
    p.ellipse(30, 33, 8, 7, m.body);
    p.eye(32, 31, 2, m.eyes, true);
    p.polygon({{26, 36}, {34, 36}, {30, 42}}, Red, 4);
    paintSpikesRow(p, m, {{34, 26}, {0, 56}}, 5);
    p.chain({{0, 72}, {0, 52}, {0, 34}}, 8, 6.5, m.body);
    p.ellipse(0, 54, 4, 16, m.accent, 0, {false, true, -1});
    paintHorns(p, m, 26, 9);
    p.ellipse(0, 26, 10, 9.5, m.body);
    p.eye(5, 24, 2.6, m.eyes, true);
    paintMouth(p, 32, 5, 2.2, 1);
    paintCrown(p, m, 17, 7);
}

}  // namespace

std::vector<unsigned char> drawMonster(const Monster& m) {
    Painter p(m.scale, m.girth);
    switch (m.plan) {
        case Plan::Brute:
            paintBrute(p, m);
            break;
        case Plan::Beast:
            paintBeast(p, m);
            break;
        case Plan::Flyer:
            paintFlyer(p, m);
            break;
        case Plan::Squid:
            paintSquid(p, m);
            break;
        case Plan::Ooze:
            paintOoze(p, m);
            break;
        case Plan::Serpent:
            paintSerpent(p, m);
            break;
        case Plan::Crawler:
            paintCrawler(p, m);
            break;
        case Plan::Wraith:
            paintWraith(p, m);
            break;
        case Plan::Golem:
            paintGolem(p, m);
            break;
        case Plan::Bloom:
            paintBloom(p, m);
            break;
        case Plan::Watcher:
            paintWatcher(p, m);
            break;
        case Plan::Cap:
            paintCap(p, m);
            break;
        case Plan::Hydra:
            paintHydra(p, m);
            break;
    }
    return p.bytes();
}

const std::array<Monster, kDemoMonsterCount>& creatures() {
    return kMonsters;
}

}  // namespace karnwick::demo
