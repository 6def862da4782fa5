// Blowfish against the published test vectors and Base64 against RFC 4648.
#include "base/Base64.h"
#include "base/Blowfish.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace paloma {
namespace {

std::vector<uint8_t> hex(const std::string& text) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(uint8_t(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

BlowfishBlock block(const std::string& text) {
    BlowfishBlock b{};
    auto bytes = hex(text);
    std::copy(bytes.begin(), bytes.end(), b.begin());
    return b;
}

TEST(Blowfish, PublishedVectors) {
    struct Vector {
        const char* key;
        const char* plain;
        const char* cipher;
    } vectors[] = {
        {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
        {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
        {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
        {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
        {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
        {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
        // A 24-byte key: the schedule cycles any length up to 56 bytes.
        {"F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677", "FEDCBA9876543210", "05044B62FA52D080"},
    };
    for (const auto& v : vectors) {
        Blowfish cipher(hex(v.key));
        EXPECT_EQ(cipher.encrypt(block(v.plain)), block(v.cipher)) << v.key;
        EXPECT_EQ(cipher.decrypt(block(v.cipher)), block(v.plain)) << v.key;
    }
}

TEST(Blowfish, BlocksInPlaceMatchSingleBlocks) {
    Blowfish cipher(hex("0123456789ABCDEF"));
    std::vector<uint8_t> data(64);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = uint8_t(i * 7);
    auto original = data;
    cipher.encryptBlocks(data);
    for (size_t at = 0; at < data.size(); at += 8) {
        BlowfishBlock plain;
        std::copy_n(original.begin() + at, 8, plain.begin());
        BlowfishBlock expected = cipher.encrypt(plain);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), data.begin() + at));
    }
    cipher.decryptBlocks(data);
    EXPECT_EQ(data, original);
}

std::vector<uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }

TEST(Base64, Rfc4648VectorsBothWays) {
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},           {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
    };
    for (auto [plain, encoded] : vectors) {
        EXPECT_EQ(base64Encode(bytes(plain)), encoded);
        EXPECT_EQ(base64Decode(encoded), bytes(plain));
    }
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[i] = uint8_t(i);
    EXPECT_EQ(base64Decode(base64Encode(all)), all);
}

TEST(Base64, DecoderSkipsLineBreaksStopsAtPaddingAndCopiesStrangers) {
    EXPECT_EQ(base64Decode("Zm9v\r\nYmFy"), bytes("foobar"));
    EXPECT_EQ(base64Decode("Zm9v=YmFy"), bytes("foo"));
    // 'Z' 'm' give "f" with four bits left over; '*' is copied as it is.
    EXPECT_EQ(base64Decode("Zm*9v"), bytes("f*oo"));
    EXPECT_EQ(base64Decode("Z"), bytes(""));
}

} // namespace
} // namespace paloma
