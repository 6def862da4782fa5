// The package archive: finding it, lookup, extraction and hostile entries.
#include "app/Archive.h"

#include "app/ShellErrors.h"
#include "base/ByteWriter.h"
#include "base/Zlib.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

using namespace paloma;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }

ArchiveNode file(std::u16string name, const std::string& content) { return {std::move(name), false, bytesOf(content), {}}; }
ArchiveNode folder(std::u16string name, std::vector<ArchiveNode> children) {
    return {std::move(name), true, {}, std::move(children)};
}

std::string readText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device rd;
        dir_ = fs::temp_directory_path() / ("paloma_archive_" + std::to_string(rd()));
        fs::create_directories(dir_);
        root_ = dir_ / "_extra";
    }
    void TearDown() override { fs::remove_all(dir_); }

    // An executable stand-in followed by an archive of `entries`.
    std::vector<uint8_t> package(const std::vector<ArchiveNode>& entries) {
        std::vector<uint8_t> exe = bytesOf("MZ fake executable bytes");
        auto archive = writeArchive(entries);
        exe.insert(exe.end(), archive.begin(), archive.end());
        return exe;
    }

    std::vector<ArchiveNode> sampleTree() {
        return {file(u"movie.swf", "FWS movie"),
                folder(u"Data", {file(u"a.txt", "alpha"), folder(u"Sub", {file(u"b.bin", std::string(10000, 'b'))})}),
                folder(u"other", {file(u"c.txt", "gamma")})};
    }

    fs::path dir_, root_;
};

// Entry bytes with any name and size, for hostile archives.
void rawEntry(ByteWriter& w, uint32_t kind, std::u16string_view name, std::span<const uint8_t> content,
              std::optional<uint32_t> sizeField = std::nullopt) {
    w.u32(kind);
    w.string16(name);
    w.u32(sizeField.value_or(uint32_t(content.size())));
    w.bytes(content);
}

std::vector<uint8_t> fileContent(const std::string& text) {
    ByteWriter w;
    auto data = bytesOf(text);
    w.bytes(zlibCompress(data));
    w.u32(crc32Of(data));
    return w.take();
}

// A whole archive around raw group bytes.
std::vector<uint8_t> rawArchive(std::span<const uint8_t> group) {
    ByteWriter w;
    w.bytes(bytesOf(std::string("PAF\0", 4)));
    w.u32(1);
    w.string16(std::u16string_view(u"application")); // the group name matches in any case
    w.u32(uint32_t(group.size()));
    w.bytes(group);
    w.u32(uint32_t(w.size()));
    w.u32(1);
    return w.take();
}

} // namespace

TEST_F(ArchiveTest, FindsTheArchiveAndLooksUpWithEitherSeparator) {
    auto bytes = package(sampleTree());
    MemorySource source(bytes);
    Archive archive(source);
    ASSERT_TRUE(archive.open());
    auto b1 = archive.lookup(u"data\\sub\\B.BIN");
    auto b2 = archive.lookup(u"Data/Sub/b.bin");
    auto b3 = archive.lookup(u"/data//sub\\b.bin");
    ASSERT_TRUE(b1 && b2 && b3);
    EXPECT_EQ(b1->contentOffset, b2->contentOffset);
    EXPECT_EQ(b1->contentOffset, b3->contentOffset);
    EXPECT_EQ(b1->name, u"b.bin");
    EXPECT_TRUE(archive.lookup(u"DATA")->isFolder());
    EXPECT_TRUE(archive.lookup(u"")->isFolder());
    // c.txt lives only in a sibling folder: never found from Data.
    EXPECT_FALSE(archive.lookup(u"data\\c.txt"));
    EXPECT_FALSE(archive.lookup(u"data\\..\\other\\c.txt"));
    EXPECT_FALSE(archive.lookup(u"movie.swf\\x")); // nothing below a file
    EXPECT_TRUE(archive.lookup(u"other/c.txt"));
}

TEST_F(ArchiveTest, NoArchiveOrDamagedTrailer) {
    auto plain = bytesOf("MZ executable without archive........");
    plain.insert(plain.end(), 8, 0);
    MemorySource none(plain);
    EXPECT_FALSE(Archive(none).open());

    auto bytes = package(sampleTree());
    for (size_t cut = 1; cut < 40; ++cut) { // trailer or header damaged
        std::vector<uint8_t> shorter(bytes.begin(), bytes.end() - cut);
        MemorySource s(shorter);
        EXPECT_FALSE(Archive(s).open()) << cut;
    }
    auto badVersion = bytes;
    size_t start = bytes.size() - 8 - (bytes[bytes.size() - 8] | bytes[bytes.size() - 7] << 8);
    badVersion[start + 4] = 0;
    MemorySource v(badVersion);
    EXPECT_FALSE(Archive(v).open());
    auto badGroup = bytes;
    badGroup[start + 12] = 'X';
    MemorySource g(badGroup);
    EXPECT_FALSE(Archive(g).open());
}

