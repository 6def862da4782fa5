// The Encryption object's core: key derivation, text ciphers with their
// framing, digests, and the encrypted-file format.
#include "host/crypto/EncryptionCore.h"

#include "base/Base64.h"
#include "base/Blowfish.h"
#include "base/Md5.h"
#include "base/TripleDes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

namespace paloma::host {
namespace {

namespace fs = std::filesystem;

std::string randomText(size_t n, std::mt19937& rng) {
    std::string s(n, '\0');
    for (char& c : s)
        c = char(1 + rng() % 255); // no zero byte: decoding cuts there
    return s;
}

TEST(EncryptionCore, FoldXorsShiftedThenReversedBytes) {
    EXPECT_EQ(foldPassword(""), FoldedKey{});
    // Bytes 0-7 shifted left into bytes 0-7; byte 8 (I = 01001001) bit-reversed
    // (10010010) into byte 7; byte 15 reversed and byte 16 shifted land in byte 0.
    EXPECT_EQ(foldPassword("ABCDEFGHI"), (FoldedKey{0x82, 0x84, 0x86, 0x88, 0x8A, 0x8C, 0x8E, 0x90 ^ 0x92}));
    FoldedKey seventeen = foldPassword("ABCDEFGHIJKLMNOPQ");
    EXPECT_EQ(seventeen[0], 0x82 ^ 0x0A ^ 0xA2); // A, P reversed (01010000 -> 00001010), Q
}

TEST(EncryptionCore, DerivedKeysHoldDigestsAndFold) {
    const std::string password = "secret password";
    Md5Digest digest = Md5::of({reinterpret_cast<const uint8_t*>(password.data()), password.size()});
    FoldedKey fold = foldPassword(password);

    BlowfishKey bf = deriveBlowfishKey(password);
    Md5Digest ofFold = Md5::of(fold);
    EXPECT_TRUE(std::equal(ofFold.begin(), ofFold.end(), bf.begin()));
    EXPECT_TRUE(std::equal(digest.begin(), digest.end(), bf.begin() + 16));
    EXPECT_FALSE(std::equal(digest.begin(), digest.end(), bf.begin() + 32)); // encrypted halves
    EXPECT_TRUE(std::equal(fold.begin(), fold.end(), bf.begin() + 48));

    TripleDesKey des = deriveTripleDesKey(password);
    for (size_t i = 0; i < 24; ++i) {
        uint8_t expected = i < 16 ? digest[i] : fold[i - 16];
        EXPECT_EQ(des[i] & 0xFE, expected & 0xFE) << i;
        EXPECT_EQ(__builtin_popcount(des[i]) % 2, 1) << i;
    }
}

TEST(EncryptionCore, TextCiphersRoundTripOddLengthsWithZeroPadding) {
    std::mt19937 rng(7);
    for (size_t n = 0; n <= 40; ++n) {
        std::string plain = randomText(n, rng);
        std::string bf = blowfishEncodeBytes("key", plain);
        std::string des = desEncodeBytes("key", plain);
        size_t cipherBytes = (n + 7) / 8 * 8;
        EXPECT_EQ(bf.size(), (cipherBytes + 2) / 3 * 4) << n;
        EXPECT_EQ(des.size(), bf.size()) << n;
        EXPECT_EQ(blowfishDecodeBytes("key", bf), plain) << n;
        EXPECT_EQ(desDecodeBytes("key", des), plain) << n;
        if (n > 0) {
            EXPECT_NE(blowfishDecodeBytes("other", bf), plain) << n;
        }
    }
    EXPECT_EQ(blowfishEncodeBytes("key", "123456789").size(), 24u);
    EXPECT_EQ(blowfishDecodeBytes("key", ""), "");
    // A zero byte inside the plaintext ends the decoded text there.
    EXPECT_EQ(blowfishDecodeBytes("key", blowfishEncodeBytes("key", std::string("ab\0cd", 5))), "ab");
}

TEST(EncryptionCore, CiphertextIsEcbUnderTheDerivedKeys) {
    std::vector<uint8_t> bytes = base64Decode(blowfishEncodeBytes("pw", "0123456789"));
    ASSERT_EQ(bytes.size(), 16u);
    Blowfish(deriveBlowfishKey("pw")).decryptBlocks(bytes);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string("0123456789\0\0\0\0\0\0", 16));

