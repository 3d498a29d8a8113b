#include "data/errors.h"

#include <cstdio>

namespace karnwick {

namespace {

// What follows the place in a message; the kind's name where it reads well
// in the middle of a sentence.
std::string_view kindPhrase(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Overflow:
            return "overflow";
        case ErrorKind::DivisionByZero:
            return "division by zero";
        case ErrorKind::FileNotFound:
            return "file not found";
        case ErrorKind::InputPastEndOfFile:
            return "input past end of file";
        case ErrorKind::BadNumber:
            return "bad number";
        case ErrorKind::FileAccess:
            return "cannot read";
        case ErrorKind::NotRegularFile:
            return "not a regular file";
        case ErrorKind::FileWrite:
            return "cannot write";
        case ErrorKind::FileExists:
            return "already exists";
    }
    return "error";
}

// The length of the well-formed UTF-8 sequence at the start of `text`, or 0.
std::size_t utf8Length(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    if (length == 0 || length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[k]) & 0xC0) != 0x80) return 0;
    return length;
}

// Control bytes, DEL and bytes that are not UTF-8 (a UTF-16 file, a
// Windows-1252 name) as \xNN; everything else as is.
void appendEscaped(std::string& out, std::string_view text, bool inQuotes) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            if (const std::size_t n = utf8Length(text.substr(i))) {
                out.append(text.substr(i, n));
                i += n;
                continue;
            }
        }
        if (c < 0x20 || c >= 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            if (inQuotes && (c == '"' || c == '\\')) out += '\\';
            out += text[i];
        }
        ++i;
    }
}

}  // namespace

std::string_view errorKindName(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Overflow:
            return "Overflow";
        case ErrorKind::DivisionByZero:
            return "Division by zero";
        case ErrorKind::FileNotFound:
            return "File not found";
        case ErrorKind::InputPastEndOfFile:
            return "Input past end of file";
        case ErrorKind::BadNumber:
            return "Bad number";
        case ErrorKind::FileAccess:
            return "File access error";
        case ErrorKind::NotRegularFile:
            return "Not a regular file";
        case ErrorKind::FileWrite:
            return "File write error";
        case ErrorKind::FileExists:
            return "File exists";
    }
    return "Error";
}

std::string quotedText(std::string_view text) {
    std::string out = "\"";
    appendEscaped(out, text, true);
    out += '"';
    return out;
}

std::string errorMessage(ErrorKind kind, std::string_view where, std::string_view detail) {
    std::string message;
    appendEscaped(message, where, false);
    message += ": ";
    message += kindPhrase(kind);
    if (!detail.empty()) {
        message += ' ';
        appendEscaped(message, detail, false);
    }
    return message;
}

GameError::GameError(ErrorKind kind, std::string where, std::string_view detail)
    : std::runtime_error(errorMessage(kind, where, detail)),
      m_kind(kind),
      m_where(std::move(where)) {}

}  // namespace karnwick
