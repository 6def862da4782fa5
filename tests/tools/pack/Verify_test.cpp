// paloma-pack init and verify: a starting manifest builds as it is, and
// verify finds each kind of damage a package can take.
#include "tools/pack/Manifest.h"
#include "tools/pack/Packager.h"
#include "tools/pack/Progress.h"
#include "tools/pack/Starter.h"
#include "tools/pack/Verifier.h"

#include "app/Identity.h"
#include "app/PeResources.h"
#include "app/ResourceNames.h"
#include "tests/support/MovieBytes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

using namespace paloma;
using namespace paloma::pack;
namespace fs = std::filesystem;

namespace {

const fs::path kData = fs::path(PALOMA_TEST_DATA) / "data";

std::vector<uint8_t> readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const fs::path& p, const std::vector<uint8_t>& bytes) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

class VerifyTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device rd;
        dir_ = fs::temp_directory_path() / ("paloma_verify_" + std::to_string(rd()));
        fs::create_directories(dir_ / "movies");
        paloma::testing::MovieShape shape;
        shape.width = 640;
        shape.height = 480;
        shape.rate = 24;
        shape.frames = 90;
        shape.compressed = true;
        writeAll(dir_ / "movies" / "Night Sky.swf", paloma::testing::movieBytes(shape));
    }
    void TearDown() override { fs::remove_all(dir_); }

    // init into `dir_`, then build from the manifest exactly as written.
    std::vector<uint8_t> initAndBuild() {
        std::string error;
        auto manifestPath = writeStarterManifest(dir_ / "movies" / "Night Sky.swf", dir_, error);
        EXPECT_TRUE(manifestPath) << error;
        if (!manifestPath)
            return {};
        auto manifest = loadManifest(*manifestPath, error);
        EXPECT_TRUE(manifest) << error;
        if (!manifest)
            return {};
        auto exe = buildPackage(*manifest, readAll(kData / "stub64.exe"), error);
        EXPECT_TRUE(exe) << error;
        return exe ? *exe : std::vector<uint8_t>{};
    }

    fs::path dir_;
};

} // namespace

TEST_F(VerifyTest, InitWritesAManifestBuildAcceptsAndRefusesToOverwrite) {
    auto exe = initAndBuild();
    ASSERT_FALSE(exe.empty());
    std::string text;
    {
        auto bytes = readAll(dir_ / "Night Sky.json");
        text.assign(bytes.begin(), bytes.end());
    }
    EXPECT_NE(text.find("640 x 480 pixels, 24 frames per second, 90 frames"), std::string::npos) << text;
    EXPECT_NE(text.find("\"identity\": \"Night Sky/Night Sky\\\\V1.0\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"files\": [\"movies/Night Sky.swf\"]"), std::string::npos) << text;

    auto report = verifyPackage(exe);
    EXPECT_EQ(report.problem, "");
    EXPECT_EQ(report.files, 1u);
    EXPECT_EQ(report.bytes, fs::file_size(dir_ / "movies" / "Night Sky.swf"));

    std::string error;
    EXPECT_FALSE(writeStarterManifest(dir_ / "movies" / "Night Sky.swf", dir_, error));
    EXPECT_NE(error.find("exists already"), std::string::npos) << error;
    EXPECT_EQ(readAll(dir_ / "Night Sky.json"), std::vector<uint8_t>(text.begin(), text.end()));

    writeAll(dir_ / "notes.swf", {'h', 'e', 'l', 'l', 'o'});
    EXPECT_FALSE(writeStarterManifest(dir_ / "notes.swf", std::nullopt, error));
    EXPECT_NE(error.find("is not a Flash movie"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(dir_ / "notes.json"));
}

TEST_F(VerifyTest, EachKindOfDamageIsNamed) {
    auto good = initAndBuild();
    ASSERT_FALSE(good.empty());
    ASSERT_EQ(verifyPackage(good).problem, "");
    auto image = PeImage::parse(good);
    ASSERT_TRUE(image);
    size_t archiveStart = good.size() - image->overlay().size();

    // A flipped byte in the movie's compressed data.
    auto flipped = good;
    flipped[good.size() - 8 - 10] ^= 0x20;
    EXPECT_EQ(verifyPackage(flipped).problem.rfind("archive: file \"Night Sky.swf\": ", 0), 0u)
        << verifyPackage(flipped).problem;

    // A forged identity: another text under the old digest.
    auto forged = PeImage::parse(good);
    auto id = *forged->find(ResourceId::of(kResourceTypePaloma), ResourceId::of(kResourceIdentity));
    id[0] = 'X';
    forged->set({ResourceId::of(kResourceTypePaloma), ResourceId::of(kResourceIdentity), kLanguageNeutral, 0, id});
    auto forgedExe = *forged->write();
    forgedExe.insert(forgedExe.end(), good.begin() + std::ptrdiff_t(archiveStart), good.end());
    EXPECT_EQ(verifyPackage(forgedExe).problem.rfind("identity (PALOMA/ID): invalid", 0), 0u)
        << verifyPackage(forgedExe).problem;

    // Truncated: in the archive, and in the executable.
    for (size_t cut : {good.size() - 3, archiveStart + 20, archiveStart - 100}) {
        auto truncated = std::vector<uint8_t>(good.begin(), good.begin() + std::ptrdiff_t(cut));
        EXPECT_NE(verifyPackage(truncated).problem, "") << cut;
    }

    // A damaged settings block: its CRC no longer matches.
    auto settings = PeImage::parse(good);
    auto st = *settings->find(ResourceId::of(kResourceTypePaloma), ResourceId::of(kResourceSettings));
    st[12] ^= 1;
    settings->set({ResourceId::of(kResourceTypePaloma), ResourceId::of(kResourceSettings), kLanguageNeutral, 0, st});
    auto settingsExe = *settings->write();
    settingsExe.insert(settingsExe.end(), good.begin() + std::ptrdiff_t(archiveStart), good.end());
    EXPECT_EQ(verifyPackage(settingsExe).problem,
              "settings (PALOMA/ST): the resource block's CRC does not match its data");

    // Something that is no package at all.
    EXPECT_EQ(verifyPackage(readAll(kData / "stub64.exe")).problem, "settings (PALOMA/ST): missing");
    EXPECT_EQ(verifyPackage(std::vector<uint8_t>(100, 0)).problem.rfind("not a package: ", 0), 0u);

    // Random damage never crashes and is found or harmless.
    std::mt19937 rng(7);
    for (int round = 0; round < 300; ++round) {
        auto mangled = good;
        mangled[rng() % mangled.size()] ^= uint8_t(1 + rng() % 255);
        verifyPackage(mangled);
    }
}

TEST(Progress, LineShowsBytesOfTotalAndRate) {
    Progress quiet(nullptr, "building", 8u << 20);
    EXPECT_EQ(quiet.line(3u << 20, 2.0), "building: 3.0 of 8.0 MB (1.5 MB/s)");
    EXPECT_EQ(Progress::outputFor(100u << 20, true), nullptr);
    EXPECT_EQ(Progress::outputFor(1024, false), nullptr);
}
