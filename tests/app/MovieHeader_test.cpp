// Movie headers, plain and compressed, and movies appended to projectors.
#include "app/MovieHeader.h"
#include "tests/support/MovieBytes.h"

#include <gtest/gtest.h>

using namespace paloma;
using paloma::testing::MovieShape;
using paloma::testing::movieBytes;
using paloma::testing::projectorBytes;

TEST(MovieHeader, ReadsPlainAndCompressedHeaders) {
    for (bool compressed : {false, true}) {
        MovieShape shape;
        shape.width = 640;
        shape.height = 480;
        shape.rate = 24.5;
        shape.frames = 300;
        shape.version = 9;
        shape.compressed = compressed;
        std::vector<uint8_t> bytes = movieBytes(shape);
        auto header = readMovieHeader(bytes);
        ASSERT_TRUE(header) << "compressed=" << compressed;
        EXPECT_EQ(header->compressed, compressed);
        EXPECT_EQ(header->version, 9);
        EXPECT_EQ(header->width(), 640);
        EXPECT_EQ(header->height(), 480);
        EXPECT_DOUBLE_EQ(header->framesPerSecond(), 24.5);
        EXPECT_EQ(header->frameCount, 300);
        EXPECT_GT(header->fileLength, 8u);
    }
}

TEST(MovieHeader, RectangleFieldsAreSignedAndWidthIsTheDifference) {
    MovieShape shape;
    shape.width = 100;
    shape.height = 1;
    shape.xOrigin = -2000;
    auto header = readMovieHeader(movieBytes(shape));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->xMin, -2000);
    EXPECT_EQ(header->xMax, 0);
    EXPECT_EQ(header->width(), 100);
    EXPECT_EQ(header->height(), 1);
}

TEST(MovieHeader, RejectsWrongSignatureAndTruncation) {
    std::vector<uint8_t> bytes = movieBytes(MovieShape{});
    EXPECT_FALSE(hasMovieSignature(std::span<const uint8_t>(bytes.data(), 2)));
    std::vector<uint8_t> wrong = bytes;
    wrong[0] = 'Z';
    EXPECT_FALSE(readMovieHeader(wrong));
    // Every cut before the frame count's last byte fails instead of reading on.
    auto full = readMovieHeader(bytes);
    ASSERT_TRUE(full);
    for (size_t cut = 0; cut < bytes.size() - 4; ++cut) {
        auto header = readMovieHeader(std::span<const uint8_t>(bytes.data(), cut));
        EXPECT_FALSE(header) << "cut at " << cut;
    }
}

TEST(MovieHeader, CompressedGarbageAndShortStreamsFail) {
    MovieShape shape;
    shape.compressed = true;
    std::vector<uint8_t> bytes = movieBytes(shape);
    std::vector<uint8_t> garbage(bytes.begin(), bytes.begin() + 8);
    garbage.insert(garbage.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_FALSE(readMovieHeader(garbage));
    EXPECT_FALSE(readMovieHeader(std::span<const uint8_t>(bytes.data(), 10)));
    EXPECT_TRUE(readMovieHeader(bytes));
}

TEST(MovieHeader, FindsMovieAppendedToProjector) {
    MovieShape shape;
    shape.width = 320;
    shape.compressed = true;
    std::vector<uint8_t> movie = movieBytes(shape);
    std::vector<uint8_t> exe = projectorBytes(movie, 777);
    auto found = findAppendedMovie(exe);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->offset, 777u);
    EXPECT_EQ(found->length, movie.size());
    auto header = readMovieHeader(std::span<const uint8_t>(exe).subspan(found->offset, found->length));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->width(), 320);
}

TEST(MovieHeader, ProjectorTrailerIsBoundsChecked) {
    std::vector<uint8_t> movie = movieBytes(MovieShape{});
    std::vector<uint8_t> exe = projectorBytes(movie, 64);
    // A length that reaches before the start of the file.
    std::vector<uint8_t> tooLong = exe;
    tooLong[tooLong.size() - 1] = 0x7F;
    EXPECT_FALSE(findAppendedMovie(tooLong));
    // A length that points at bytes that are not a movie.
    std::vector<uint8_t> shifted = exe;
    shifted[shifted.size() - 4] = uint8_t(shifted[shifted.size() - 4] + 1);
    EXPECT_FALSE(findAppendedMovie(shifted));
    EXPECT_FALSE(findAppendedMovie(std::span<const uint8_t>(exe.data(), 7)));
    // A zero length finds nothing, and a plain file without a trailer neither.
    std::vector<uint8_t> zero(16, 0);
    EXPECT_FALSE(findAppendedMovie(zero));
    EXPECT_FALSE(findAppendedMovie(movie));
}
