#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <tuple>

#include "battle/battle.h"
#include "battle/battle_cause.h"
#include "data/errors.h"
#include "game_files.h"

using namespace karnwick;
using karnwick::testing::setField;

namespace {

struct RandomRanDry {};

// Hands out the given values in order, then stops the battle.
struct ScriptedRandom : RandomSource {
    std::deque<double> values;
    ScriptedRandom(std::initializer_list<double> v) : values(v) {}
    double nextRandom() override {
        if (values.empty()) throw RandomRanDry{};
        const double r = values.front();
        values.pop_front();
        return r;
    }
};

struct ConstantRandom : RandomSource {
    double value;
    int draws = 0;
    explicit ConstantRandom(double v) : value(v) {}
    double nextRandom() override {
        ++draws;
        return value;
    }
};

Fighters goblinAndWraith() {
    Fighters f{};
    MonsterStats& g = f[0];
    setField(g.name, "Goblin");
    g.level = 5, g.agility = 12, g.strength = 20;
    setField(g.special1, "Bite");
    setField(g.special2, "Club Smash");
    g.sp1Threshold = 20, g.sp2Threshold = 35, g.offMin = 4, g.offMax = 9;
    g.sp1Min = 8, g.sp1Max = 14, g.defense = 3, g.mpower = 0, g.magicFlag = 0;
    MonsterStats& w = f[1];
    setField(w.name, "Ice Wraith");
    w.level = 10, w.agility = 9, w.strength = 10;
    setField(w.special2, "Blizzard");
    w.sp1Threshold = 30, w.sp2Threshold = 50, w.sp2Min = 9, w.sp2Max = 18;
    w.defense = 6, w.mpower = 25, w.magicFlag = 1;
    return f;
}

StartingTexts boxes(std::string hp0, std::string hp1, std::string agi0 = "0",
                    std::string agi1 = "0") {
    return {{std::move(hp0), std::move(hp1)}, {std::move(agi0), std::move(agi1)}};
}

// A fighter whose every attack misses: no strength, and a thick hide.
MonsterStats wall(const char* name) {
    MonsterStats s;
    setField(s.name, name);
    s.strength = -100, s.offMin = 1, s.offMax = 1, s.defense = 50;
    return s;
}

}  // namespace

TEST(LeadingNumber, ReadsTheNumberAtTheStartOfAText) {
    const std::pair<std::string, double> cases[] = {{"12abc", 12},
                                                    {"-7", -7},
                                                    {".5", 0.5},
                                                    {"7.", 7},
                                                    {"  42", 42},
                                                    {"", 0},
                                                    {"1e5", 1},
                                                    {std::string(400, '9'), HUGE_VAL},
                                                    {"0." + std::string(400, '0') + "1", 0}};
    for (const auto& [text, number] : cases) EXPECT_EQ(leadingNumber(text), number) << text;
}

// The higher agility text opens without a draw; a tie draws once, and a draw
// below one half gives Monster One the first attack.
TEST(FirstAttacker, HigherAgilityOpensAndATieDrawsOnce) {
    const struct {
        const char *one, *two;
        double r;
        int side, draws;
    } cases[] = {{"12", "9", 0.9, 0, 0},
                 {"9", "12", 0.0, 1, 0},
                 {"10.5", "10", 0.9, 0, 0},
                 {"letters", "1", 0.0, 1, 0},
                 {"-3", "", 0.0, 1, 0},
                 {"12", "12.0", 0.0, 0, 1},
                 {"7", "7 dwarves", 0.4999999, 0, 1},
                 {"", "", 0.5, 1, 1},
                 {"12", "12", 0.9999999, 1, 1}};
    for (const auto& c : cases) {
        ConstantRandom random(c.r);
        EXPECT_EQ(pickFirstAttacker(c.one, c.two, random), c.side) << c.one << " | " << c.two;
        EXPECT_EQ(random.draws, c.draws) << c.one << " | " << c.two;
    }
}

