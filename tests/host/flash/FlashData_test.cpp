// The FlashPlayer object's portable side: the binding and clip tables, the
// reading of movie variable texts, coordinates per scale mode and movie
// inspection.
#include "host/flash/FlashData.h"
#include "host/flash/RegionFile.h"

#include "tests/support/MovieBytes.h"

#include <gtest/gtest.h>

#include <fstream>

namespace paloma::host {
namespace {

TEST(BindingTable, BucketHashRunsOverLowerCaseUnits) {
    EXPECT_EQ(BindingTable::bucketOf(u"a"), 97u % 17);
    // "ab": h = 97, then (97 >> 7) ^ (97 >> 16) ^ 98 ^ (97 << 5) = 3138.
    EXPECT_EQ(BindingTable::bucketOf(u"ab"), 3138u % 17);
    EXPECT_EQ(BindingTable::bucketOf(u"AB"), BindingTable::bucketOf(u"ab"));
}

TEST(BindingTable, PathsImplyClipPathsCountedPerBinding) {
    BindingTable t;
    t.bind(u"a.b.c");
    t.bind(u"A.B.C"); // the same path: one entry
    EXPECT_EQ(t.size(), 1u);
    EXPECT_TRUE(t.isClip(u"a"));
    EXPECT_TRUE(t.isClip(u"a.b"));
    EXPECT_FALSE(t.isClip(u"a.b.c"));
    EXPECT_EQ(t.clipCount(u"a"), 1);
    t.bind(u"a.x");
    EXPECT_EQ(t.clipCount(u"a"), 2);
    ASSERT_NE(t.find(u"a.B.c"), nullptr);
    *t.find(u"a.b.c") = quill::Value::integer(5);
    EXPECT_EQ(t.find(u"A.b.C")->asInteger(), 5);

    t.unbind(u"A.b.c");
    EXPECT_EQ(t.find(u"a.b.c"), nullptr);
    EXPECT_FALSE(t.isClip(u"a.b"));
    EXPECT_TRUE(t.isClip(u"a")); // still implied by a.x
    t.unbind(u"a.b.c");          // not bound: nothing changes
    EXPECT_EQ(t.clipCount(u"a"), 1);
    t.bind(u".lead");            // a dot at the start makes no clip path
    EXPECT_FALSE(t.isClip(u""));
    t.clear();
    EXPECT_EQ(t.size(), 0u);
    EXPECT_FALSE(t.isClip(u"a"));
}

TEST(MovieText, ConvertsToTheValueItSpells) {
    auto engine = quill::createEngine();
    ASSERT_TRUE(engine);
    quill::Engine& e = *engine;
    EXPECT_TRUE(movieTextValue(e, u"true").asBoolean());
    EXPECT_TRUE(movieTextValue(e, u"false").isBoolean());
    EXPECT_TRUE(movieTextValue(e, u"undefined").isUndefined());
    EXPECT_EQ(movieTextValue(e, u"0x1F").asInteger(), 31);
    EXPECT_EQ(movieTextValue(e, u"-42").asInteger(), -42);
    EXPECT_DOUBLE_EQ(movieTextValue(e, u"2.5").asFloat(), 2.5);
    EXPECT_DOUBLE_EQ(movieTextValue(e, u"09").asFloat(), 9.0); // not octal: decimal
    quill::Value text = movieTextValue(e, u"12abc");
    ASSERT_TRUE(text.isString());
    EXPECT_EQ(quill::stringToWide(text.asString()), u"12abc");
    EXPECT_TRUE(movieTextValue(e, u"").isString());
}

TEST(MovieToWindow, FollowsTheScaleMode) {
    // 400 x 300 movie in an 800 x 400 client area.
    auto all = movieToWindow(0, 400, 300, 800, 400, 0, 400, 0, 300);
    ASSERT_TRUE(all);
    // s = min(2, 1.333) -> 533 x 400, centred horizontally.
    EXPECT_EQ(all->left, 133);
    EXPECT_EQ(all->right, 133 + 533);
    EXPECT_EQ(all->top, 0);
    EXPECT_EQ(all->bottom, 400);
    auto border = movieToWindow(1, 400, 300, 800, 400, 0, 400, 0, 300);
    ASSERT_TRUE(border); // s = 2 -> 800 x 600, 100 above and below
    EXPECT_EQ(border->top, -100);
    EXPECT_EQ(border->bottom, 500);
    auto exact = movieToWindow(2, 400, 300, 800, 400, 100, 200, 150, 300);
    ASSERT_TRUE(exact); // each axis on its own, no offsets
    EXPECT_EQ(exact->left, 200);
    EXPECT_EQ(exact->right, 400);
    EXPECT_EQ(exact->top, 200);
    EXPECT_EQ(exact->bottom, 400);
    auto none = movieToWindow(3, 400, 300, 800, 400, 10, 20, 10, 20);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->left, 210);
    EXPECT_EQ(none->top, 60);
    EXPECT_FALSE(movieToWindow(0, 0, 300, 800, 400, 0, 1, 0, 1));
    EXPECT_FALSE(movieToWindow(7, 400, 300, 800, 400, 0, 1, 0, 1));
    EXPECT_FALSE(movieToWindow(2, 400, 300, 800, 400, 1e300, 1, 0, 1));
}

TEST(MovieInfo, ReadsMoviesAndProjectorsAndRefusesTheRest) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / "paloma-movieinfo-test";
    fs::create_directories(dir);
    auto write = [&](const char* name, const std::vector<uint8_t>& bytes) {
        std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return dir / name;
    };
    auto movie = paloma::testing::movieBytes({.width = 320, .height = 240, .rate = 24.5, .frames = 7, .version = 9,
                                              .compressed = true});
    auto info = readMovieInfo(write("m.SWF", movie));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->xMax, 320 * 20);
    EXPECT_EQ(info->yMax, 240 * 20);
    EXPECT_EQ(info->rate, 24);
    EXPECT_EQ(info->frameCount, 7);
    EXPECT_EQ(info->version, 9);
    // The file length of the header: that of the uncompressed movie.
    auto plain = paloma::testing::movieBytes({.width = 320, .height = 240, .rate = 24.5, .frames = 7, .version = 9});
    EXPECT_EQ(info->size, plain.size());
    auto projected = readMovieInfo(write("p.exe", paloma::testing::projectorBytes(movie)));
    ASSERT_TRUE(projected);
    EXPECT_EQ(projected->frameCount, 7);

    EXPECT_FALSE(readMovieInfo(write("m.txt", movie)));
    EXPECT_FALSE(readMovieInfo(dir / "missing.swf"));
    EXPECT_FALSE(readMovieInfo(write("bad.swf", {'F', 'W', 'S'})));
    EXPECT_FALSE(readMovieInfo(write("bad.exe", {'M', 'Z', 0, 0, 0xFF, 0xFF, 0xFF, 0x7F})));
    auto broken = movie;
    for (size_t i = 8; i < broken.size(); ++i)
        broken[i] = 0xFF; // the body no longer inflates
    EXPECT_FALSE(readMovieInfo(write("broken.swf", broken)));
    fs::remove_all(dir);
}

