#pragma once
// The one error type of the arena. Every run-time failure the game's rules
// define (an overflow, a division by zero, a palette file that is missing or
// runs short, a file that cannot be read) is a GameError carrying its kind and
// where it arose; its message is built from those two (and an optional detail)
// in one place, errorMessage. Callers catch it at the edge of a user action: a
// choice, a FIGHT click, a preview, a duel.
// A request that is refused (a text a user typed, a line of a CSV file) is
// no failure of the game's rules: it is a CommandError, beside it here so
// that the engine's own parsers can refuse a --set the way the commands do.

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

// A refused request or input, carrying the whole message its user reads
// ("--set \"3.hq=1\": unknown field ...") and the status the command ends
// with: that of wrong usage unless the thrower says otherwise. The
// `karnwick` command writes it after "karnwick <command>: "; the arena shows
// it in its usage message or its error box.
class CommandError : public std::runtime_error {
  public:
    static constexpr int kRefusedStatus = 2;

    explicit CommandError(const std::string& message, int status = kRefusedStatus)
        : std::runtime_error(message), m_status(status) {}

    // The reader of a command's output went away (`karnwick list | head -1`):
    // it asked for no more, so the command stops where it is and ends quietly
    // with success, keeping an edit it had already decided on.
    static CommandError readerGone() { return CommandError("the reader went away", 0, true); }

    int status() const noexcept { return m_status; }
    // Whether this is readerGone(): nothing to tell, nothing went wrong.
    bool isReaderGone() const noexcept { return m_readerGone; }

  private:
    CommandError(const std::string& message, int status, bool readerGone)
        : std::runtime_error(message), m_status(status), m_readerGone(readerGone) {}

    int m_status;
    bool m_readerGone = false;
};

}  // namespace karnwick