    bytes = base64Decode(desEncodeBytes("pw", "abcdefgh"));
    ASSERT_EQ(bytes.size(), 8u);
    DesBlock block;
    std::copy(bytes.begin(), bytes.end(), block.begin());
    block = TripleDes(deriveTripleDesKey("pw")).decrypt(block);
    EXPECT_EQ(std::string(block.begin(), block.end()), "abcdefgh");
}

TEST(EncryptionCore, ShortLastBlockOfCiphertextIsZeroPaddedBeforeDecryption) {
    std::string encoded = blowfishEncodeBytes("k", "0123456789abcdef"); // two blocks
    std::vector<uint8_t> bytes = base64Decode(encoded);
    bytes.resize(12); // the second block cut short
    std::string decoded = blowfishDecodeBytes("k", base64Encode(bytes));
    EXPECT_EQ(decoded.substr(0, 8), "01234567");
}

TEST(EncryptionCore, TextsPassThroughTheAnsiCodePage) {
    // U+00E9 is byte E9 in the ANSI code page; U+20AC (euro) is 80.
    EXPECT_EQ(md5Hex(u"caf\u00e9"), std::u16string(u"") + [] {
        std::string h = md5HexOfBytes("caf\xe9");
        return std::u16string(h.begin(), h.end());
    }());
    std::u16string text = u"\u20ac 12,50 caf\u00e9";
    std::u16string encoded = blowfishEncode(u"cl\u00e9", text);
    std::string bytes = blowfishEncodeBytes("cl\xe9", "\x80 12,50 caf\xe9");
    EXPECT_EQ(encoded, std::u16string(bytes.begin(), bytes.end()));
    EXPECT_EQ(blowfishDecode(u"cl\u00e9", encoded), text);
    EXPECT_EQ(desDecode(u"k", desEncode(u"k", text)), text);
}

TEST(EncryptionCore, Md5OfTextsMatchesTheDigestVectors) {
    EXPECT_EQ(md5HexOfBytes(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5HexOfBytes("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5Hex(u"message digest"), u"f96b697d7cb7938d525a2f31aaf161d0");
}

class EncryptionFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("paloma-crypto-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path write(const std::string& name, const std::string& bytes) {
        fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p;
    }
    static std::string read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path dir_;
};

TEST_F(EncryptionFiles, EncryptedFilesRoundTripEveryLength) {
    std::mt19937 rng(11);
    for (size_t n : {0, 1, 7, 8, 9, 4095, 4096, 4097, 10001}) {
        std::string plain(n, '\0');
        for (char& c : plain)
            c = char(rng()); // zero bytes included: files keep them
        fs::path source = write("plain.bin", plain);
        fs::path sealed = dir_ / "sealed.bin", opened = dir_ / "opened.bin";
        ASSERT_TRUE(encryptFile("file key", source, sealed)) << n;
        std::string cipher = read(sealed);
        ASSERT_EQ(cipher.size(), (n + 7) / 8 * 8 + 8) << n;
        uint64_t trailer = 0;
        for (int i = 7; i >= 0; --i)
            trailer = trailer << 8 | uint8_t(cipher[cipher.size() - 8 + i]);
        EXPECT_EQ(trailer, n);
        ASSERT_TRUE(decryptFile("file key", sealed, opened)) << n;
        EXPECT_EQ(read(opened), plain) << n;
    }
}

TEST_F(EncryptionFiles, FileFailuresAreFalseOrEmpty) {
    fs::path missing = dir_ / "missing.bin";
    EXPECT_FALSE(md5OfFile(missing));
    EXPECT_FALSE(encryptFile("k", missing, dir_ / "out"));
    EXPECT_FALSE(decryptFile("k", missing, dir_ / "out"));
    // Shorter than the trailer.
    EXPECT_FALSE(decryptFile("k", write("short.bin", "abc"), dir_ / "out"));
    // A destination in a folder that does not exist.
    EXPECT_FALSE(encryptFile("k", write("p.bin", "data"), dir_ / "no" / "such" / "out"));
    // Encrypting a file onto itself must not destroy it.
    fs::path self = write("self.bin", "precious");
    EXPECT_FALSE(encryptFile("k", self, self));
    EXPECT_FALSE(decryptFile("k", self, self));
    EXPECT_EQ(read(self), "precious");
}

TEST_F(EncryptionFiles, Md5OfFileMatchesTheTextDigest) {
    std::string content(10000, 'x');
    content += "tail";
    EXPECT_EQ(md5OfFile(write("d.bin", content)), md5Hex(std::u16string(content.begin(), content.end())));
    EXPECT_EQ(md5OfFile(write("e.bin", "")), u"d41d8cd98f00b204e9800998ecf8427e");
}

} // namespace
} // namespace paloma::host