TEST(RegionFile, ReadsRectanglesAndRefusesBadHeadersAndCounts) {
    auto region = [](std::vector<int32_t> fields) {
        std::vector<uint8_t> out;
        for (int32_t f : fields)
            for (int i = 0; i < 4; ++i)
                out.push_back(uint8_t(uint32_t(f) >> (8 * i)));
        return out;
    };
    auto rects = parseRegionData(region({32, 1, 3, 48, 0, 0, 9, 9, 0, 0, 5, 5, 2, 2, 2, 8, 1, 5, 9, 9}));
    ASSERT_TRUE(rects);
    ASSERT_EQ(rects->size(), 2u); // the empty one is dropped
    EXPECT_EQ((*rects)[1].left, 1);
    EXPECT_EQ((*rects)[1].bottom, 9);
    EXPECT_FALSE(parseRegionData(region({32, 1, 2, 0, 0, 0, 0, 0, 0, 0, 5, 5}))); // count beyond the bytes
    EXPECT_FALSE(parseRegionData(region({32, 2, 0, 0, 0, 0, 0, 0})));             // not rectangles
    EXPECT_FALSE(parseRegionData(region({32, 1, 1, 16, 0, 0, 0, 0, 5, 5, 1, 1}))); // inverted
    EXPECT_FALSE(parseRegionData({}));
}

} // namespace
} // namespace paloma::host
