#pragma once
// The one error type of the arena. Every run-time failure the game's rules
// define (an overflow, a division by zero, a palette file that is missing or
// runs short, a file that cannot be read) is a GameError carrying its kind and
// where it arose; its message is built from those two (and an optional detail)
// in one place, errorMessage. Callers catch it at the edge of a user action: a
// choice, a FIGHT click, a preview, a duel.

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
    NotRegularFile,
    FileWrite,
    FileExists,
    WriteProtected,
};

// The kind's own name as a user reads it: "Overflow", "Division by zero", ...
std::string_view errorKindName(ErrorKind kind);

// The whole text a user reads: "<where>: <kind in lower case>[ <detail>]", as
// in "mypal.pal: input past end of file at number 517 of 768" or
// "turn 3, Monster One attacking: overflow in the damage range sp1Max - sp1Min".
// Control bytes in `where` and `detail` are shown escaped, so a NUL from a
// game file never cuts the message short.
std::string errorMessage(ErrorKind kind, std::string_view where, std::string_view detail = {});

// A text from a game file or a box, in double quotes, with every control byte
// (and the quote and backslash) escaped: "Orc\x00\x00" or "12\"". A text of
// more than 60 bytes shows its start and its length: "abc"... (20000 bytes).
std::string quotedText(std::string_view text);

class GameError : public std::runtime_error {
  public:
    // `where` names the place (a file, a turn, a side); `detail` says what
    // went wrong there beyond the kind, starting with its own connective
    // ("at number 5 of 768", "in the attack value", "(Permission denied)").
    GameError(ErrorKind kind, std::string_view where, std::string_view detail = {});

    ErrorKind kind() const noexcept { return m_kind; }

  private:
    ErrorKind m_kind;
};

}  // namespace karnwick
