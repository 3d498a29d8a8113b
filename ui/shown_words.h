#pragma once
// The engine's words in the windows' strings: a side's name, a chance and the
// odds in a sentence, converted in one place from the texts the command line
// prints, so a window and a terminal say the same.

#include <QString>
#include <string_view>

#include "battle/outcome_columns.h"

namespace karnwick {

// UTF-8 text of the engine as a QString.
inline QString qText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline QString sideText(int side) {
    return qText(sideName(side));
}

}  // namespace karnwick