TEST_F(ArchiveTest, ResolvesFilesFoldersAndTheWholeGroup) {
    auto bytes = package(sampleTree());
    MemorySource source(bytes);
    Archive archive(source);
    ASSERT_TRUE(archive.open());

    fs::path movie = archive.resolve(u"MOVIE.swf", root_);
    EXPECT_EQ(movie, root_ / "MOVIE.swf");
    EXPECT_EQ(readText(movie), "FWS movie");
    fs::path b = archive.resolve(u"data/sub/b.bin", root_);
    EXPECT_EQ(readText(b), std::string(10000, 'b'));
    EXPECT_EQ(archive.resolve(u"data\\sub\\b.bin", root_), b);

    fs::path data = archive.resolve(u"Data", root_);
    EXPECT_EQ(data, root_ / "Data" / "");
    EXPECT_EQ(readText(root_ / "Data" / "a.txt"), "alpha");
    EXPECT_EQ(readText(root_ / "Data" / "Sub" / "b.bin"), std::string(10000, 'b'));
    EXPECT_FALSE(fs::exists(root_ / "Data" / "c.txt"));

    EXPECT_EQ(archive.resolve(u"", root_), root_ / "");
    EXPECT_EQ(readText(root_ / "other" / "c.txt"), "gamma");
    EXPECT_TRUE(archive.resolve(u"missing.txt", root_).empty());
}

TEST_F(ArchiveTest, ExistingFilesAreReturnedUnchecked) {
    auto bytes = package(sampleTree());
    MemorySource source(bytes);
    Archive archive(source);
    ASSERT_TRUE(archive.open());
    fs::path movie = archive.resolve(u"movie.swf", root_);
    std::ofstream(movie, std::ios::binary) << "changed";
    EXPECT_EQ(archive.resolve(u"movie.swf", root_), movie);
    EXPECT_EQ(readText(movie), "changed");
}

TEST_F(ArchiveTest, CrcMismatchDeletesAndZlibErrorsThrow) {
    ByteWriter group;
    auto good = fileContent("checked content");
    ASSERT_GT(good.size(), 4u);
    auto badCrc = good;
    badCrc[good.size() - 1] ^= 0xFF;
    auto badStream = good;
    badStream[0] ^= 0x0F;
    rawEntry(group, 0, u"badcrc.txt", badCrc);
    rawEntry(group, 0, u"badstream.txt", badStream);
    rawEntry(group, 0, u"tiny.txt", std::vector<uint8_t>{1, 2}); // shorter than its CRC
    auto bytes = rawArchive(group.data());
    MemorySource source(bytes);
    Archive archive(source);
    ASSERT_TRUE(archive.open());
    EXPECT_TRUE(archive.resolve(u"badcrc.txt", root_).empty());
    EXPECT_FALSE(fs::exists(root_ / "badcrc.txt"));
    try {
        archive.resolve(u"badstream.txt", root_);
        ADD_FAILURE() << "no exception";
    } catch (const CZipException& e) {
        EXPECT_STREQ(e.what(), "The compress(uncompress) input data was corrupted");
    }
    EXPECT_FALSE(fs::exists(root_ / "badstream.txt"));
    EXPECT_TRUE(archive.resolve(u"tiny.txt", root_).empty());
}

TEST_F(ArchiveTest, HostileNamesAreNeverExtracted) {
    ByteWriter group;
    auto content = fileContent("evil");
    for (std::u16string_view name : {u"..", u".", u"...", u"../escape.txt", u"..\\escape.txt", u"C:escape.txt",
                                     u"\\rooted.txt", u"/rooted.txt", u""})
        rawEntry(group, 0, name, content);
    ByteWriter sub;
    rawEntry(sub, 0, u"..", content);
    rawEntry(sub, 0, u"ok.txt", fileContent("fine"));
    rawEntry(group, 1, u"..", sub.data()); // a folder named ".." too
    rawEntry(group, 1, u"inner", sub.data());
    auto bytes = rawArchive(group.data());
    MemorySource source(bytes);
    Archive archive(source);
    ASSERT_TRUE(archive.open());
    EXPECT_FALSE(archive.lookup(u".."));
    EXPECT_FALSE(archive.lookup(u"..\\escape.txt"));
    EXPECT_TRUE(archive.resolve(u"../escape.txt", root_).empty());
    EXPECT_EQ(archive.resolve(u"", root_), root_ / "");
    EXPECT_EQ(readText(root_ / "inner" / "ok.txt"), "fine");
    // Nothing appeared outside the extraction folder, and inside it only
    // the safe folder.
    std::vector<fs::path> outside;
    for (const auto& item : fs::directory_iterator(dir_))
        outside.push_back(item.path().filename());
    EXPECT_EQ(outside, std::vector<fs::path>{"_extra"});
    std::vector<fs::path> inside;
    for (const auto& item : fs::recursive_directory_iterator(root_))
        inside.push_back(fs::relative(item.path(), root_));
    std::sort(inside.begin(), inside.end());
    EXPECT_EQ(inside, (std::vector<fs::path>{"inner", fs::path("inner") / "ok.txt"}));
}

