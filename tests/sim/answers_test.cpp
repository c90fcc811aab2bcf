// The exact bytes the board answers, conversation by conversation, on a fresh board each.
#include <string>
#include <vector>

#include "tests/sim/board_fixture.h"

namespace karvex::simtest {
namespace {

struct Step {
    std::string send;
    std::string expect;  // everything that must arrive, deferred lines included, and no more
};
struct Conversation {
    const char* name;
    std::vector<Step> steps;
};

const std::string OK = "\r\nOK\r\n";
const std::string ERR = "\r\nERROR\r\n";
const std::string Ate0 = "ATE0\r";  // sent first where echo is not the subject

std::string Info(const std::string& line) {
    return "\r\n" + line + "\r\n" + OK;
}

const std::string kHttpGetAnswer =
    "\r\nCONNECT\r\n"
    "HTTP/1.1 200 OK\r\n"
    "Content-Type: text/plain\r\n"
    "Content-Length: 30\r\n"
    "Connection: close\r\n"
    "\r\n"
    "Sat Mar  7 09:05:30 2026 JST\r\n"
    "--EOF--Pattern--\r\nOK\r\n";

const Conversation kConversations[] = {
    {"EchoUntilAte0",
     {{"AT\r", "AT\r" + OK},
      {"AT+CSQ\r", "AT+CSQ\r" + Info("+CSQ: 18,99")},
      {"ATE0\r", "ATE0\r" + OK},
      {"AT\r", OK},
      {"ATE1\r", OK},
      {"AT\r", "AT\r" + OK}}},
    {"LineEnds",
     {{"AT\r\n", "AT\r" + OK},  // the LF after the CR is no command
      {"\r\r\n\n", ""},         // empty lines are ignored, not echoed
      {"at+csq\r", "at+csq\r" + Info("+CSQ: 18,99")},
      {"A", ""},  // a command in pieces is answered when its CR arrives
      {"T\r", "AT\r" + OK}}},
    {"Unknown",
     {{"AT+NOSUCH\r", "AT+NOSUCH\r" + ERR},
      {"HELLO\r", "HELLO\r" + ERR},
      {"AT+CSQ;+CGMR\r", "AT+CSQ;+CGMR\r" + ERR}}},
    {"Initialisation",
     {{Ate0, Ate0 + OK},
      {"AT+KSLEEP=2\r", OK},
      {"AT+GPSAUTOINIT=0\r", OK},
      {"AT&K0\r", OK},
      {"AT+CGATT=0\r", OK},
      {"AT+CGATT?\r", Info("+CGATT: 0")},
      {"AT+KCNXCFG=1,\"GPRS\",\"apn.example\",\"user\",\"pass\"\r", OK},
      {"AT+KCNXCFG=1,\"GPRS\",\"\",\"\",\"\"\r", OK},
      {"AT+CGDCONT=4,, \"apn.example\"\r", OK},
      {"AT+KCNXPROFILE=1\r", OK},
      {"AT+CGATT=1\r", OK},
      {"AT+CGATT?\r", Info("+CGATT: 1")},
      {"AT+KSLEEP=7\r", ERR},
      {"AT+CGATT=2\r", ERR}}},
    {"Queries",
     {{Ate0, Ate0 + OK},
      {"AT+CGMR\r", Info("R5.5.24.0.201704131036")},
      {"AT+CSQ\r", Info("+CSQ: 18,99")}}},
    {"HttpTime",
     {{Ate0, Ate0 + OK},
      {"AT+KHTTPGET=1,\"/cgi-bin/time\"\r", ERR},  // no session yet
      {"AT+KHTTPCFG=1,\"time.example.net\",80\r", Info("+KHTTPCFG: 1") + "\r\n+KHTTP_IND: 1,1\r\n"},
      {"AT+KHTTPGET=1,\"/cgi-bin/time\"\r",
       kHttpGetAnswer + "\r\n+KHTTP_IND: 1,3,0,200,\"OK\"\r\n"},
      {"AT+KHTTPCLOSE=1\r", OK},
      {"AT+KHTTPGET=1,\"/cgi-bin/time\"\r", ERR},  // closed
      {"AT+KHTTPDEL=1\r", OK},
      {"AT+KHTTPDEL=1\r", ERR},
      {"AT+KHTTPCLOSE=1\r", ERR}}},
    {"HttpOtherPathAndSessions",
     {{Ate0, Ate0 + OK},
      {"AT+KHTTPCFG=1,\"a.example\",80\r", Info("+KHTTPCFG: 1") + "\r\n+KHTTP_IND: 1,1\r\n"},
      {"AT+KHTTPCFG=1,\"b.example\",8080\r", Info("+KHTTPCFG: 2") + "\r\n+KHTTP_IND: 2,1\r\n"},
      {"AT+KHTTPGET=2,\"/index.html\"\r",
       "\r\nCONNECT\r\nHTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\n"
       "Content-Length: 11\r\nConnection: close\r\n\r\nNot Found\r\n--EOF--Pattern--" +
           OK + "\r\n+KHTTP_IND: 2,3,0,404,\"Not Found\"\r\n"},
      {"AT+KHTTPCFG=1,\"\",80\r", ERR},
      {"AT+KHTTPCFG=1,\"a.example\"\r", ERR}}},
    {"Clock",
     {{Ate0, Ate0 + OK},
      {"AT+CCLK=\"26/03/07,09:05:30+09\"\r", OK},
      {"AT+CCLK?\r", Info("+CCLK: \"26/03/07,09:05:30+09\"")},
      {"AT+CCLK=\"28/02/29,23:59:59-04\"\r", OK},  // a leap day, a negative zone
      {"AT+CCLK?\r", Info("+CCLK: \"28/02/29,23:59:59-04\"")},
      {"AT+CCLK=\"26/02/29,09:05:30+09\"\r", ERR},  // no such day
      {"AT+CCLK=\"26/13/07,09:05:30+09\"\r", ERR},
      {"AT+CCLK=\"26/03/07,24:00:00+09\"\r", ERR},
      {"AT+CCLK=\"26/03/07,09:60:30+09\"\r", ERR},
      {"AT+CCLK=\"2603/07,09:05:30+09\"\r", ERR},  // the month part missing
      {"AT+CCLK=\"26/03/07,09:05:30\"\r", ERR},
      {"AT+CCLK=\",+09\"\r", ERR},
      {"AT+CCLK=26/03/07,09:05:30+09\r", ERR},
      {"AT+CCLK?\r", Info("+CCLK: \"28/02/29,23:59:59-04\"")}}},
    {"SmsStoreEmpty",
     {{Ate0, Ate0 + OK},
      {"AT+CMGS=\"09012345678\"\r", ERR},  // not in text mode
      {"AT+CMGF=1\r", OK},
      {"AT+CMGF?\r", Info("+CMGF: 1")},
      {"AT+CPMS=\"SM\"\r", Info("+CPMS: 0,30,0,30,0,30")},
      {"AT+CPMS=\"SM\",\"SM\",\"SM\"\r", Info("+CPMS: 0,30,0,30,0,30")},
      {"AT+CPMS=\"XX\"\r", "\r\n+CMS ERROR: 302\r\n"},
      {"AT+CMGR=1\r", "\r\n+CMS ERROR: 321\r\n"},
      {"AT+CMGR=0\r", "\r\n+CMS ERROR: 321\r\n"},
      {"AT+CMGR=31\r", "\r\n+CMS ERROR: 321\r\n"},
      {"AT+CMGR= 3 \r", ERR},
      {"AT+CMGR=\r", ERR},
      {"AT+CMGD=1\r", OK},
      {"AT+CMGD=99\r", "\r\n+CMS ERROR: 321\r\n"},
      {"AT+CMGD=x\r", ERR},
      {"AT+CMGS=\"\"\r", "\r\n+CMS ERROR: 305\r\n"}}},
    {"SmsSendEchoOff",
     {{Ate0, Ate0 + OK},
      {"AT+CMGF=1\r", OK},
      {"AT+CMGS=\"0311112222\"\r", "\r\n> "},
      // The text is not echoed; the CR straight after the 0x1A makes no command.
      {"TEST SMS 1\x1A\r", "\r\n+CMGS: 1\r\n" + OK},
      {"AT+CMGS=\"0311112222\"\r", "\r\n> "},
      {"second\x1A", "\r\n+CMGS: 2\r\n" + OK},
      {"AT+CMGS=\"0311112222\"\r", "\r\n> "},
      {"never mind\x1B", OK},  // ESC cancels: no message reference used up
      {"AT+CMGS=\"0311112222\"\r", "\r\n> "},
      {"third\x1A\r", "\r\n+CMGS: 3\r\n" + OK},
      {"AT+CPMS=\"SM\"\r", Info("+CPMS: 0,30,0,30,0,30")}}},  // sent elsewhere: not stored
    {"SmsSendEchoOn",
     {{"AT+CMGF=1\r", "AT+CMGF=1\r" + OK},
      {"AT+CMGS=\"0311112222\"\r", "AT+CMGS=\"0311112222\"\r\r\n> "},
      {"TEST SMS 1\x1A\r", "TEST SMS 1\r\n+CMGS: 1\r\n" + OK},
      {"AT\r", "AT\r" + OK}}},
    {"Gnss",
     {{Ate0, Ate0 + OK},
      {"AT+WPPP=2,4,\"user\",\"pass\"\r", OK},
      {"AT+WPPP=2,4,\"\",\"\"\r", OK},
      {"AT+CMOLR=2,1\r", OK},
      {"AT+GPSNMEA=01,,1\r", OK},
      {"AT+GPSSTART=9\r", ERR},
      {"AT+GPSSTOP\r", OK + "\r\n+GPSEVSTOP: 1\r\n"}}},
};

class Answers : public BoardTest, public ::testing::WithParamInterface<Conversation> {};

TEST_P(Answers, BytesOnTheWire) {
    for (const Step& step : GetParam().steps) {
        EXPECT_EQ(Exchange(step.send, step.expect), step.expect) << "sent: " << step.send;
    }
}

INSTANTIATE_TEST_SUITE_P(Board, Answers, ::testing::ValuesIn(kConversations),
                         [](const auto& info) { return std::string(info.param.name); });

// Each answer (echo and reply) goes out in one write, so the program never sees a pause in a line.
TEST_F(BoardTest, AnswerIsOneWrite) {
    const std::string answer = "AT+CSQ\r\r\n+CSQ: 18,99\r\n\r\nOK\r\n";
    ASSERT_EQ(Exchange("AT+CSQ\r", answer), answer);
    const auto sent = board.Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes, answer);
}

TEST_F(BoardTest, ServesTheCurrentTimeInJapanByDefault) {
    board.SetTimeLine("");
    EchoOff();
    Exchange("AT+KHTTPCFG=1,\"time.example.net\",80\r",
             Info("+KHTTPCFG: 1") + "\r\n+KHTTP_IND: 1,1\r\n");
    const std::string got = Exchange("AT+KHTTPGET=1,\"/cgi-bin/time\"\r", kHttpGetAnswer.size());
    const size_t marker = got.find("--EOF--Pattern--");
    ASSERT_NE(marker, std::string::npos) << got;
    ASSERT_GE(marker, 30u);
    const std::string line = got.substr(marker - 30, 30);
    // "Www Mmm dd hh:mm:ss yyyy JST\r\n", the day padded with a blank.
    EXPECT_EQ(line.substr(24), " JST\r\n") << line;
    EXPECT_EQ(line[3], ' ');
    EXPECT_EQ(line[7], ' ');
    EXPECT_TRUE(line[8] == ' ' || (line[8] >= '1' && line[8] <= '3')) << line;
    EXPECT_EQ(line.substr(13, 1) + line.substr(16, 1), "::") << line;
}

TEST_F(BoardTest, StateQueriesFollowCommands) {
    EXPECT_TRUE(board.Echo());
    EchoOff();
    EXPECT_FALSE(board.Echo());
    Exchange("AT+CCLK=\"30/12/31,23:59:58+36\"\r", 6);
    EXPECT_EQ(board.ClockValue().substr(0, 15), "30/12/31,23:59:") << board.ClockValue();
    EXPECT_FALSE(board.GpsRunning());
    Exchange("AT+GPSSTART=0\r", OK + "\r\n+GPSEVSTART: 1\r\n");
    EXPECT_TRUE(board.GpsRunning());
}

}  // namespace
}  // namespace karvex::simtest
