// The engine's invariant checks (QUILL_ASSERT): active in the native Debug
// build the tests use, compiled away in the shipped builds.
#include <gtest/gtest.h>

#include <cstdint>

#include "script/values/Engine.h"
#include "script/values/Native.h"

using namespace quill;

TEST(InvariantChecks, RecordAccessCatchesWrongKindsAndFreedBlocks) {
#if defined(QUILL_ASSERTS)
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Engine e;
    Value n;
    bindNativeObject(e, n, newNativeClass(e), nullptr);
    EXPECT_EQ(n.asNative()->data, nullptr) << "a live native object passes";
    EXPECT_DEATH((void)n.asObject(), "engine invariant broken: kind == k");
    e.collectGarbage(); // nothing roots it: the sweep frees its block
    EXPECT_DEATH((void)n.asNative(), "engine invariant broken: checkRecord");
#else
    Value v = Value::raw(Kind::Integer, 8);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(v.asObject()), 8u) << "no check where assertions are off";
#endif
}
