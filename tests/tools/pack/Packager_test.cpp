// The packager: manifest reading and errors, building, fingerprints.
#include "tools/pack/Inspector.h"
#include "tools/pack/Manifest.h"
#include "tools/pack/Packager.h"
#include "tools/pack/SettingWords.h"

#include "app/Archive.h"
#include "app/Identity.h"
#include "app/PeResources.h"
#include "app/PlayerInstaller.h"
#include "app/ResourceBlock.h"
#include "app/ResourceNames.h"
#include "script/image/Image.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

using namespace paloma;
using namespace paloma::pack;
namespace fs = std::filesystem;

namespace {

const fs::path kData = fs::path(PALOMA_TEST_DATA) / "data";

std::vector<uint8_t> readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string errorOf(const std::string& json) {
    std::string error;
    auto m = parseManifest(json, kData, error);
    EXPECT_FALSE(m) << json;
    return error;
}

Manifest manifestOf(const std::string& json) {
    std::string error;
    auto m = parseManifest(json, kData, error);
    EXPECT_TRUE(m) << error;
    return m ? *m : Manifest{};
}

std::vector<uint8_t> decoded(const PeImage& image, std::u16string_view type, std::u16string_view name) {
    auto data = image.find(ResourceId::of(type), ResourceId::of(name));
    return data ? readResourceBlock(*data) : std::vector<uint8_t>{};
}

} // namespace

TEST(Manifest, DefaultsForEverySetting) {
    Manifest m = manifestOf(R"({"files": ["content/movie.swf"]})");
    const RuntimeSettings& s = m.settings;
    EXPECT_EQ(s.texts[kTextTitle], u"Screen saver");
    EXPECT_EQ(s.texts[kTextVersion], u"1.0");
    EXPECT_EQ(s.texts[5], u"Screen saver"); // product defaults to the title
    EXPECT_EQ(s.wakeUpMethods, kWakeLeftButton | kWakeRightButton | kWakeMouseMove | kWakeKeyStroke);
    EXPECT_EQ(s.optionFlags, 0u);
    EXPECT_EQ(s.hotKeyCode, 0);
    EXPECT_EQ(s.preview.selector, kPreviewIcon);
    EXPECT_EQ(s.help.selector, 0u);
    EXPECT_EQ(s.linkFont.faceName, u"Tahoma");
    EXPECT_EQ(s.pageFlags, 0u);
    EXPECT_EQ(m.movie.name, u"movie.swf"); // the first .swf among the files
    EXPECT_EQ(m.movie.kind, kMovieKindDefault);
    EXPECT_EQ(m.identity, u"Paloma/Screen saver\\V1.0");
    EXPECT_FALSE(m.installer);
    EXPECT_FALSE(m.runtime);
}

TEST(Manifest, WordsBecomeBits) {
    Manifest m = manifestOf(R"({"movie": "m.swf", "wakeUp": ["leftButton", "keyStroke", "hotKey"],
        "hotKey": {"key": "Space", "modifiers": ["alt", "extended"]},
        "options": {"mute": true, "defaultMovieSize": true}, "backgroundColour": "#0A0B0C",
        "preview": {"mode": "movie"}, "about": {"plays": "movie"}})");
    const RuntimeSettings& s = m.settings;
    EXPECT_EQ(s.wakeUpMethods, kWakeLeftButton | kWakeKeyStroke | kWakeHotKey);
    EXPECT_EQ(s.hotKeyCode, 0x20);
    EXPECT_EQ(s.hotKeyModifiers, kHotKeyAlt | kHotKeyExtended);
    EXPECT_EQ(s.optionFlags, kOptionMute | kOptionDefaultMovieSize | kOptionBackgroundColour);
    EXPECT_EQ(s.backgroundColour, 0x000C0B0Au);
    EXPECT_EQ(s.preview.selector, kPreviewMovie);
    EXPECT_EQ(s.pageFlags, kPagePlaysMovie);
}

