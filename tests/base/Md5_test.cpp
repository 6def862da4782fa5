// MD5 against the test suite of RFC 1321, fed whole and in pieces.
#include "base/Md5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

using namespace paloma;

namespace {

std::string hex(const Md5Digest& d) {
    std::string out;
    char buf[3];
    for (uint8_t b : d) {
        std::snprintf(buf, sizeof buf, "%02x", b);
        out += buf;
    }
    return out;
}

std::span<const uint8_t> bytesOf(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

struct Vector {
    const char* text;
    const char* digest;
};

constexpr Vector kRfcSuite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

} // namespace

TEST(Md5, PublishedVectors) {
    for (const Vector& v : kRfcSuite)
        EXPECT_EQ(hex(Md5::of(bytesOf(v.text))), v.digest) << '"' << v.text << '"';
}

TEST(Md5, PiecewiseUpdatesMatchOneCall) {
    // Lengths around the 55/56/64-byte padding boundaries and split points
    // that straddle a block.
    for (size_t len : {55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 200u}) {
        std::string text;
        for (size_t i = 0; i < len; ++i)
            text.push_back(char('a' + i * 7 % 26));
        Md5Digest whole = Md5::of(bytesOf(text));
        for (size_t split : {size_t(1), size_t(13), len / 2, len - 1}) {
            Md5 md5;
            md5.update(bytesOf(text).first(split));
            md5.update(bytesOf(text).subspan(split));
            EXPECT_EQ(md5.finish(), whole) << len << '/' << split;
        }
    }
}

TEST(Md5, MillionAs) {
    std::string chunk(1000, 'a');
    Md5 md5;
    for (int i = 0; i < 1000; ++i)
        md5.update(bytesOf(chunk));
    EXPECT_EQ(hex(md5.finish()), "7707d6ae4e027c70eea2a935c2296f21");
}
