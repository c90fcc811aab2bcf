// Behaviours that replace or disturb the module's answer: their bytes, their timing, how they are
// matched and counted, and that the board keeps reading while it delivers.
#include <thread>

#include "tests/sim/board_fixture.h"

namespace karvex::simtest {
namespace {

using Kind = sim::Behaviour::Kind;

struct Case {
    const char* name;
    sim::Behaviour behaviour;
    std::string expect;  // for "AT+CSQ\r" with echo on
};

const Case kCases[] = {
    {"Reply", {.kind = Kind::Reply, .reply = "\r\n+CSQ: 99,99\r\n"}, "AT+CSQ\r\r\n+CSQ: 99,99\r\n"},
    {"Silent", {.kind = Kind::Silent}, "AT+CSQ\r"},
    {"Error", {.kind = Kind::Error}, "AT+CSQ\r\r\nERROR\r\n"},
    {"OkAndError", {.kind = Kind::OkAndError}, "AT+CSQ\r\r\nOK ERROR\r\n"},
    {"NormalWithExtras",
     {.kind = Kind::Normal, .before = "\r\n+KCNX_IND: 1,1\r\n", .after = "\x01garbage"},
     "AT+CSQ\r\r\n+KCNX_IND: 1,1\r\n\r\n+CSQ: 18,99\r\n\r\nOK\r\n\x01garbage"},
    {"ReplyWithExtras",
     {.kind = Kind::Reply, .reply = "X", .before = "B", .after = "A"},
     "AT+CSQ\rBXA"},
};

class Behaviours : public BoardTest, public ::testing::WithParamInterface<Case> {};

TEST_P(Behaviours, ReplaceTheAnswerInOneWrite) {
    board.SetBehaviour("AT+CSQ", GetParam().behaviour);
    EXPECT_EQ(Exchange("AT+CSQ\r", GetParam().expect), GetParam().expect);
    const auto sent = board.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes, GetParam().expect);
    // Other commands keep their normal answer.
    EXPECT_EQ(Exchange("AT\r", 9), "AT\r\r\nOK\r\n");
}

INSTANTIATE_TEST_SUITE_P(Board, Behaviours, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BoardTest, ReplacedAnswerLeavesStateAlone) {
    board.SetBehaviour("ATE0", {.kind = Kind::Error});
    EXPECT_EQ(Exchange("ATE0\r", 14), "ATE0\r\r\nERROR\r\n");
    EXPECT_TRUE(board.Echo());
    // A message text whose answer is replaced is not sent either, and text entry ends.
    Exchange("AT+CMGF=1\r", 16);
    Exchange("AT+CMGS=\"" + board.OwnNumber() + "\"\r", 26);
    board.SetBehaviour("TEST", {.kind = Kind::Silent});
    EXPECT_EQ(Exchange("TEST SMS 1\x1A\r", 10), "TEST SMS 1");
    EXPECT_EQ(board.StoredMessages(), 0u);
    EXPECT_EQ(Exchange("AT\r", 9), "AT\r\r\nOK\r\n");
}

TEST_F(BoardTest, LongestPrefixWinsAndTimesCountDown) {
    EchoOff();
    board.SetBehaviour("AT+C", {.kind = Kind::Error});
    board.SetBehaviour("AT+CSQ", {.kind = Kind::Reply, .reply = "R", .times = 2});
    EXPECT_EQ(Exchange("AT+CSQ\r", 1), "R");
    EXPECT_EQ(Exchange("AT+CGMR\r", 9), "\r\nERROR\r\n");
    EXPECT_EQ(Exchange("AT+CSQ\r", 1), "R");
    // Used up: the shorter prefix applies now.
    EXPECT_EQ(Exchange("AT+CSQ\r", 9), "\r\nERROR\r\n");
    EXPECT_EQ(Exchange("AT\r", 6), "\r\nOK\r\n");
    board.ClearBehaviours();
    EXPECT_EQ(Exchange("AT+CSQ\r", 21), "\r\n+CSQ: 18,99\r\n\r\nOK\r\n");
}

TEST_F(BoardTest, DelayedAnswerStartsLateAndComesWhole) {
    EchoOff();
    board.SetBehaviour("AT+CSQ", {.delay = Ms(300)});
    const auto sentAt = Steady::now();
    ASSERT_TRUE(device->Write("AT+CSQ\r"));
    EXPECT_EQ(device->ReadCount(21, Ms(3000)), "\r\n+CSQ: 18,99\r\n\r\nOK\r\n");
    const long long ms = MsSince(sentAt);
    EXPECT_GE(ms, 295);
    EXPECT_LT(ms, 2000);
    ASSERT_EQ(board.Sent().size(), 2u);  // the ATE0 answer, then this one in one write
    EXPECT_EQ(board.Sent()[1].bytes, "\r\n+CSQ: 18,99\r\n\r\nOK\r\n");
}

TEST_F(BoardTest, SlowDeliveryWritesEachByteApart) {
    EchoOff();
    board.ClearRecords();
    board.SetBehaviour("AT", {.perByte = Ms(20)});
    const auto sentAt = Steady::now();
    ASSERT_TRUE(device->Write("AT\r"));
    EXPECT_EQ(device->ReadCount(6, Ms(3000)), "\r\nOK\r\n");
    EXPECT_GE(MsSince(sentAt), 5 * 20 - 2);
    const auto sent = board.Sent();
    ASSERT_EQ(sent.size(), 6u);
    for (size_t i = 1; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i].bytes.size(), 1u);
        EXPECT_GE(sent[i].at - sent[i - 1].at, Ms(19)) << "byte " << i;
    }
}

