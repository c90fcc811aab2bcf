// The SMS store round trip: a message to the board's own number comes back as received, is read
// (and so marked read) and deleted; the network's answer comes after its delay.
#include "tests/sim/board_fixture.h"

namespace karvex::simtest {
namespace {

const std::string OK = "\r\nOK\r\n";

TEST_F(BoardTest, MessageToOwnNumberRoundTrip) {
    EchoOff();
    ASSERT_EQ(Exchange("AT+CCLK=\"26/03/07,09:05:40+36\"\r", OK), OK);
    ASSERT_EQ(Exchange("AT+CMGF=1\r", OK), OK);
    ASSERT_EQ(Exchange("AT+CMGS=\"" + board.OwnNumber() + "\"\r", 4), "\r\n> ");
    ASSERT_EQ(Exchange("TEST SMS 1\x1A\r", 18), "\r\n+CMGS: 1\r\n" + OK);
    EXPECT_EQ(board.StoredMessages(), 1u);
    const std::string cpms = "\r\n+CPMS: 1,30,1,30,1,30\r\n" + OK;
    EXPECT_EQ(Exchange("AT+CPMS=\"SM\"\r", cpms), cpms);

    // The stamp is the module's clock when the message arrived: the second may have moved on.
    const std::string head = "\r\n+CMGR: \"REC UNREAD\",\"+819012345678\",,\"26/03/07,09:05:";
    const std::string tail = "+36\"\r\nTEST SMS 1\r\n" + OK;
    std::string got = Exchange("AT+CMGR=1\r", head.size() + 2 + tail.size());
    ASSERT_EQ(got.size(), head.size() + 2 + tail.size()) << got;
    EXPECT_EQ(got.substr(0, head.size()), head);
    EXPECT_EQ(got.substr(head.size() + 2), tail);
    const std::string stamp = got.substr(head.size(), 2);
    EXPECT_TRUE(stamp == "40" || stamp == "41") << stamp;

    got = Exchange("AT+CMGR=1\r", head.size() + 2 + tail.size() - 2);  // "REC READ": 2 shorter
    EXPECT_EQ(got.find("\r\n+CMGR: \"REC READ\",\"+819012345678\",,\"26/03/07,09:05:"), 0u) << got;
    EXPECT_NE(got.find("\r\nTEST SMS 1\r\n\r\nOK\r\n"), std::string::npos) << got;

    EXPECT_EQ(Exchange("AT+CMGD=1\r", OK), OK);
    EXPECT_EQ(board.StoredMessages(), 0u);
    EXPECT_EQ(Exchange("AT+CMGR=1\r", 19), "\r\n+CMS ERROR: 321\r\n");
}

TEST_F(BoardTest, DeleteFlagsAndFullStore) {
    EchoOff();
    Exchange("AT+CMGF=1\r", OK);
    const std::string own = "AT+CMGS=\"+819012345678\"\r";  // the international form is own too
    for (int i = 0; i < 31; ++i) {  // one more than the store holds: the last is lost
        ASSERT_EQ(Ask(own, 4), "\r\n> ");
        const std::string reference = std::to_string(i + 1);
        ASSERT_EQ(Ask("m" + reference + "\x1A", 17 + reference.size()),
                  "\r\n+CMGS: " + reference + "\r\n" + OK);
    }
    EXPECT_EQ(board.StoredMessages(), 30u);
    Exchange("AT+CMGR=2\r", 0);  // read: the only read message
    EXPECT_EQ(Exchange("AT+CMGD=1,1\r", OK), OK);
    EXPECT_EQ(board.StoredMessages(), 29u);
    EXPECT_EQ(Exchange("AT+CMGR=2\r", 19), "\r\n+CMS ERROR: 321\r\n");
    EXPECT_EQ(Exchange("AT+CMGD=1,4\r", OK), OK);
    EXPECT_EQ(board.StoredMessages(), 0u);
}

TEST_F(BoardTest, NetworkAnswerComesAfterItsDelay) {
    board.SetNetworkDelay(Ms(300));
    EchoOff();
    Exchange("AT+CMGF=1\r", OK);
    Exchange("AT+CMGS=\"0311112222\"\r", 4);
    const auto sentAt = Steady::now();
    ASSERT_TRUE(device->Write("TEST SMS 1\x1A\r"));
    const std::string got = device->ReadUntil("OK\r\n", Ms(3000));
    const long long ms = MsSince(sentAt);
    EXPECT_EQ(got, "\r\n+CMGS: 1\r\n" + OK);
    EXPECT_GE(ms, 290);
    EXPECT_LT(ms, 2000);
    // The text up to and including the 0x1A is one command; the CR after it is none.
    ASSERT_TRUE(board.WaitForCommands(4, Ms(1000)));
    const auto commands = board.Commands();
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_EQ(commands.back().text, "TEST SMS 1\x1A");
}

}  // namespace
}  // namespace karvex::simtest
