#pragma once

#include <cstdlib>

// Ends the run at a broken expectation, so that the fuzzer keeps the input that broke it.
inline void Check(bool holds) {
    if (!holds) {
        std::abort();
    }
}
