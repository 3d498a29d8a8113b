#pragma once
// What every fuzz target shares: an invariant that fails stops the run at
// once with its reason, in the fuzzer as in the plain replay of the corpus.

#include <cstdio>
#include <cstdlib>

namespace karnwick::fuzz {

inline void check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

}  // namespace karnwick::fuzz
