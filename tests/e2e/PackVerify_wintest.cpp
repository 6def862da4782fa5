// The packager's own walk-through under Windows: paloma-pack.exe init on a
// movie, build from the manifest as written, verify the result; a package
// damaged afterwards fails verify.
#include "E2eSupport.h"
#include "tests/support/Binutils.h"
#include "tests/support/MovieBytes.h"

#include <gtest/gtest.h>

#ifdef PALOMA_PACK_EXE

namespace {

DWORD pack(const std::wstring& arguments, const std::wstring& folder) {
    auto r = e2e::runProcess(L"\"" + e2e::hostPath(PALOMA_PACK_EXE) + L"\" " + arguments, {}, 60000, folder);
    EXPECT_TRUE(r.started && r.finished) << "paloma-pack did not run to its end";
    return r.exitCode;
}

} // namespace

TEST(PackVerify, InitBuildVerifyAndDamageFound) {
    e2e::ScratchFolder scratch(L"pack-verify");
    paloma::testing::MovieShape shape;
    shape.compressed = true;
    auto movie = paloma::testing::movieBytes(shape);
    ASSERT_TRUE(e2e::writeFile(scratch / L"Aurora.swf", movie));

    ASSERT_EQ(pack(L"init Aurora.swf", scratch.path()), 0u);
    ASSERT_TRUE(e2e::exists(scratch / L"Aurora.json"));
    EXPECT_NE(pack(L"init Aurora.swf", scratch.path()), 0u); // never overwritten
    ASSERT_EQ(pack(L"build Aurora.json -o Aurora.exe --runtime \"" + e2e::hostPath(PALOMA_RUNTIME_EXE) + L"\"",
                   scratch.path()),
              0u);
    EXPECT_EQ(testsupport::objdumpProblem(scratch / L"Aurora.exe"), "");
    EXPECT_EQ(pack(L"verify Aurora.exe", scratch.path()), 0u);

    // A flipped byte in the archive (the movie's compressed data).
    auto bytes = e2e::readFile(scratch / L"Aurora.exe");
    ASSERT_GT(bytes.size(), 40u);
    bytes[bytes.size() - 16] ^= 0x10;
    ASSERT_TRUE(e2e::writeFile(scratch / L"Flipped.exe", bytes));
    EXPECT_EQ(pack(L"verify Flipped.exe", scratch.path()), 1u);
    // Cut short.
    bytes.resize(bytes.size() - 5);
    ASSERT_TRUE(e2e::writeFile(scratch / L"Short.exe", bytes));
    EXPECT_EQ(pack(L"verify Short.exe", scratch.path()), 1u);
}

#endif // PALOMA_PACK_EXE
