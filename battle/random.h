#pragma once
// The arena's one random source. Every start of the program begins from the
// same state, so the same choices and clicks give the same battles.

#include <cstdint>

namespace karnwick {

class RandomSource {
  public:
    virtual ~RandomSource() = default;
    // The next value r of the sequence, 0 <= r < 1.
    virtual double nextRandom() = 0;
};

// PCG32 (XSH RR output, 64-bit state), seeded as the PCG family's reference
// seeds with an initial state and a stream. The default seed (42, 54) is the
// arena's fixed start: its first outputs are 0xa15c02b7 and 0x7b47f409.
class Pcg32 final : public RandomSource {
  public:
    static constexpr uint64_t kDefaultState = 42;
    static constexpr uint64_t kDefaultStream = 54;

    explicit Pcg32(uint64_t initState = kDefaultState, uint64_t initSeq = kDefaultStream) noexcept;

    uint32_t nextUInt32() noexcept {
        const uint64_t old = m_state;
        m_state = old * 6364136223846793005ULL + m_inc;
        const auto xorshifted = static_cast<uint32_t>(((old >> 18u) ^ old) >> 27u);
        const auto rot = static_cast<uint32_t>(old >> 59u);
        return (xorshifted >> rot) | (xorshifted << ((-rot) & 31u));
    }

    double nextRandom() noexcept override { return nextUInt32() * 0x1p-32; }

  private:
    uint64_t m_state = 0;
    uint64_t m_inc = 0;
};

}  // namespace karnwick