// A slow answer holds the line: the board records what arrives meanwhile, answers it only after
// the slow answer has gone out, and never mixes the two.
TEST_F(BoardTest, KeepsReadingWhileDeliveringSlowly) {
    EchoOff();
    const std::string slow = "\r\n+CSQ: 18,99\r\n\r\nOK\r\n";
    board.SetBehaviour("AT+CSQ", {.perByte = Ms(15)});
    ASSERT_TRUE(device->Write("AT+CSQ\r"));
    ASSERT_EQ(device->ReadCount(3, Ms(2000)), slow.substr(0, 3));
    ASSERT_TRUE(device->Write("AT\r"));
    // Recorded at once, long before the slow answer is through (about 330 ms).
    ASSERT_TRUE(board.WaitForCommands(3, Ms(150)));
    EXPECT_EQ(board.Commands().back().text, "AT");
    EXPECT_EQ(device->ReadCount(slow.size() - 3 + 6, Ms(3000)), slow.substr(3) + "\r\nOK\r\n");
}

TEST_F(BoardTest, UnsolicitedSendArrives) {
    board.Send("\r\nRING\r\n");
    EXPECT_EQ(device->ReadCount(8, Ms(2000)), "\r\nRING\r\n");
}

// Not reading: the program's writes fill the device's buffers and then block; reading again
// takes in every byte.
TEST_F(BoardTest, NotReadingFillsTheBuffer) {
    board.SetReading(false);  // in force once it returns
    const std::string block(1024, 'x');
    size_t written = 0;
    for (int i = 0; i < 1024; ++i) {
        const ssize_t n = ::write(device->fd(), block.data(), block.size());
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, 1024u * 1024u) << "the writes never blocked";
    EXPECT_EQ(board.Received().size(), 0u);
    board.SetReading(true);
    const auto deadline = Steady::now() + Ms(3000);
    while (board.Received().size() < written && Steady::now() < deadline) {
        board.WaitForReceived(std::string(1, '\xff'), Ms(20));  // wakes on every arrival
    }
    EXPECT_EQ(board.Received(), std::string(written, 'x'));
}

}  // namespace
}  // namespace karvex::simtest