TEST(Random, Pcg32StartsFromTheArenasFixedState) {
    Pcg32 random;
    EXPECT_EQ(random.nextUInt32(), 0xa15c02b7u);
    EXPECT_EQ(random.nextUInt32(), 0x7b47f409u);
    Pcg32 again;
    EXPECT_EQ(again.nextRandom(), 0xa15c02b7u / 4294967296.0);
}

TEST(Battle, WorkedExampleThreeTurns) {
    const Fighters f = goblinAndWraith();
    // Both still stand after three turns; the dry random source stops turn 4.
    ScriptedRandom random{0.137, 0.5, 0.42, 0.25, 0.80, 0.1};
    BattleLog log;
    BattleState state;
    EXPECT_THROW(runBattle(boxes("30", "40", "12", "9"), f, random, log, state), RandomRanDry);
    EXPECT_EQ(log.text,
              "Monster 1 Goes first \r\n"
              "Goblin    attacks Ice Wraith with Bite        \r\n"
              " and caused 6 damage to Ice Wraith\r\n"
              "\r\n"
              "Ice Wraithattacks Goblin     with Blizzard    \r\n"
              " and caused 13 damage to Goblin    \r\n"
              "\r\n"
              "Goblin    attacks Ice Wraith\r\n"
              "but missed causing no damage\r\n"
              "\r\n");
    EXPECT_EQ(log.startingHp[0], "30");
    EXPECT_EQ(log.startingHp[1], "40");
    EXPECT_EQ(log.hpAfterTurn, (std::vector<std::array<int16_t, 2>>{{30, 34}, {17, 34}, {17, 34}}));
    EXPECT_EQ(state.turnCount, 3);
    EXPECT_EQ(state.attacker, 1);
}

TEST(Battle, EveryFailureRowStopsAtItsStepAndSaysWhere) {
    struct Case {
        void (*setUp)(Fighters&, StartingTexts&);
        std::string message;
        bool turnStarted;  // the failure comes after the first attack line
    };
    // The attack and defence values themselves cannot leave 32 bits with 16-bit
    // fields (at most about 1.08e9 each); their difference can.
    const Case cases[] = {
        {[](Fighters&, StartingTexts& t) { t.hp[1] = std::string("32767.5\0x", 9); },
         "Monster Two: overflow in the starting hit points \"32767.5\\x00x\"", false},
        {[](Fighters& f, StartingTexts&) { f[0].offMin = -30000, f[0].offMax = 30000; },
         "turn 1, Monster One attacking: overflow in the damage range offMax - offMin", true},
        {[](Fighters& f, StartingTexts&) { f[0].sp1Threshold = 100, f[0].sp1Min = -32768; },
         "turn 1, Monster One attacking: overflow in the damage range sp1Max - sp1Min", true},
        {[](Fighters& f, StartingTexts&) {
             f[0].sp2Threshold = 100, f[0].sp2Max = 30000, f[0].sp2Min = -3000;
         },
         "turn 1, Monster One attacking: overflow in the damage range sp2Max - sp2Min", true},
        {[](Fighters& f, StartingTexts&) { f[0].level = 100; },
         "turn 1, Monster One attacking: division by zero in the attack value", true},
        {[](Fighters& f, StartingTexts&) {
             // 1080196922 against -1080262456 (a level above 100 turns the divisor)
             f[0].strength = 32767, f[0].level = 99, f[0].offMin = f[0].offMax = 32767;
             f[1].agility = 32767, f[1].level = 101, f[1].defense = 32767;
         },
         "turn 1, Monster One attacking: overflow in the damage", true},
        {[](Fighters& f, StartingTexts& t) {
             t.hp[1] = "10";
             f[0].strength = 300, f[0].offMin = 10000, f[0].offMax = 10001, f[1].defense = 0;
         },
         "turn 1, Monster One attacking: overflow in the hit points left", true},
    };
    for (const Case& c : cases) {
        Fighters f = goblinAndWraith();
        StartingTexts t = boxes("30", "40", "12", "9");
        c.setUp(f, t);
        ConstantRandom random(0.9);  // the normal attack unless a threshold is raised
        BattleLog log;
        try {
            runBattle(t, f, random, log);
            ADD_FAILURE() << c.message << ": no error";
        } catch (const GameError& e) {
            EXPECT_EQ(e.what(), c.message);
        }
        // Both draws of the failing turn are used up whatever fails in it, so the
        // next battle starts from the same place in the sequence.
        EXPECT_EQ(random.draws, c.turnStarted ? 2 : 0) << c.message;
        // The log stops after the failing turn's attack line.
        const std::string expectedLog =
            c.turnStarted ? "Monster 1 Goes first \r\nGoblin    attacks Ice Wraith" : "";
        EXPECT_TRUE(log.text.starts_with(expectedLog)) << c.message;
        EXPECT_EQ(log.text.find("\r\n", expectedLog.size()),
                  c.turnStarted ? log.text.size() - 2 : std::string::npos)
            << c.message << ": " << log.text;
    }
}

