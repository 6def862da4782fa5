// The report of a failed invariant check (QUILL_ASSERT).
#include "script/values/Assert.h"

#include <cstdio>
#include <cstdlib>

namespace quill {

void assertionFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: engine invariant broken: %s\n", file, line, condition);
    std::fflush(stderr);
    std::abort();
}

} // namespace quill
