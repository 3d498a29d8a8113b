#pragma once
// The one error type of the arena. Every run-time failure the game's rules
// define (an overflow, a division by zero, a palette file that is missing or
// runs short, a file that cannot be read) is a GameError carrying its kind and
// a message that says where it arose. Callers catch it at the edge of a user
// action: a choice, a FIGHT click, a preview, a duel.

#include <stdexcept>
#include <string>
#include <string_view>

namespace karnwick {

enum class ErrorKind {
    Overflow,
    DivisionByZero,
    FileNotFound,
    InputPastEndOfFile,
    BadNumber,
    FileAccess,
};

// The kind's own name as a user reads it: "Overflow", "Division by zero", ...
std::string_view errorKindName(ErrorKind kind);

class GameError : public std::runtime_error {
  public:
    // `message` is the whole text shown to the user; `where` names the place
    // (a file, a turn) on its own for callers that want to sort errors.
    GameError(ErrorKind kind, std::string where, const std::string& message);

    ErrorKind kind() const noexcept { return m_kind; }
    const std::string& where() const noexcept { return m_where; }

  private:
    ErrorKind m_kind;
    std::string m_where;
};

// Throws "Overflow: <where>".
[[noreturn]] void raiseOverflow(std::string_view where);

}  // namespace karnwick