// One hit against a Knight: the damage roll floors a negative range
// (truncation would give 4); any magicFlag but 0, a negative one too, pits
// both sides' mpower instead of strength and agility; the defence is divided
// before it is multiplied (205 / 100 * 30 is just below 61.5, so 70 - 61 gets
// through); and no damage at all is still a hit.
TEST(Battle, OneHitFollowsTheDamageRules) {
    struct Case {
        void (*setUp)(Fighters&);
        int damage;
    };
    const Case cases[] = {
        {[](Fighters& f) { f[0].offMin = 5, f[0].offMax = 2; }, 3},
        {[](Fighters& f) { f[0].sp1Threshold = 100, f[0].sp1Min = f[0].sp1Max = 10; }, 10},
        {[](Fighters& f) {
             f[0].sp1Threshold = 100, f[0].sp1Min = f[0].sp1Max = 10, f[0].magicFlag = -1;
         },
         20},
        {[](Fighters& f) { f[0].magicFlag = -1, f[0].offMin = f[0].offMax = 10; }, 10},
        {[](Fighters& f) { f[0].offMin = f[0].offMax = 70, f[1].agility = 105, f[1].defense = 30; },
         9},
        {[](Fighters& f) { f[1].agility = 0; }, 0},
    };
    for (const Case& c : cases) {
        Fighters f{};
        setField(f[0].name, "Archer");
        setField(f[1].name, "Knight");
        f[0].mpower = 100;
        f[1].agility = 50;
        c.setUp(f);
        ScriptedRandom random{0.9, 0.5};
        BattleLog log;
        EXPECT_THROW(runBattle(boxes("10", "100", "1", "0"), f, random, log), RandomRanDry);
        EXPECT_THAT(log.text, ::testing::HasSubstr(" and caused " + std::to_string(c.damage) +
                                                   " damage to Knight    \r\n"));
    }
}