TEST(Manifest, ErrorsNameTheField) {
    struct {
        const char* json;
        const char* field;
    } const cases[] = {
        {R"({"movie": "m.swf", "titel": "x"})", "\"titel\": unknown field"},
        {R"({"movie": "m.swf", "title": 5})", "\"title\": expected a string"},
        {R"({"movie": "m.swf", "wakeUp": ["mouseMove", "blink"]})", "\"wakeUp[1]\": unknown word \"blink\""},
        {R"({"movie": "m.swf", "wakeUp": "esc"})", "\"wakeUp\": expected a list"},
        {R"({"movie": "m.swf", "wakeUp": ["hotKey"]})", "\"hotKey\": missing"},
        {R"({"movie": "m.swf", "hotKey": {"key": "F99"}})", "\"hotKey.key\": unknown key"},
        {R"({"movie": "m.swf", "hotKey": {"key": 300}})", "\"hotKey.key\": must be between 1 and 254"},
        {R"({"movie": "m.swf", "options": {"mute": "yes"}})", "\"options.mute\": expected true or false"},
        {R"({"movie": "m.swf", "options": {"loud": true}})", "\"options.loud\": unknown field"},
        {R"({"movie": "m.swf", "backgroundColour": "#12345"})", "\"backgroundColour\": expected a colour"},
        {R"({"movie": "m.swf", "preview": {"mode": "file"}})", "\"preview.path\": missing"},
        {R"({"movie": "m.swf", "preview": {"mode": "big"}})", "\"preview.mode\": expected one of"},
        {R"({"movie": "m.swf", "help": {}})", "\"help.path\": missing"},
        {R"({"movie": "m.swf", "about": {"plays": "file"}})", "\"about.file\": missing"},
        {R"({"movie": "m.swf", "about": {"link": {"font": {"weight": -1}}}})",
         "\"about.link.font.weight\": must be between"},
        {R"({"movie": "m.swf", "about": {"mail": {"font": {"face": "a very long face name over 31 bytes"}}}})",
         "\"about.mail.font.face\": longer than 31 bytes"},
        {R"({"movie": "m.swf", "about": {"mail": []}})", "\"about.mail\": expected an object"},
        {R"({"files": []})", "\"movie\": missing"},
        {R"({"movie": "m.swf", "files": [1]})", "\"files[0]\": expected a string"},
        {R"({"movie": "m.swf", "scripts": {"INITIALIZE": 3}})", "\"scripts.INITIALIZE\": expected the path"},
        {R"({"movie": "m.swf", "identity": "a\u0000b"})", "\"identity\": must not contain a NUL"},
        {R"([1, 2])", "\"(top level)\": expected an object"},
    };
    for (const auto& c : cases) {
        std::string error = errorOf(c.json);
        EXPECT_NE(error.find(std::string("manifest field ") + c.field), std::string::npos)
            << c.json << "\n  gave: " << error;
    }
    std::string syntax = errorOf("{\"movie\": ");
    EXPECT_EQ(syntax.rfind("manifest is not valid JSON", 0), 0u) << syntax;
}

class PackagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device rd;
        dir_ = fs::temp_directory_path() / ("paloma_pack_" + std::to_string(rd()));
        fs::create_directories(dir_);
        stub_ = readAll(kData / "stub64.exe");
        ASSERT_FALSE(stub_.empty());
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::vector<uint8_t> build(const std::string& json) {
        std::string error;
        auto m = parseManifest(json, kData, error);
        EXPECT_TRUE(m) << error;
        if (!m)
            return {};
        auto exe = buildPackage(*m, stub_, error);
        EXPECT_TRUE(exe) << error;
        return exe ? *exe : std::vector<uint8_t>{};
    }

    std::string buildError(const std::string& json) {
        std::string error;
        auto m = parseManifest(json, kData, error);
        EXPECT_TRUE(m) << error;
        if (!m)
            return error;
        EXPECT_FALSE(buildPackage(*m, stub_, error));
        return error;
    }

    fs::path dir_;
    std::vector<uint8_t> stub_;
};

