// Checked 64-bit arithmetic: one helper per operation, so size computations read as
// formulas and every overflow is reported rather than wrapped.
#pragma once

#include <cstdint>

namespace velapng {

// *result = a * b; false when the exact product does not fit in 64 bits.
inline bool checked_mul(uint64_t a, uint64_t b, uint64_t* result) { return !__builtin_mul_overflow(a, b, result); }

// *result = a + b; false when the exact sum does not fit in 64 bits.
inline bool checked_add(uint64_t a, uint64_t b, uint64_t* result) { return !__builtin_add_overflow(a, b, result); }

}  // namespace velapng