// Every rule at the ends of its range: the starting hit points round half
// to even into 16 bits, a damage range and hit points left must fit 16 bits
// and damage 32, a side stands from 1 hit point, the battle goes on through
// turn 667 and no further, the action roll runs 1 to 100, a tie goes to
// Monster One below one half, and a level of exactly 100 divides by zero.
TEST(Rules, HoldAtTheEndsOfTheirRanges) {
    const struct {
        double box;
        int hitPoints;  // 99999: overflow
    } starts[] = {{32767.0, 32767},   {32767.49, 32767},  {32767.5, 99999}, {-32768.0, -32768},
                  {-32768.5, -32768}, {-32768.51, 99999}, {0.5, 0},         {1.5, 2},
                  {2.5, 2},           {-0.5, 0},          {-1.5, -2},       {HUGE_VAL, 99999}};
    for (const auto& s : starts) {
        const Checked<int16_t> start = startingHitPoints(s.box);
        EXPECT_EQ(start.ok() ? start.value : 99999, s.hitPoints) << s.box;
    }

    auto span = [](int16_t low, int16_t high) {
        const Checked<int16_t> d = damageSpan({low, high, "offMax - offMin"});
        return d.ok() ? d.value : 99999;
    };
    EXPECT_EQ(span(0, 32767), 32767);
    EXPECT_EQ(span(-1, 32767), 99999);
    EXPECT_EQ(span(-32767, 0), 32767);
    EXPECT_EQ(span(-32768, 0), 99999);
    EXPECT_EQ(span(0, -32768), -32768);
    EXPECT_EQ(span(1, -32768), 99999);

    EXPECT_EQ(applyHit(-32000, 768).value, -32768);
    EXPECT_TRUE(applyHit(-32000, 768).ok());
    EXPECT_FALSE(applyHit(-32000, 769).ok());
    EXPECT_FALSE(applyHit(1, 32770).ok());
    EXPECT_EQ(applyHit(1, 32769).value, -32768);
    EXPECT_EQ(applyHit(32767, 0).value, 32767);
    EXPECT_TRUE(damageDone(INT32_MAX, 0).ok());
    EXPECT_FALSE(damageDone(INT32_MAX, -1).ok());
    EXPECT_FALSE(damageDone(INT32_MIN, 1).ok());
    EXPECT_TRUE(isMiss(-1));
    EXPECT_FALSE(isMiss(0));

    EXPECT_FALSE(isStanding(0));
    EXPECT_TRUE(isStanding(1));
    EXPECT_TRUE(battleGoesOn(1, 1, 666));
    EXPECT_FALSE(battleGoesOn(1, 1, 667));
    EXPECT_FALSE(battleGoesOn(0, 1, 1));
    EXPECT_FALSE(battleGoesOn(1, 0, 1));

    EXPECT_EQ(actionRollFrom(0.0), 1);
    EXPECT_EQ(actionRollFrom(0.0099999), 1);
    EXPECT_EQ(actionRollFrom(0.01), 2);
    EXPECT_EQ(actionRollFrom(std::nextafter(1.0, 0.0)), 100);
    EXPECT_EQ(tieBreak(std::nextafter(0.5, 0.0)), 0);
    EXPECT_EQ(tieBreak(0.5), 1);

    // A damage roll stays between its bounds, the maximum left out, and
    // floors a reversed range down to include the minimum.
    const double lastR = std::nextafter(1.0, 0.0);
    EXPECT_EQ(damageRoll(-32768, 32767, lastR), -2);
    EXPECT_EQ(damageRoll(32767, -32767, lastR), 0);
    EXPECT_EQ(damageRoll(5, -3, 0.0), 5);
    EXPECT_EQ(damageRoll(5, -3, 1e-9), 4);
    EXPECT_EQ(damageRoll(5, 3, lastR), 7);

    EXPECT_EQ(attackValue(0, 100, 1).fault, RuleFault::DivisionByZero);
    EXPECT_EQ(defenceValue(0, 100, 1).fault, RuleFault::DivisionByZero);
    EXPECT_EQ(attackValue(0, 99, 1).value, 199);
    EXPECT_EQ(attackValue(0, 101, 1).value, -201);
    EXPECT_EQ(roundTo32Bits(2147483647.4).value, INT32_MAX);
    EXPECT_FALSE(roundTo32Bits(2147483647.5).ok());
    EXPECT_EQ(roundTo32Bits(-2147483648.5).value, INT32_MIN);
    EXPECT_FALSE(roundTo32Bits(-2147483649.0).ok());
}

