#include "battle/random.h"

namespace karnwick {

Pcg32::Pcg32(uint64_t initState, uint64_t initSeq) noexcept : m_inc((initSeq << 1u) | 1u) {
    nextUInt32();
    m_state += initState;
    nextUInt32();
}

}  // namespace karnwick
