#pragma once
// The battle: who opens, then turns in strict alternation until a side falls
// to 0 hit points or 667 turns have been played. Every rule follows the game:
// the order of the random draws, the width of every number, the log text to
// the character.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "battle/random.h"
#include "battle/rules.h"
#include "data/monster_stats.h"

namespace karnwick {

inline constexpr std::string_view kLineBreak = "\r\n";

// The value of the number at the start of a text (sign, digits, optional
// decimal point and digits; leading blanks skipped); 0 when there is none.
double leadingNumber(std::string_view text);

// The side (0 or 1) that opens: the larger agility text by value; a tie draws
// one random value and gives side 0 below 0.5.
int16_t pickFirstAttacker(std::string_view agility0, std::string_view agility1,
                          RandomSource& random);

// The texts a battle reads and writes: what the arena window shows in its HP,
// agility, log and current-HP boxes. The battle calls them in the game's order.
class BattleTexts {
  public:
    virtual ~BattleTexts() = default;
    virtual std::string hpText(int side) const = 0;
    virtual std::string agilityText(int side) const = 0;
    // Replaces the whole log (emptying it, then the opening line).
    virtual void setArenaText(std::string_view text) = 0;
    // Appends one piece (a line with its line break) to the log.
    virtual void appendArenaText(std::string_view piece) = 0;
    virtual void setCurrentHpText(int side, std::string_view text) = 0;
};

// A plain set of the texts, for the window (filled from its boxes, written back
// once the battle is over), the command-line tool and the tests.
struct ArenaTexts : BattleTexts {
    std::array<std::string, 2> hp;
    std::array<std::string, 2> agility;
    std::string arena;
    // Unset until the battle writes the box; the box keeps its text until then.
    std::array<std::optional<std::string>, 2> currentHp;

    std::string hpText(int side) const override { return hp[side]; }
    std::string agilityText(int side) const override { return agility[side]; }
    void setArenaText(std::string_view text) override { arena.assign(text); }
    void appendArenaText(std::string_view piece) override { arena.append(piece); }
    void setCurrentHpText(int side, std::string_view text) override {
        currentHp[side].emplace(text);
    }
};

// What a battle leaves behind besides its texts. Filled as the battle goes, so
// it tells how far a battle came that stopped on an error.
struct BattleState {
    std::array<int16_t, 2> currentHp{};
    int16_t attacker = 0;
    int16_t defender = 1;
    int16_t turnCount = 0;
};

// Plays one whole battle. A run-time error (overflow, division by zero) is
// thrown as GameError at the failing step, after everything before it was
// written.
void runBattle(BattleTexts& texts, const Fighters& fighters, RandomSource& random,
               BattleState& state);
void runBattle(BattleTexts& texts, const Fighters& fighters, RandomSource& random);

// The same battle without any text, for statistics over many battles: the
// starting texts as the panels would show them, the same random draws, the
// same errors.
BattleState playSilentBattle(const std::array<std::string, 2>& hpTexts,
                             const std::array<std::string, 2>& agilityTexts,
                             const Fighters& fighters, Pcg32& random);
// The same, filling `state` as it goes: after an error it tells the turn that
// failed (turnCount + 1).
void playSilentBattle(const std::array<std::string, 2>& hpTexts,
                      const std::array<std::string, 2>& agilityTexts, const Fighters& fighters,
                      Pcg32& random, BattleState& state);

// The HP and agility texts a monster panel shows for a record.
std::string panelHpText(const MonsterStats& stats);
std::string panelAgilityText(const MonsterStats& stats);

}  // namespace karnwick
