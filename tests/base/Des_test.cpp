// DES and Triple-DES against published test vectors.
#include "base/Des.h"
#include "base/TripleDes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace paloma;

namespace {

std::vector<uint8_t> unhex(const std::string& h) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < h.size(); i += 2)
        out.push_back(uint8_t(std::stoi(h.substr(i, 2), nullptr, 16)));
    return out;
}

DesBlock block(const std::string& h) {
    auto v = unhex(h);
    DesBlock b{};
    std::copy(v.begin(), v.end(), b.begin());
    return b;
}

Des desOf(const std::string& key) {
    auto k = unhex(key);
    return Des(std::span<const uint8_t, 8>(k.data(), 8));
}

TripleDes tdesOf(const std::string& key) {
    auto k = unhex(key);
    return TripleDes(std::span<const uint8_t, 24>(k.data(), 24));
}

} // namespace

TEST(Des, PublishedVectors) {
    struct {
        const char *key, *plain, *cipher;
    } const cases[] = {
        {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
        {"0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"}, // "Now is t"
        {"0101010101010101", "8000000000000000", "95F8A5E5DD31D900"}, // variable plaintext
        {"0101010101010101", "0000000000000001", "166B40B44ABA4BD6"},
        {"8001010101010101", "0000000000000000", "95A8D72813DAA94D"}, // variable key
    };
    for (const auto& c : cases) {
        Des des = desOf(c.key);
        EXPECT_EQ(des.encrypt(block(c.plain)), block(c.cipher)) << c.key << ' ' << c.plain;
        EXPECT_EQ(des.decrypt(block(c.cipher)), block(c.plain)) << c.key << ' ' << c.cipher;
    }
}

TEST(Des, ParityBitsOfTheKeyAreIgnored) {
    DesBlock plain = block("0123456789ABCDEF");
    EXPECT_EQ(desOf("133457799BBCDFF1").encrypt(plain), desOf("123456789ABCDEF0").encrypt(plain));
}

TEST(TripleDes, PublishedThreeKeyExample) {
    TripleDes tdes = tdesOf("0123456789ABCDEF23456789ABCDEF01456789ABCDEF0123");
    const std::string plain = "The qufck brown fox jump";
    const std::string cipher = "A826FD8CE53B855FCCE21C8112256FE668D5C05DD9B6B900";
    for (int i = 0; i < 3; ++i) {
        DesBlock p{};
        std::copy(plain.begin() + 8 * i, plain.begin() + 8 * i + 8, p.begin());
        DesBlock c = block(cipher.substr(16 * i, 16));
        EXPECT_EQ(tdes.encrypt(p), c) << i;
        EXPECT_EQ(tdes.decrypt(c), p) << i;
    }
}

TEST(TripleDes, EqualKeysGiveSingleDes) {
    TripleDes tdes = tdesOf("133457799BBCDFF1133457799BBCDFF1133457799BBCDFF1");
    EXPECT_EQ(tdes.encrypt(block("0123456789ABCDEF")), block("85E813540F0AB405"));
}
