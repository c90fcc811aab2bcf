// Line assembly and verdicts over byte streams, through an in-memory port that plays a scripted
// stream: each entry is bytes, or a pause that makes the next one-byte read time out.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "link/line_reader.h"

namespace karvex {
namespace {

constexpr char kPause = '\x7F';  // in scripts below: one read time-out

class ScriptedPort final : public Port {
  public:
    explicit ScriptedPort(std::string script) : script_(std::move(script)) {}
    void Purge() override {}
    int Write(const void*, uint32_t count) override { return static_cast<int>(count); }
    int Read(void* buffer, uint32_t) override {
        if (pos_ >= script_.size()) return failAtEnd_ ? -1 : 0;
        const char c = script_[pos_++];
        if (c == kPause) return 0;
        *static_cast<char*>(buffer) = c;
        return 1;
    }
    bool Done() const { return pos_ >= script_.size(); }
    bool failAtEnd_ = false;

  private:
    std::string script_;
    size_t pos_ = 0;
};

std::vector<std::string> Lines(const std::string& script) {
    ScriptedPort port(script);
    std::vector<std::string> lines;
    LineBuffer buffer{};
    while (!port.Done()) {
        if (ReadLine(port, buffer).code == 0) lines.emplace_back(LineText(buffer));
    }
    return lines;
}

TEST(ReadLine, TurnsByteStreamsIntoLines) {
    using V = std::vector<std::string>;
    const std::string s85(85, 'x');
    const std::string s78(78, 'y');
    const std::string s79(79, 'z');
    struct Case {
        const char* name;
        std::string script;
        V lines;
    };
    const Case cases[] = {
        {"reply framed by CR LF", "\r\nOK\r\n", {"\r\nOK\r\n"}},
        {"information line then OK",
         "\r\n+CSQ: 20,99\r\n\r\nOK\r\n",
         {"\r\n+CSQ: 20,99\r\n", "\r\nOK\r\n"}},
        {"bare LF widened", "abc\n", {"abc\r\n"}},
        {"echo and reply", "AT+CSQ\r\r\n+CSQ: 18,99\r\n", {"AT+CSQ\r\r\n", "+CSQ: 18,99\r\n"}},
        {"LF at 0 and 1 never ends a line", "\n\nX\n", {"\n\nX\r\n"}},
        {"lone CR LF then silence is dropped", std::string("\r\n") + kPause, {}},
        {"prompt without line end is dropped",
         std::string("\r\n> ") + kPause + "\r\nOK\r\n",
         {"\r\nOK\r\n"}},
        {"pause inside a line drops its start", std::string("\r\nO") + kPause + "K\r\n", {"K\r\n"}},
        {"over-long line loses its first 80 bytes", s85 + "\r\n", {"xxxxx\r\n"}},
        {"80 bytes ending CR LF", s78 + "\r\n", {s78 + "\r\n"}},
        {"bare LF at position 79 gives 81", s79 + "\n", {s79 + "\r\n"}},
        {"NUL cuts the line", std::string("\r\nO\0K\r\n", 7), {"\r\nO"}},
        {"GPS sentence", "\r\n$GPGGA,1*5B\r\n", {"\r\n$GPGGA,1*5B\r\n"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Lines(c.script), c.lines) << c.name;
    }
}

TEST(ReadLine, TellsAFailedReadFromATimeOut) {
    ScriptedPort timesOut("ab");
    LineBuffer buffer{};
    ReadLineResult r = ReadLine(timesOut, buffer);
    EXPECT_LT(r.code, 0);
    EXPECT_FALSE(r.portFailed);

    ScriptedPort fails("ab");
    fails.failAtEnd_ = true;
    r = ReadLine(fails, buffer);
    EXPECT_LT(r.code, 0);
    EXPECT_TRUE(r.portFailed);
}

TEST(JudgeLine, SuccessAndFailureTexts) {
    struct Case {
        const char* line;
        const char* expected;
        bool success;
        bool failure;
    };
    const Case cases[] = {
        {"\r\nOK\r\n", "", true, false},
        {"\r\nOK\r\n", "+KHTTP_IND", false, false},
        {"\r\n+KHTTP_IND: 1,1\r\n", "+KHTTP_IND", true, false},
        {"\r\nERROR\r\n", "", false, true},
        {"\r\nNO CARRIER\r\n", "", false, true},
        {"\r\nABORT\r\n", "", false, true},
        {"\r\n+KHTTP_ERROR: 1,3\r\n", "", false, true},
        {"\r\n+CME ERROR: 10\r\n", "", false, false},  // "ERROR\r" needs the CR after the word
        {"\r\n+CMS ERROR: 321\r\n", "", false, false},
        {"\r\n+KHTTP_IND: 1,1 ERROR\r\n", "+KHTTP_IND", true, true},
        {"\r\nok\r\n", "", false, false},  // case-sensitive
        {"\r\nOK", "", false, false},
    };
    for (const Case& c : cases) {
        const LineJudgement j = JudgeLine(c.line, c.expected);
        EXPECT_EQ(j.holdsSuccess, c.success) << c.line;
        EXPECT_EQ(j.holdsFailure, c.failure) << c.line;
    }
}

}  // namespace
}  // namespace karvex
