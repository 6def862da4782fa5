// Profile files: lookups with the system's trimming, quoting and case rules,
// and edits that leave every other line as it was.
#include "host/system/ProfileFile.h"

#include <gtest/gtest.h>

#include <fstream>

namespace paloma::host {
namespace {

constexpr std::string_view kSample =
    "; settings\r\n"
    "top=level\r\n"
    "[Main]\r\n"
    "  Name = Paloma  \r\n"
    "quoted=\"  spaced  \"\r\n"
    "count= 42xyz\r\n"
    "hex=0x1F\r\n"
    "neg=-7\r\n"
    ";comment=hidden\r\n"
    "flag\r\n"
    "\r\n"
    "[Other] trailing\n"
    "k=v\n"
    "[broken\n"
    "=empty key\n"
    "\n"
    "[Main]\r\n"
    "Name=second\r\n";

TEST(ProfileFile, LookupsTrimQuoteAndIgnoreCase) {
    ProfileFile p = ProfileFile::parse(kSample);
    EXPECT_EQ(p.serialize(), kSample);
    EXPECT_EQ(p.getString("main", "NAME"), "Paloma"); // first section, first key
    EXPECT_EQ(p.getString("Main", "quoted"), "  spaced  ");
    EXPECT_EQ(p.getString("Main", "flag"), "");
    EXPECT_EQ(p.getString("Main", "missing"), std::nullopt);
    EXPECT_EQ(p.getString("Nowhere", "Name"), std::nullopt);
    EXPECT_EQ(p.getString("", "top"), "level");
    // "[broken" has no "]": an ordinary line of section Other.
    EXPECT_EQ(p.getString("other", "[broken"), "");
    EXPECT_EQ(p.getInt("Main", "count"), 42);
    EXPECT_EQ(p.getInt("Main", "hex"), 31);
    EXPECT_EQ(p.getInt("Main", "neg"), -7);
    EXPECT_EQ(p.getInt("Main", "Name"), 0);
    EXPECT_EQ(p.getInt("Main", "absent"), 0);
    EXPECT_EQ(p.getSection("MAIN"), (std::vector<std::string>{"Name=Paloma", "quoted=\"  spaced  \"", "count=42xyz",
                                                              "hex=0x1F", "neg=-7", "flag"}));
    EXPECT_EQ(p.getSection("Other"), (std::vector<std::string>{"k=v", "[broken", "=empty key"}));
    EXPECT_EQ(p.getSectionNames(), (std::vector<std::string>{"Main", "Other", "Main"}));
}

TEST(ProfileFile, EditsKeepOtherLinesByteForByte) {
    ProfileFile p = ProfileFile::parse(kSample);
    p.writeString("MAIN", "name", "Quill");
    p.writeString("Other", "new", "1");
    p.writeString("Fresh", "a", "b");
    std::string out = p.serialize();
    EXPECT_NE(out.find("Name=Quill\r\n"), std::string::npos);
    // The new entry follows the section's last non-blank line.
    EXPECT_NE(out.find("=empty key\nnew=1\r\n\n[Main]"), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 14), "[Fresh]\r\na=b\r\n");
    EXPECT_NE(out.find("; settings\r\ntop=level\r\n[Main]\r\n"), std::string::npos);
    EXPECT_NE(out.find("quoted=\"  spaced  \"\r\ncount= 42xyz\r\n"), std::string::npos);

    EXPECT_TRUE(p.deleteKey("main", "COUNT"));
    EXPECT_FALSE(p.deleteKey("main", "count"));
    EXPECT_TRUE(p.deleteSection("other"));
    EXPECT_FALSE(p.deleteSection("other"));
    EXPECT_EQ(p.getSectionNames(), (std::vector<std::string>{"Main", "Main", "Fresh"}));
    p.writeSection("Main", {"x=1", "y=2"});
    EXPECT_EQ(p.getSection("Main"), (std::vector<std::string>{"x=1", "y=2"}));
    EXPECT_EQ(p.getString("", "top"), "level");
    EXPECT_EQ(ProfileFile::parse(p.serialize()).getSection("Main"), p.getSection("Main"));
}

TEST(ProfileFile, WritesIntoFilesWithoutFinalLineEnd) {
    ProfileFile p = ProfileFile::parse("[s]\nk=v");
    p.writeString("s", "k", "w");
    EXPECT_EQ(p.serialize(), "[s]\nk=w");
    p.writeString("s", "j", "1");
    EXPECT_EQ(p.serialize(), "[s]\nk=w\r\nj=1\r\n");
    ProfileFile q = ProfileFile::parse("[a]");
    q.writeString("b", "k", "v");
    EXPECT_EQ(q.serialize(), "[a]\r\n[b]\r\nk=v\r\n");
    ProfileFile bom = ProfileFile::parse("\xEF\xBB\xBF[s]\r\nk=v\r\n");
    EXPECT_EQ(bom.getString("s", "k"), "v");
}

TEST(ProfileFile, FilesOnDiskAreReadAnewAndWrittenOnlyOnChange) {
    auto dir = std::filesystem::temp_directory_path() /
               ("paloma-profile-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    auto path = dir / "app.ini";
    EXPECT_EQ(loadProfile(path).getSectionNames().size(), 0u); // missing file reads as empty
    EXPECT_TRUE(updateProfile(path, [](ProfileFile& p) { p.deleteKey("s", "k"); }));
    EXPECT_FALSE(std::filesystem::exists(path)); // nothing changed, nothing written
    EXPECT_TRUE(updateProfile(path, [](ProfileFile& p) { p.writeString("s", "k", "v"); }));
    EXPECT_EQ(loadProfile(path).getString("s", "k"), "v");
    {
        std::ifstream in(path, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "[s]\r\nk=v\r\n");
    }
    EXPECT_FALSE(updateProfile(dir / "no" / "such.ini", [](ProfileFile& p) { p.writeString("s", "k", "v"); }));
    // Something that exists but cannot be read as a file is never replaced.
    std::filesystem::create_directories(dir / "folder.ini" / "inside");
    EXPECT_FALSE(updateProfile(dir / "folder.ini", [](ProfileFile& p) { p.writeString("s", "k", "v"); }));
    EXPECT_TRUE(std::filesystem::exists(dir / "folder.ini" / "inside"));
    std::filesystem::remove_all(dir);
}

} // namespace
} // namespace paloma::host
