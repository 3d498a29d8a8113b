#include "data/errors.h"

namespace karnwick {

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
    }
    return "Error";
}

GameError::GameError(ErrorKind kind, std::string where, const std::string& message)
    : std::runtime_error(message), m_kind(kind), m_where(std::move(where)) {}

void raiseOverflow(std::string_view where) {
    throw GameError(ErrorKind::Overflow, std::string(where), "Overflow: " + std::string(where));
}

}  // namespace karnwick
