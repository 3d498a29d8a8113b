#include "data/numbers.h"

#include <cfenv>
#include <cmath>

#include "data/errors.h"

namespace karnwick {

double roundHalfEven(double value) noexcept {
    // nearbyint rounds in the current mode, which the arena never changes from
    // round-to-nearest-even.
    return std::nearbyint(value);
}

namespace {
template <typename Int>
Int roundChecked(double value, std::string_view where) {
    const double rounded = roundHalfEven(value);
    // The comparison is false for NaN as well, so NaN is an overflow too.
    if (!(rounded >= static_cast<double>(std::numeric_limits<Int>::min()) &&
          rounded <= static_cast<double>(std::numeric_limits<Int>::max()))) {
        raiseOverflow(where);
    }
    return static_cast<Int>(rounded);
}

template <typename Int, typename Op>
Int checked(Int a, Int b, Op op, std::string_view where) {
    Int result;
    if (op(a, b, &result)) raiseOverflow(where);
    return result;
}
}  // namespace

int16_t roundToInt16(double value, std::string_view where) {
    return roundChecked<int16_t>(value, where);
}

int32_t roundToInt32(double value, std::string_view where) {
    return roundChecked<int32_t>(value, where);
}

int16_t checkedAdd16(int16_t a, int16_t b, std::string_view where) {
    return checked<int16_t>(
        a, b, [](auto x, auto y, auto* r) { return __builtin_add_overflow(x, y, r); }, where);
}
int16_t checkedSub16(int16_t a, int16_t b, std::string_view where) {
    return checked<int16_t>(
        a, b, [](auto x, auto y, auto* r) { return __builtin_sub_overflow(x, y, r); }, where);
}
int16_t checkedMul16(int16_t a, int16_t b, std::string_view where) {
    return checked<int16_t>(
        a, b, [](auto x, auto y, auto* r) { return __builtin_mul_overflow(x, y, r); }, where);
}
int32_t checkedAdd32(int32_t a, int32_t b, std::string_view where) {
    return checked<int32_t>(
        a, b, [](auto x, auto y, auto* r) { return __builtin_add_overflow(x, y, r); }, where);
}
int32_t checkedSub32(int32_t a, int32_t b, std::string_view where) {
    return checked<int32_t>(
        a, b, [](auto x, auto y, auto* r) { return __builtin_sub_overflow(x, y, r); }, where);
}
int32_t checkedMul32(int32_t a, int32_t b, std::string_view where) {
    return checked<int32_t>(
        a, b, [](auto x, auto y, auto* r) { return __builtin_mul_overflow(x, y, r); }, where);
}

int16_t narrowTo16(int32_t value, std::string_view where) {
    int16_t result;
    if (__builtin_add_overflow(value, 0, &result)) raiseOverflow(where);
    return result;
}

}  // namespace karnwick