TEST_F(PackagerTest, ResourcesDecodeBackToTheManifest) {
    auto exe = build(R"({"title": "Saver", "version": "3", "author": "Me", "identity": "Me/Saver",
        "files": ["content", "init.qsc"], "movie": "CONTENT\\movie.swf", "installer": "content/docs/readme.txt",
        "preview": {"mode": "file", "path": "content/preview.swf"},
        "about": {"picture": "about.bmp"}, "scripts": {"INITIALIZE": "init.qsc", "BeforeUninst": "init.qsc"}})");
    auto image = PeImage::parse(exe);
    ASSERT_TRUE(image);
    RuntimeSettings s;
    ASSERT_TRUE(readRuntimeSettings(decoded(*image, kResourceTypePaloma, kResourceSettings), s));
    EXPECT_EQ(s.texts[kTextTitle], u"Saver");
    EXPECT_EQ(s.texts[kTextVersion], u"3");
    EXPECT_EQ(s.preview.path, u"content/preview.swf");
    MovieList list;
    ASSERT_TRUE(readMovieList(decoded(*image, kResourceTypePaloma, kResourceMovieList), list));
    EXPECT_EQ(list.name, u"CONTENT\\movie.swf");
    auto fp = readPlayerInstallerRecord(decoded(*image, kResourceTypePaloma, kResourceInstaller));
    ASSERT_TRUE(fp);
    EXPECT_EQ(fp->fileName, "content/docs/readme.txt");
    EXPECT_EQ(fp->words, kPlayerInstallerWords);
    EXPECT_EQ(decoded(*image, kResourceTypePaloma, kResourceBackground), readAll(kData / "about.bmp"));
    auto id = image->find(ResourceId::of(kResourceTypePaloma), ResourceId::of(kResourceIdentity));
    ASSERT_TRUE(id);
    auto identity = readIdentity(*id, u"x");
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->registryKey, u"Me");
    EXPECT_EQ(identity->profileName, u"Saver");
    auto cs = image->find(ResourceId::of(kResourceTypePaloma), ResourceId::of(kResourceFingerprint));
    ASSERT_TRUE(cs);
    EXPECT_EQ(cs->size(), kFingerprintSize);
    EXPECT_EQ(decoded(*image, kResourceTypeQuill, u"INITIALIZE"), readAll(kData / "init.qsc"));
    EXPECT_EQ(decoded(*image, kResourceTypeQuill, u"beforeuninst"), readAll(kData / "init.qsc"));
    // The stub's own resource is still there.
    EXPECT_TRUE(image->find(ResourceId::of(24), ResourceId::of(1)));

    // The preview file's bytes ride along after its path in the record.
    auto plain = writeRuntimeSettings(s);
    EXPECT_EQ(decoded(*image, kResourceTypePaloma, kResourceSettings).size(),
              plain.size() + readAll(kData / "content" / "preview.swf").size());

    // And the archive holds the files.
    MemorySource source(exe);
    Archive archive(source);
    ASSERT_TRUE(archive.open());
    fs::path got = archive.resolve(u"content/docs/readme.txt", dir_ / "x");
    EXPECT_EQ(readAll(got), readAll(kData / "content" / "docs" / "readme.txt"));
}

TEST_F(PackagerTest, FingerprintFollowsTheConfiguration) {
    const std::string base = R"({"files": ["content"], "movie": "content/movie.swf", "title": "%"})";
    auto with = [&](const std::string& title) {
        std::string json = base;
        json.replace(json.find('%'), 1, title);
        auto exe = build(json);
        auto image = PeImage::parse(exe);
        auto cs = image->find(ResourceId::of(kResourceTypePaloma), ResourceId::of(kResourceFingerprint));
        return cs ? *cs : std::vector<uint8_t>{};
    };
    auto a = with("One");
    EXPECT_EQ(a.size(), 16u);
    EXPECT_EQ(with("One"), a);
    EXPECT_NE(with("Two"), a);
}

TEST_F(PackagerTest, PathsMustBePackedAndScriptsReadable) {
    EXPECT_NE(buildError(R"({"files": ["content"], "movie": "other.swf"})")
                  .find("manifest field \"movie\": \"other.swf\" is not among the packaged files"),
              std::string::npos);
    EXPECT_NE(buildError(R"({"files": ["content"], "movie": "content/movie.swf", "installer": "content/setup.exe"})")
                  .find("manifest field \"installer\""),
              std::string::npos);
    EXPECT_NE(buildError(R"({"files": ["content"], "movie": "content/movie.swf/x"})").find("manifest field \"movie\""),
              std::string::npos);
    EXPECT_NE(buildError(R"({"files": ["content", "content"], "movie": "content/movie.swf"})")
                  .find("manifest field \"files[1]\": \"content\" is packed twice"),
              std::string::npos);
    EXPECT_NE(buildError(R"({"files": ["nothing.bin"], "movie": "m.swf"})").find("manifest field \"files[0]\""),
              std::string::npos);
    EXPECT_NE(buildError(R"({"files": ["content"], "movie": "content/movie.swf", "scripts": {"X": "init.txt"}})")
                  .find("manifest field \"scripts.X\": "),
              std::string::npos);
    EXPECT_NE(buildError(R"({"files": ["content"], "movie": "content/movie.swf", "about": {"picture": "init.qsc"}})")
                  .find("is not a BMP picture"),
              std::string::npos);
}

