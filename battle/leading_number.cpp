#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

#include "battle/battle.h"

namespace karnwick {

double leadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    auto isDigit = [&](std::size_t at) {
        return at < text.size() && text[at] >= '0' && text[at] <= '9';
    };
    // The boxes nearly always hold a short whole number: read it directly.
    {
        std::size_t j = i;
        uint64_t whole = 0;
        while (isDigit(j) && j - i < 15)
            whole = whole * 10 + static_cast<unsigned>(text[j++] - '0');
        if (j > i && !isDigit(j) && (j == text.size() || text[j] != '.')) {
            const auto value = static_cast<double>(whole);
            return negative ? -value : value;
        }
    }
    // Otherwise the number in a form from_chars takes whatever the locale:
    // digits, a point and digits, never a sign.
    std::string number;
    while (isDigit(i)) number.push_back(text[i++]);
    bool anyDigit = !number.empty();
    if (i < text.size() && text[i] == '.') {
        ++i;
        std::string fraction;
        while (isDigit(i)) fraction.push_back(text[i++]);
        if (!fraction.empty()) {
            anyDigit = true;
            number = (number.empty() ? "0" : number) + "." + fraction;
        }
    }
    if (!anyDigit) return 0.0;
    double value = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large for a double, or so small that it underflows to 0.
        const bool tiny = number.find_first_not_of("0.") == std::string::npos ||
                          number.find_first_not_of('0') == number.find('.');
        value = tiny ? 0.0 : HUGE_VAL;
    }
    return negative ? -value : value;
}

}  // namespace karnwick
