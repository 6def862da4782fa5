// The random generator and the Integer rules of pow and round.
#include "script/builtins/MathRules.h"

#include <cmath>

namespace quill::mathrules {

namespace {
constexpr std::uint64_t kMask48 = (std::uint64_t(1) << 48) - 1;
constexpr std::int64_t kTwo53 = std::int64_t(1) << 53;
} // namespace

void Random48::seed(std::int64_t seconds) {
    state_ = ((std::uint64_t(seconds) << 16) | 0x330E) & kMask48;
}

double Random48::next() {
    state_ = (0x5DEECE66DULL * state_ + 0xB) & kMask48;
    return double(state_) / double(std::uint64_t(1) << 48);
}

std::optional<std::int64_t> integerPow(std::int64_t base, std::int64_t exponent) {
    if (exponent < 0)
        return std::nullopt;
    if (exponent == 0)
        return 1;
    if (base == 0 || base == 1)
        return base;
    if (base == -1)
        return (exponent & 1) ? -1 : 1;
    if (base <= -kTwo53 || base >= kTwo53)
        return std::nullopt;
    // |base| >= 2, so at most 53 multiplications before the limit is passed.
    std::int64_t magnitude = base < 0 ? -base : base;
    std::int64_t result = 1;
    for (std::int64_t e = 0; e < exponent; ++e) {
        if (result > (kTwo53 - 1) / magnitude)
            return std::nullopt;
        result *= magnitude;
    }
    return (base < 0 && (exponent & 1)) ? -result : result;
}

RoundResult roundHalfUp(double x) {
    RoundResult r;
    double v = std::floor(x + 0.5);
    if (!std::isfinite(v) || v < -9.2e18 || v > 9.2e18) {
        r.isInteger = false;
        r.real = std::isfinite(x) ? v : x;
        return r;
    }
    r.integer = std::int64_t(v);
    return r;
}

} // namespace quill::mathrules