TEST_F(PackagerTest, NothingIsWrittenOnFailure) {
    std::string error;
    auto m = parseManifest(R"({"files": ["content"], "movie": "gone.swf", "runtime": "stub64.exe"})", kData, error);
    ASSERT_TRUE(m);
    fs::path out = dir_ / "out.exe";
    EXPECT_FALSE(buildPackageFile(*m, std::nullopt, out, error));
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(dir_ / "out.exe.part"));
    m->movie.name = u"content/movie.swf";
    EXPECT_FALSE(buildPackageFile(*m, kData / "missing.exe", out, error));
    EXPECT_NE(error.find("cannot read the runtime"), std::string::npos);
    EXPECT_FALSE(fs::exists(out));
    ASSERT_TRUE(buildPackageFile(*m, std::nullopt, out, error)) << error;
    EXPECT_TRUE(PeImage::parse(readAll(out)));
}

TEST_F(PackagerTest, InspectAndExtract) {
    auto exe = build(R"({"files": ["content"], "movie": "content/movie.swf", "wakeUp": ["esc"]})");
    std::ostringstream listing;
    std::string error;
    ASSERT_TRUE(inspectPackage(exe, listing, error)) << error;
    EXPECT_NE(listing.str().find("wakeUp: esc\n"), std::string::npos) << listing.str();
    EXPECT_NE(listing.str().find("identity: \"Paloma/Screen saver\\\\V1.0\" (digest valid)"), std::string::npos);
    EXPECT_NE(listing.str().find("      readme.txt"), std::string::npos);
    EXPECT_NE(listing.str().find("scripts:\n  none\n"), std::string::npos);

    fs::path file = dir_ / "p.exe";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(exe.data()), std::streamsize(exe.size()));
    ASSERT_TRUE(extractPackage(file, dir_ / "out", error)) << error;
    EXPECT_EQ(readAll(dir_ / "out" / "content" / "movie.swf"), readAll(kData / "content" / "movie.swf"));
    EXPECT_FALSE(extractPackage(kData / "stub64.exe", dir_ / "none", error));
    EXPECT_NE(error.find("carries no archive"), std::string::npos);

    std::ostringstream junk;
    EXPECT_FALSE(inspectPackage(std::vector<uint8_t>{'M', 'Z'}, junk, error));
}

TEST_F(PackagerTest, ScriptsAreCompiledOrChecked) {
    std::string error;
    auto compiled = scriptImage(kData / "init.qls", error);
    ASSERT_TRUE(compiled) << error;
    EXPECT_TRUE(quill::loadImage(*compiled, &error)) << error;
    auto again = scriptImage(kData / "init.qls", error);
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, *compiled); // the same source gives the same image

    auto image = scriptImage(kData / "init.qsc", error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(*image, readAll(kData / "init.qsc"));

    EXPECT_FALSE(scriptImage(kData / "fake.qsc", error));
    EXPECT_NE(error.find("not a compiled script image"), std::string::npos) << error;
    EXPECT_FALSE(scriptImage(kData / "broken.qls", error));
    EXPECT_NE(error.find("broken.qls: error: line 1"), std::string::npos) << error;
    EXPECT_FALSE(scriptImage(kData / "absent.qls", error));
    EXPECT_NE(error.find("cannot read"), std::string::npos) << error;

    // A compile error names the script's manifest field and builds nothing.
    EXPECT_NE(buildError(R"({"files": ["content"], "movie": "content/movie.swf", "scripts": {"Bad": "broken.qls"}})")
                  .find("manifest field \"scripts.Bad\": "),
              std::string::npos);
    auto exe = build(R"({"files": ["content"], "movie": "content/movie.swf", "scripts": {"INITIALIZE": "init.qls"}})");
    auto packaged = PeImage::parse(exe);
    ASSERT_TRUE(packaged);
    EXPECT_EQ(decoded(*packaged, kResourceTypeQuill, u"INITIALIZE"), *compiled);
}

TEST(SettingWords, KeysAndColoursBothWays) {
    for (const char* name : {"A", "Z", "0", "9", "F1", "F12", "F24", "Space", "Delete", "PageDown"}) {
        auto code = keyOf(name);
        ASSERT_TRUE(code) << name;
        EXPECT_EQ(keyName(*code), name);
    }
    EXPECT_FALSE(keyOf("F0"));
    EXPECT_FALSE(keyOf("F25"));
    EXPECT_FALSE(keyOf("a"));
    EXPECT_EQ(keyName(0xBA), "0xBA");
    EXPECT_EQ(colourOf("#FF8000"), 0x000080FFu);
    EXPECT_EQ(colourText(0x000080FF), "#FF8000");
    EXPECT_FALSE(colourOf("FF8000"));
    EXPECT_FALSE(colourOf("#GG8000"));
    EXPECT_EQ(wordsOf(wakeUpWords(), 0), "none");
    EXPECT_EQ(wordsOf(wakeUpWords(), 0x41), "leftButton, 0x40");
}
