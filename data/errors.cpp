#include "data/errors.h"

#include <cstdio>
#include <string>
#include "data/text_codec.h"

namespace karnwick {

namespace {

// Each kind's own name as a user reads it, and the phrase that follows the
// place in a message, where it reads well in the middle of a sentence.
struct KindWords {
    ErrorKind kind;
    std::string_view name;
    std::string_view phrase;
};

constexpr KindWords kKindWords[] = {
    {ErrorKind::Overflow, "Overflow", "overflow"},
    {ErrorKind::DivisionByZero, "Division by zero", "division by zero"},
    {ErrorKind::FileNotFound, "File not found", "file not found"},
    {ErrorKind::InputPastEndOfFile, "Input past end of file", "input past end of file"},
    {ErrorKind::BadNumber, "Bad number", "bad number"},
    {ErrorKind::FileAccess, "File access error", "cannot read"},
    {ErrorKind::NotRegularFile, "Not a regular file", "not a regular file"},
    {ErrorKind::FileWrite, "File write error", "cannot write"},
    {ErrorKind::FileExists, "File exists", "already exists"},
    {ErrorKind::WriteProtected, "Write-protected file", "is write-protected"},
};

const KindWords& wordsOf(ErrorKind kind) {
    for (const KindWords& words : kKindWords)
        if (words.kind == kind) return words;
    // Only a value outside the enumeration comes here.
    static constexpr KindWords kUnknown{ErrorKind{}, "Error", "error"};
    return kUnknown;
}

}  // namespace

std::string_view errorKindName(ErrorKind kind) {
    return wordsOf(kind).name;
}

std::string quotedText(std::string_view text) {
    // A value pasted by mistake (a whole file in one field) is shown by its
    // start and its length, never whole; a game text is far shorter.
    constexpr std::size_t kLongestShown = 60;
    std::size_t shown = text.size();
    if (shown > kLongestShown) {
        shown = kLongestShown;
        // Never half a character.
        while (shown > 0 && (static_cast<unsigned char>(text[shown]) & 0xC0) == 0x80) --shown;
    }
    std::string out = "\"";
    out += escapedText(text.substr(0, shown), true);
    out += '"';
    if (shown < text.size()) out += "... (" + std::to_string(text.size()) + " bytes)";
    return out;
}

std::string errorMessage(ErrorKind kind, std::string_view where, std::string_view detail) {
    std::string message;
    message += escapedText(where);
    message += ": ";
    message += wordsOf(kind).phrase;
    if (!detail.empty()) {
        message += ' ';
        message += escapedText(detail);
    }
    return message;
}

GameError::GameError(ErrorKind kind, std::string_view where, std::string_view detail)
    : std::runtime_error(errorMessage(kind, where, detail)), m_kind(kind) {}

}  // namespace karnwick