// Two fighters that never hurt each other: the starting hit points come from
// the box texts, and the battle ends after 667 turns when nobody falls.
TEST(Battle, StartsFromTheBoxTextsAndEndsAfter667TurnsWhenNobodyFalls) {
    Fighters f{wall("Left"), wall("Right")};
    ConstantRandom random(0.9);
    BattleLog log;
    BattleState state;
    runBattle(boxes("12.5", "13.5xyz"), f, random, log, state);
    EXPECT_EQ(state.currentHp, (std::array<int16_t, 2>{12, 14}));

    // Empty boxes start from 0: exactly one turn is played, and until then the
    // current-HP box shows the HP box's own text.
    runBattle(boxes("", "12.7"), f, random, log, state);
    EXPECT_EQ(state.turnCount, 1);
    EXPECT_EQ(log.startingHp[0], "");
    EXPECT_EQ(log.startingHp[1], "12.7");
    EXPECT_EQ(log.currentHpText(0), "0");
    EXPECT_EQ(log.currentHpText(1), "13");

    ConstantRandom tie(0.7);
    BattleLog capped;
    runBattle(boxes("5", "5", "3", "3"), f, tie, capped, state);
    EXPECT_EQ(state.turnCount, 667);
    EXPECT_EQ(tie.draws, 1 + 2 * 667);  // the tie draws once more
    EXPECT_EQ(capped.text.size(), 23u + 667u * (30 + 30 + 2));
    EXPECT_TRUE(capped.text.ends_with("but missed causing no damage\r\n\r\n"));
    EXPECT_EQ(capped.currentHpText(0), "5");
}

TEST(Battle, AttackKindFollowsTheThresholds) {
    // actionRoll = floor(100 r) + 1; with sp1Threshold 20 and sp2Threshold 35:
    // 19 gives special 1, 20 the normal attack, 21 to 34 special 2, 35 normal.
    struct Case {
        double r;
        const char* ends;
    };
    for (const Case& c : {Case{0.185, "with Bite        \r\n"}, Case{0.195, "Ice Wraith\r\n"},
                          Case{0.205, "with Club Smash  \r\n"},
                          Case{0.335, "with Club Smash  \r\n"}, Case{0.345, "Ice Wraith\r\n"}}) {
        Fighters f = goblinAndWraith();
        ScriptedRandom random{c.r, 0.0};
        f[0].sp1Min = f[0].sp2Min = f[0].offMin = 0;
        f[0].sp1Max = f[0].sp2Max = f[0].offMax = 0;
        BattleLog log;
        EXPECT_THROW(runBattle(boxes("1", "1", "12", "9"), f, random, log), RandomRanDry);
        const std::string firstAttack = log.text.substr(23, log.text.find("\r\n", 23) + 2 - 23);
        EXPECT_TRUE(firstAttack.ends_with(c.ends)) << c.r << ": " << firstAttack;
    }
}

// A battle stopped by an error is traced to the record fields that cause it,
// the failing turn's attacker first; a starting hit point typed into a box
// is no record's doing.
TEST(Battle, AnErrorIsTracedToTheRecordFieldsThatCauseIt) {
    using Causes = std::vector<std::tuple<int, std::string, std::string, std::string>>;
    const struct {
        void (*setUp)(Fighters&);
        const char* agilities[2];
        const char* hp0;
        Causes causes;
    } cases[] = {
        {[](Fighters& f) { f[1].level = 100; },
         {"12", "9"},
         "30",
         {{1, "Ice Wraith", "level", "100"}}},
        {[](Fighters& f) { f[0].level = f[1].level = 100; },
         {"9", "12"},
         "30",
         {{1, "Ice Wraith", "level", "100"}, {0, "Goblin", "level", "100"}}},
        {[](Fighters& f) { f[0].offMin = -30000, f[0].offMax = 30000; },
         {"12", "9"},
         "30",
         {{0, "Goblin", "offMax - offMin", "30000 - -30000"}}},
        {[](Fighters&) {}, {"12", "9"}, "40000", {}},
    };
    for (const auto& c : cases) {
        Fighters f = goblinAndWraith();
        c.setUp(f);
        ConstantRandom random(0.9);
        BattleLog log;
        BattleState state;
        try {
            runBattle(boxes(c.hp0, "40", c.agilities[0], c.agilities[1]), f, random, log, state);
            ADD_FAILURE() << "no error";
        } catch (const GameError& e) {
            Causes causes;
            for (const RecordCause& r : battleErrorCauses(e, f, state))
                causes.emplace_back(r.side, r.name, r.field, r.value);
            EXPECT_EQ(causes, c.causes) << e.what();
        }
    }
}
