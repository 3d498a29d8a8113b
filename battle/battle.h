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
#include <vector>

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

// The texts a battle starts from: what both panels' HP and agility boxes hold
// when FIGHT is pressed.
struct StartingTexts {
    std::array<std::string, 2> hp;
    std::array<std::string, 2> agility;
};

// The starting texts right after a fresh choice of both fighters.
StartingTexts startingTexts(const Fighters& fighters);

// A battle as the game tells it, for the window to show in its boxes and the
// command line to print. Filled as the battle goes, so a battle stopped by an
// error keeps everything up to the failing step.
struct BattleLog {
    // The whole log, each line ended by "\r\n".
    std::string text;
    // The HP text each side started from, once the battle has read it.
    std::array<std::optional<std::string>, 2> startingHp;
    // Both sides' hit points after each turn played.
    std::vector<std::array<int16_t, 2>> hpAfterTurn;

    // A side's current hit points as the arena shows them after the battle:
    // those after the last turn; before any turn, the HP text it started from;
    // nothing when the battle never came to that side.
    std::optional<std::string> currentHpText(int side) const;
};

// Where a battle stands besides its log. Filled as the battle goes, so
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
void runBattle(const StartingTexts& start, const Fighters& fighters, RandomSource& random,
               BattleLog& log, BattleState& state);
void runBattle(const StartingTexts& start, const Fighters& fighters, RandomSource& random,
               BattleLog& log);

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
