// Installer hook scripts in a throw-away engine.
#include "app/shell/HookScript.h"

#include "script/Quill.h"

#include <gtest/gtest.h>

using namespace paloma;

namespace {

std::vector<uint8_t> compiled(const char* source) {
    quill::CompileResult result = quill::compileScript(std::string_view(source), quill::CompileOptions{0, "hook.qls"});
    EXPECT_TRUE(result.ok) << result.messages;
    return result.ok ? quill::writeImage(result.sections) : std::vector<uint8_t>{};
}

} // namespace

TEST(HookScript, ImagesRunToTheirEndOrReportTheirError) {
    std::string error;
    EXPECT_EQ(runImageInThrowawayEngine(compiled("var n = 0; for (var i = 0; i < 10; i++) n += i;"), &error),
              HookOutcome::Ran)
        << error;
    EXPECT_EQ(runImageInThrowawayEngine(compiled("throw 'hook failed';"), &error), HookOutcome::Failed);
    EXPECT_NE(error.find("hook failed"), std::string::npos) << error;

    // Each run has its own engine: a global of one run is unknown to the next.
    EXPECT_EQ(runImageInThrowawayEngine(compiled("var leftOver = 1;")), HookOutcome::Ran);
    EXPECT_EQ(runImageInThrowawayEngine(compiled("if (typeof leftOver != 'undefined') throw 'shared';"), &error),
              HookOutcome::Ran)
        << error;
}

TEST(HookScript, DamagedImagesAndMissingResourcesAreIgnored) {
    std::vector<uint8_t> image = compiled("var x = 1;");
    ASSERT_GT(image.size(), 16u);
    std::vector<uint8_t> cut(image.begin(), image.begin() + 16);
    EXPECT_EQ(runImageInThrowawayEngine(cut), HookOutcome::BadImage);
    EXPECT_EQ(runImageInThrowawayEngine({}), HookOutcome::BadImage);
    std::vector<uint8_t> garbage(200, 0xA5);
    EXPECT_EQ(runImageInThrowawayEngine(garbage), HookOutcome::BadImage);
    // This test program carries no hook resources.
    EXPECT_EQ(runInstallerHook("AfterInstall"), HookOutcome::Missing);
    EXPECT_EQ(runInstallerHook("BeforeUninst"), HookOutcome::Missing);
}
