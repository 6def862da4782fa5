// The identity record: digest, key split and forged records.
#include "app/Identity.h"

#include "base/TripleDes.h"

#include <gtest/gtest.h>

using namespace paloma;

TEST(Identity, DigestIsEncipheredMd5) {
    std::vector<uint8_t> bytes = {'a', 0, 'b', 0, 0, 0};
    Md5Digest digest = identityDigest(bytes);
    Md5Digest plain = Md5::of(bytes);
    TripleDes cipher(kIdentityKey);
    for (int half = 0; half < 2; ++half) {
        DesBlock block;
        std::copy_n(digest.begin() + 8 * half, 8, block.begin());
        DesBlock back = cipher.decrypt(block);
        EXPECT_TRUE(std::equal(back.begin(), back.end(), plain.begin() + 8 * half)) << half;
    }
    EXPECT_NE(digest, plain);
}

TEST(Identity, WriteThenReadSplitsKeyAndProfile) {
    auto record = writeIdentity(u"Some Author/Product\\V1.0");
    EXPECT_EQ(record.size(), 2 * 24 + 2 + 16 + 16u);
    auto id = readIdentity(record, u"app");
    ASSERT_TRUE(id);
    EXPECT_EQ(id->text, u"Some Author/Product\\V1.0");
    EXPECT_EQ(id->registryKey, u"Some Author");
    EXPECT_EQ(id->profileName, u"Product\\V1.0");

    auto noSlash = readIdentity(writeIdentity(u"KeyOnly"), u"paloma");
    ASSERT_TRUE(noSlash);
    EXPECT_EQ(noSlash->registryKey, u"KeyOnly");
    EXPECT_EQ(noSlash->profileName, u"paloma");

    auto twoSlashes = readIdentity(writeIdentity(u"a/b/c"), u"x");
    ASSERT_TRUE(twoSlashes);
    EXPECT_EQ(twoSlashes->registryKey, u"a");
    EXPECT_EQ(twoSlashes->profileName, u"b/c");
}

TEST(Identity, ForgedShortOrUnterminatedRecordsAreRefused) {
    auto record = writeIdentity(u"Key/Profile");
    for (size_t i = 0; i < record.size(); ++i) {
        auto forged = record;
        forged[i] ^= 0x01;
        EXPECT_FALSE(readIdentity(forged, u"x")) << "byte " << i;
    }
    EXPECT_FALSE(readIdentity({}, u"x"));
    EXPECT_FALSE(readIdentity(std::span(record).first(32), u"x"));
    // The empty text is 34 bytes: the smallest record there is.
    auto empty = writeIdentity(u"");
    EXPECT_EQ(empty.size(), 34u);
    EXPECT_TRUE(readIdentity(empty, u"x"));
    // A correctly signed record whose text has no NUL before the unused
    // bytes is refused rather than read past.
    std::vector<uint8_t> unterminated(2 + 16, 'A');
    Md5Digest d = identityDigest(unterminated);
    unterminated.insert(unterminated.end(), d.begin(), d.end());
    EXPECT_FALSE(readIdentity(unterminated, u"x"));
}
