// Movie headers, plain and compressed, and movies appended to projectors.
#include "app/MovieHeader.h"
#include "tests/support/MovieBytes.h"

#include <gtest/gtest.h>

using namespace paloma;
using paloma::testing::MovieSpec;
using paloma::testing::movieBytes;
using paloma::testing::projectorBytes;

TEST(MovieHeader, ReadsPlainAndCompressedHeaders) {
    for (bool compressed : {false, true}) {
        MovieSpec spec;
        spec.width = 640;
        spec.height = 480;
        spec.rate = 24.5;
        spec.frames = 300;
        spec.version = 9;
        spec.compressed = compressed;
        std::vector<uint8_t> bytes = movieBytes(spec);
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
    MovieSpec spec;
    spec.width = 100;
    spec.height = 1;
    spec.xOrigin = -2000;
    auto header = readMovieHeader(movieBytes(spec));
    ASSERT_TRUE(header);
    EXPECT_EQ(header->xMin, -2000);
    EXPECT_EQ(header->xMax, 0);
    EXPECT_EQ(header->width(), 100);
    EXPECT_EQ(header->height(), 1);
}

TEST(MovieHeader, RejectsWrongSignatureAndTruncation) {
    std::vector<uint8_t> bytes = movieBytes(MovieSpec{});
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
    MovieSpec spec;
    spec.compressed = true;
    std::vector<uint8_t> bytes = movieBytes(spec);
    std::vector<uint8_t> garbage(bytes.begin(), bytes.begin() + 8);
    garbage.insert(garbage.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_FALSE(readMovieHeader(garbage));
    EXPECT_FALSE(readMovieHeader(std::span<const uint8_t>(bytes.data(), 10)));
    EXPECT_TRUE(readMovieHeader(bytes));
}

TEST(MovieHeader, FindsMovieAppendedToProjector) {
    MovieSpec spec;
    spec.width = 320;
    spec.compressed = true;
    std::vector<uint8_t> movie = movieBytes(spec);
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
    std::vector<uint8_t> movie = movieBytes(MovieSpec{});
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
