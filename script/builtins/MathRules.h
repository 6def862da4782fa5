#pragma once
// The arithmetic rules of the Math class that go beyond the C library: the
// per-engine 48-bit random generator, and pow and round with their Integer
// results.

#include <cstdint>
#include <optional>

namespace quill::mathrules {

// The 48-bit linear congruential generator of the drand48 family:
// x = (0x5DEECE66D * x + 0xB) mod 2^48, each draw the new state / 2^48.
class Random48 {
public:
    // Seed from a time in seconds: x = (t << 16) | 0x330E.
    void seed(std::int64_t seconds);
    double next();
    std::uint64_t state() const { return state_; }

private:
    std::uint64_t state_ = 0x330E;
};

// pow of two Integers as an Integer: only for a non-negative exponent and a
// result whose magnitude is below 2^53; nullopt otherwise (the caller then
// computes the Float power).
std::optional<std::int64_t> integerPow(std::int64_t base, std::int64_t exponent);

// The result of round: an Integer, or the Float itself for the infinities and
// for results beyond the Integer range. NaN input is the caller's case.
struct RoundResult {
    bool isInteger = true;
    std::int64_t integer = 0;
    double real = 0;
};
RoundResult roundHalfUp(double x);

} // namespace quill::mathrules
