#include "battle/battle_cause.h"

#include <algorithm>

#include "battle/record_check.h"

namespace karnwick {

std::vector<RecordCause> battleErrorCauses(const GameError& error, const Fighters& fighters,
                                           const BattleState& state) {
    if (error.kind() != ErrorKind::Overflow && error.kind() != ErrorKind::DivisionByZero) return {};
    // Only a level of 100 divides by zero; every overflow of a record is some
    // other field's (damage range, defence, the hits it deals).
    const bool byZero = error.kind() == ErrorKind::DivisionByZero;
    const std::vector<GameFileProblem> problems = checkRecords({fighters[0], fighters[1]});
    std::vector<RecordCause> causes;
    for (const int side : {int{state.attacker}, int{state.defender}}) {
        for (const GameFileProblem& problem : problems) {
            if (problem.severity != Severity::Error || problem.monster != side) continue;
            if ((problem.field == "level") != byZero) continue;
            const auto same = [&](const RecordCause& c) {
                return c.side == side && c.field == problem.field && c.value == problem.value;
            };
            if (std::any_of(causes.begin(), causes.end(), same)) continue;
            std::string name = problem.name;
            while (!name.empty() && name.back() == ' ') name.pop_back();
            causes.push_back({side, std::move(name), problem.field, problem.value});
        }
    }
    return causes;
}

}  // namespace karnwick