TEST_F(ArchiveTest, FolderExtractionCountsEveryHeaderByte) {
    // Folder A holds x.txt; its sibling sib.txt follows it in the group.
    // Counting only the size fields and contents would leave A's header
    // bytes "remaining" and carry extraction on into sib.txt.
    ByteWriter inner;
    rawEntry(inner, 0, u"x.txt", fileContent("x"));
    ByteWriter group;
    rawEntry(group, 1, u"A", inner.data());
    rawEntry(group, 0, u"sib.txt", fileContent("sibling"));
    auto bytes = rawArchive(group.data());
    MemorySource source(bytes);
    Archive archive(source);
    ASSERT_TRUE(archive.open());
    EXPECT_EQ(archive.resolve(u"A", root_), root_ / "A" / "");
    EXPECT_EQ(readText(root_ / "A" / "x.txt"), "x");
    EXPECT_FALSE(fs::exists(root_ / "A" / "sib.txt"));
    EXPECT_FALSE(fs::exists(root_ / "sib.txt"));

    // A folder whose size field claims more than its parent holds is cut
    // off at the parent's end and never read past it.
    ByteWriter liar;
    rawEntry(liar, 1, u"B", inner.data(), 5000);
    auto lying = rawArchive(liar.data());
    MemorySource s2(lying);
    Archive a2(s2);
    ASSERT_TRUE(a2.open());
    EXPECT_FALSE(a2.lookup(u"B"));
    EXPECT_EQ(a2.resolve(u"", root_ / "2"), root_ / "2" / "");
    EXPECT_FALSE(fs::exists(root_ / "2" / "B"));
}

TEST_F(ArchiveTest, ListingAndFallbackBesideTheExecutable) {
    auto bytes = package(sampleTree());
    MemorySource source(bytes);
    Archive archive(source);
    ASSERT_TRUE(archive.open());
    auto tree = archive.list();
    ASSERT_EQ(tree.size(), 3u);
    EXPECT_EQ(tree[1].entry.name, u"Data");
    ASSERT_EQ(tree[1].children.size(), 2u);
    EXPECT_EQ(tree[1].children[1].children[0].entry.name, u"b.bin");

    fs::path exeDir = dir_ / "exe";
    fs::create_directories(exeDir / "sub");
    std::ofstream(exeDir / "sub" / "beside.txt") << "beside";
    auto plain = bytesOf("MZ no archive");
    plain.insert(plain.end(), 8, 0);
    MemorySource none(plain);
    EXPECT_EQ(resolveArchivePath(none, u"\\sub\\beside.txt", root_, exeDir), exeDir / "sub" / "beside.txt");
    EXPECT_EQ(resolveArchivePath(none, u"sub/beside.txt", root_, exeDir), exeDir / "sub" / "beside.txt");
    EXPECT_TRUE(resolveArchivePath(none, u"nothing.txt", root_, exeDir).empty());
    // The empty path is the executable's folder.
    EXPECT_EQ(resolveArchivePath(none, u"", root_, exeDir), exeDir / "");
    EXPECT_EQ(resolveArchivePath(none, u"\\", root_, exeDir), exeDir / "");
    EXPECT_TRUE(resolveArchivePath(none, u"", root_, fs::path()).empty());
    EXPECT_EQ(readText(resolveArchivePath(source, u"other/c.txt", root_, exeDir)), "gamma");
}

TEST_F(ArchiveTest, TruncatedAndMangledArchivesNeverCrash) {
    auto bytes = package(sampleTree());
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        auto mangled = bytes;
        for (int k = 0; k < 4; ++k)
            mangled[rng() % mangled.size()] = uint8_t(rng());
        MemorySource s(mangled);
        Archive a(s);
        if (!a.open())
            continue;
        a.list();
        a.lookup(u"data/sub/b.bin");
        try {
            a.resolve(u"", root_ / std::to_string(round));
        } catch (const CZipException&) {
        }
    }
    SUCCEED();
}

TEST_F(ArchiveTest, NodesFromDisk) {
    fs::create_directories(dir_ / "tree" / "inner");
    std::ofstream(dir_ / "tree" / "one.txt") << "1";
    std::ofstream(dir_ / "tree" / "inner" / "two.txt") << "22";
    auto node = archiveNodeFromDisk(dir_ / "tree");
    ASSERT_TRUE(node);
    EXPECT_TRUE(node->folder);
    EXPECT_EQ(node->name, u"tree");
    ASSERT_EQ(node->children.size(), 2u);
    EXPECT_EQ(node->children[0].name, u"inner");
    EXPECT_EQ(node->children[1].content, bytesOf("1"));
    std::string error;
    EXPECT_FALSE(archiveNodeFromDisk(dir_ / "absent", &error));
    EXPECT_NE(error.find("absent"), std::string::npos);
}
