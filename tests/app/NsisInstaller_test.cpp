// Player control extraction from installers that the test builds itself with
// the installer compiler (skipped where it is not installed).
#include "app/NsisInstaller.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;
using paloma::extractFirstOcxFromNsis;
using paloma::findNsisFirstHeader;

namespace {

std::vector<uint8_t> readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> noise(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v)
        b = uint8_t(rng() % 7); // compressible, but not trivially
    return v;
}

class NsisInstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("makensis -VERSION >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "makensis not installed";
        dir_ = fs::temp_directory_path() / ("paloma_nsis_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        writeAll(dir_ / "readme.txt", {'h', 'i', '\n'});
        writeAll(dir_ / "flash.ocx", control_);
        writeAll(dir_ / "other.ocx", noise(500, 2));
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Builds an installer whose script starts with `settings` and whose
    // section installs the listed files in order.
    std::vector<uint8_t> build(const std::string& settings, const std::vector<std::string>& files) {
        std::ofstream nsi(dir_ / "inst.nsi");
        nsi << settings << "\nOutFile \"inst.exe\"\nRequestExecutionLevel user\nInstallDir \"$TEMP\\x\"\n"
            << "Section\nSetOutPath \"$INSTDIR\"\n";
        for (auto& f : files)
            nsi << "File \"" << f << "\"\n";
        nsi << "SectionEnd\n";
        nsi.close();
        std::string cmd = "cd '" + dir_.string() + "' && makensis -V1 inst.nsi >/dev/null 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << settings;
        return readAll(dir_ / "inst.exe");
    }

    fs::path dir_;
    std::vector<uint8_t> control_ = noise(5000, 1);
};

} // namespace

TEST_F(NsisInstallerTest, TakesTheControlOutOfEachSupportedLayout) {
    const char* layouts[] = {
        "SetCompress off",
        "SetCompressor zlib",
        "SetCompressor /SOLID zlib",
        "Unicode false\nSetCompressor zlib",
        "Unicode false\nSetCompress off",
    };
    for (const char* settings : layouts) {
        auto installer = build(settings, {"readme.txt", "flash.ocx"});
        ASSERT_TRUE(findNsisFirstHeader(installer).has_value()) << settings;
        EXPECT_EQ(*findNsisFirstHeader(installer) % 512, 0u);
        auto control = extractFirstOcxFromNsis(installer);
        ASSERT_TRUE(control.has_value()) << settings;
        EXPECT_EQ(*control, control_) << settings;
    }
}

TEST_F(NsisInstallerTest, TheFirstControlWinsAndCaseIsIgnored) {
    fs::rename(dir_ / "flash.ocx", dir_ / "FLASH.OCX");
    auto installer = build("SetCompressor zlib", {"readme.txt", "FLASH.OCX", "other.ocx"});
    auto control = extractFirstOcxFromNsis(installer);
    ASSERT_TRUE(control.has_value());
    EXPECT_EQ(*control, control_);
}

TEST_F(NsisInstallerTest, GivesNothingWithoutControlOrForUnsupportedOrDamagedData) {
    auto plain = build("SetCompressor zlib", {"readme.txt"});
    EXPECT_TRUE(findNsisFirstHeader(plain).has_value());
    EXPECT_FALSE(extractFirstOcxFromNsis(plain).has_value());

    auto lzma = build("SetCompressor lzma", {"flash.ocx"});
    EXPECT_FALSE(extractFirstOcxFromNsis(lzma).has_value());

    auto good = build("SetCompressor zlib", {"flash.ocx"});
    size_t first = *findNsisFirstHeader(good);
    // Cut inside the data, inside the header block, and inside the first header.
    for (size_t keep : {good.size() - 100, first + 200, first + 20}) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + std::ptrdiff_t(keep));
        EXPECT_FALSE(extractFirstOcxFromNsis(cut).has_value()) << keep;
    }
    // A flags word of 16 or more does not count as a first header.
    auto badFlags = good;
    badFlags[first] = 16;
    EXPECT_FALSE(findNsisFirstHeader(badFlags).has_value());
    // Damaged compressed header: no crash, no control.
    auto damaged = good;
    for (size_t i = first + 40; i < first + 80 && i < damaged.size(); ++i)
        damaged[i] ^= 0x5A;
    EXPECT_FALSE(extractFirstOcxFromNsis(damaged).has_value());
}

TEST(NsisInstallerBytes, NonInstallersHaveNoFirstHeader) {
    EXPECT_FALSE(findNsisFirstHeader({}).has_value());
    std::vector<uint8_t> zeros(4096, 0);
    EXPECT_FALSE(findNsisFirstHeader(zeros).has_value());
    // The header must sit on a 512-byte boundary.
    std::vector<uint8_t> shifted(2048, 0);
    const uint8_t head[] = {0, 0, 0, 0, 0xEF, 0xBE, 0xAD, 0xDE, 'N', 'u', 'l', 'l', 's', 'o', 'f', 't', 'I', 'n', 's', 't'};
    std::copy(std::begin(head), std::end(head), shifted.begin() + 100);
    EXPECT_FALSE(findNsisFirstHeader(shifted).has_value());
    std::copy(std::begin(head), std::end(head), shifted.begin() + 1024);
    ASSERT_TRUE(findNsisFirstHeader(shifted).has_value());
    EXPECT_EQ(*findNsisFirstHeader(shifted), 1024u);
    EXPECT_FALSE(extractFirstOcxFromNsis(shifted).has_value());
}
