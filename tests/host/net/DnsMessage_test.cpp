#include <gtest/gtest.h>

#include "host/net/DnsMessage.h"

using namespace paloma::host::net;

namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values)
        out.push_back(static_cast<char>(v));
    return out;
}

// A reply to mxQuery("example.test", 0x1234): the question, a CNAME record,
// then two MX records whose names point back into the message.
std::string sampleReply() {
    std::string query = mxQuery("example.test", 0x1234);
    std::string reply = query;
    reply[2] = static_cast<char>(0x81); // response, recursion desired
    reply[3] = static_cast<char>(0x80); // recursion available, no error
    reply[7] = 3;                       // three answers
    // CNAME: owner -> offset 12, type 5, class 1, ttl, rdata "a" + pointer.
    reply += bytes({0xC0, 12, 0, 5, 0, 1, 0, 0, 0, 60, 0, 4, 1, 'a', 0xC0, 12});
    // MX 20 mx2.<example.test>
    reply += bytes({0xC0, 12, 0, 15, 0, 1, 0, 0, 0, 60, 0, 8, 0, 20, 3, 'm', 'x', '2', 0xC0, 12});
    // MX 10 mx1.<example.test>
    reply += bytes({0xC0, 12, 0, 15, 0, 1, 0, 0, 0, 60, 0, 8, 0, 10, 3, 'm', 'x', '1', 0xC0, 12});
    return reply;
}

} // namespace

TEST(DnsMessage, QueryAsksForMxRecordsWithRecursion) {
    EXPECT_EQ(mxQuery("example.test.", 0xBEEF),
              bytes({0xBE, 0xEF, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 7, 'e', 'x', 'a', 'm', 'p', 'l', 'e', 4, 't', 'e', 's',
                     't', 0, 0, 15, 0, 1}));
    EXPECT_EQ(mxQuery("", 1), "");
    EXPECT_EQ(mxQuery("a..b", 1), "");
    EXPECT_EQ(mxQuery(std::string(64, 'x') + ".test", 1), "");
    EXPECT_NE(mxQuery(std::string(63, 'x') + ".test", 1), "");
}

TEST(DnsMessage, ReplyGivesMxRecordsInAnswerOrder) {
    auto records = readMxReply(sampleReply(), 0x1234);
    ASSERT_TRUE(records);
    ASSERT_EQ(records->size(), 2u);
    EXPECT_EQ((*records)[0].name, "mx2.example.test");
    EXPECT_EQ((*records)[0].preference, 20);
    EXPECT_EQ((*records)[1].name, "mx1.example.test");
    EXPECT_EQ((*records)[1].preference, 10);
    EXPECT_FALSE(readMxReply(sampleReply(), 0x1235)); // another query's reply
}

TEST(DnsMessage, BadRepliesFail) {
    std::string reply = sampleReply();
    for (size_t cut = 0; cut < reply.size(); ++cut)
        EXPECT_FALSE(readMxReply(reply.substr(0, cut), 0x1234)) << cut;
    std::string failed = reply;
    failed[3] = static_cast<char>(0x83); // name error
    EXPECT_FALSE(readMxReply(failed, 0x1234));
    std::string loop = reply;
    loop[loop.size() - 1] = static_cast<char>(loop.size() - 2); // the last name points at itself
    EXPECT_FALSE(readMxReply(loop, 0x1234));
    std::string overrun = reply;
    overrun[overrun.size() - 9] = 40; // an MX record longer than its rdata
    EXPECT_FALSE(readMxReply(overrun, 0x1234));
}
