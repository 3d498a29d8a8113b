#pragma once
// The game's number rules: 16-bit integers unless a rule says 32-bit, every
// integer result checked against its width, doubles converted by rounding half
// to even, floor towards minus infinity.

#include <cstdint>
#include <string_view>

namespace karnwick {

// Round half to even (16.5 -> 16, 1.5 -> 2); NaN stays NaN.
double roundHalfEven(double value) noexcept;

// A double rounded half to even into 16 or 32 bits; outside the range (or NaN)
// is an overflow error naming `where`.
int16_t roundToInt16(double value, std::string_view where);
int32_t roundToInt32(double value, std::string_view where);

int16_t checkedAdd16(int16_t a, int16_t b, std::string_view where);
int16_t checkedSub16(int16_t a, int16_t b, std::string_view where);
int16_t checkedMul16(int16_t a, int16_t b, std::string_view where);
int32_t checkedAdd32(int32_t a, int32_t b, std::string_view where);
int32_t checkedSub32(int32_t a, int32_t b, std::string_view where);
int32_t checkedMul32(int32_t a, int32_t b, std::string_view where);

// A 32-bit value narrowed to 16 bits, an overflow error when it does not fit.
int16_t narrowTo16(int32_t value, std::string_view where);

}  // namespace karnwick
