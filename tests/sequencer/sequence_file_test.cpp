// Sequence files: every refusal names the file, the line and column of what is wrong, and what it
// is; a file that loads gives exactly the steps it says, with its texts in CP932.
#include <gtest/gtest.h>

#include <string>

#include "sequencer/sequence_file.h"
#include "sequencer/test_items.h"

namespace karvex {
namespace {

SequenceLoad Parse(const std::string& text, const std::string& path = "dir/broken.toml") {
    return ParseSequence(text, path);
}

const std::string kHead = "title = \"t\"\n";  // line 1 of most cases
const std::string kStep = kHead + "[[step]]\n";
const std::string kSend = kStep + "send = \"AT\"\n";  // then line 4 is the step's next key

struct Broken {
    const char* name;
    std::string text;
    const char* where;  // "line:column"
    const char* says;   // part of the message
};

void PrintTo(const Broken& b, std::ostream* os) {
    *os << b.name;
}

class BrokenFile : public ::testing::TestWithParam<Broken> {};

TEST_P(BrokenFile, IsRefusedWithItsPlaceAndReason) {
    const Broken& b = GetParam();
    const SequenceLoad load = Parse(b.text);
    ASSERT_EQ(load.sequence, nullptr) << b.text;
    const std::string text = load.error.Text();
    EXPECT_EQ(text.rfind(std::string("dir/broken.toml:") + b.where + ": ", 0), 0u) << text;
    EXPECT_NE(text.find(b.says), std::string::npos) << text;
}

// A step of forty "あ": 40 characters, but 80 bytes in CP932.
const std::string kWide = [] {
    std::string s;
    for (int i = 0; i < 40; ++i) s += "あ";
    return s;
}();

INSTANTIATE_TEST_SUITE_P(
    Sequences, BrokenFile,
    ::testing::Values(
        Broken{"Syntax", kStep + "send = \"AT\n", "3:11", "while parsing string"},
        // toml++ would run into undefined behaviour or an assert on these two; both are refused.
        Broken{"NonAsciiWhereABlankMayStand", kHead + "x = 1 、\n", "2:7", "、"},
        Broken{"BadTableHeader", kHead + "[+step]\n", "2:2", "'+'"},
        Broken{"NoTitle", "[[step]]\nsend = \"AT\"\n", "1:1", "title is missing"},
        Broken{"UnknownTopKey", "feilds = [\"apn\"]\n" + kSend, "1:1", "unknown key \"feilds\""},
        // A typo must not silently drop what the key was to say.
        Broken{"UnknownStepKey", kSend + "expekt = \"X\"\n", "4:1",
               "unknown key \"expekt\" in [[step]]"},
        Broken{"NoSteps", kHead, "1:1", "no [[step]]"},
        Broken{"StepAsTable", kHead + "[step]\nsend = \"AT\"\n", "2:1", "[[step]]"},
        Broken{"Neither", kStep + "timeout = 100\n", "2:1", "send (a command) or pause"},
        Broken{"Both", kSend + "pause = 10\n", "4:9", "send or pause, not both"},
        Broken{"UnknownPlaceholder", kStep + "send = \"AT+X={apm}\"\n", "3:8",
               "unknown placeholder {apm}"},
        Broken{"UnclosedBrace", kStep + "send = \"AT+X={apn\"\n", "3:8", "{{"},
        Broken{"PlaceholderFirst", kStep + "send = \"{phone}\"\n", "3:8", "begin with text"},
        Broken{"PauseMarker", kStep + "send = \"*99#\"\n", "3:8", "'*'"},
        Broken{"EmptySend", kStep + "send = \"\"\n", "3:8", "send is empty"},
        Broken{"TimeoutZero", kSend + "timeout = 0\n", "4:11", "1 to 3600000 ms, not 0"},
        Broken{"TimeoutOverAnHour", kSend + "timeout = 3600001\n", "4:11", "not 3600001"},
        Broken{"TimeoutAsText", kSend + "timeout = \"5000\"\n", "4:11",
               "whole number of milliseconds"},
        Broken{"NegativePause", kStep + "pause = -5\n", "3:9", "not -5"},
        // 80 bytes: one more than a command holds, counted with the fields empty.
        Broken{"SendTooLong", kStep + "send = \"" + std::string(75, 'A') + "{apn}AAAAA\"\n", "3:8",
               "80 bytes in CP932 even with empty fields"},
        // Counted in CP932 bytes, not characters.
        Broken{"WideSendTooLong", kStep + "send = \"" + kWide + "\"\n", "3:8", "80 bytes"},
        Broken{"NotCp932", kStep + "send = \"AT+X=caf\\u00E9\"\n", "3:8",
               "\"é\" (U+00E9), which CP932 cannot hold"},
        Broken{"TitleNotCp932", "title = \"\xF0\x9F\x98\x80\"\n[[step]]\nsend = \"AT\"\n", "1:9",
               "U+1F600"},
        Broken{"TabInSend", kStep + "send = \"AT\\tX\"\n", "3:8", "control byte 0x09"},
        Broken{"NulInExpect", kSend + "expect = \"O\\u0000K\"\n", "4:10", "control byte 0x00"},
        Broken{"ExpectTooLong", kSend + "expect = \"" + std::string(256, 'x') + "\"\n", "4:10",
               "at most 255"},
        Broken{"EmptyFail", kSend + "fail = [\"X\", \"\"]\n", "4:14", "match every line"},
        Broken{"FailNotAList", kSend + "fail = \"X\"\n", "4:8", "list of texts"},
        Broken{"PauseWithExpect", kStep + "pause = 10\nexpect = \"X\"\n", "4:10",
               "a pause sends nothing: expect"},
        Broken{"NotWaitedWithTimeout", kSend + "wait = false\ntimeout = 10\n", "5:11",
               "timeout has no use"},
        Broken{"WaitNotBoolean", kSend + "wait = 0\n", "4:8", "true or false"},
        Broken{"UnknownField", "fields = [\"apn\", \"phon\"]\n" + kSend, "1:18",
               "unknown field \"phon\""},
        Broken{"UnknownModel", "models = [\"tolva-3\"]\n" + kSend, "1:11",
               "unknown model \"tolva-3\""},
        Broken{"NoModel", kSend + "models = []\n", "4:10", "tolva-1, tolva-2 or both"},
        Broken{"PhoneAndNumber",
               kHead + "fields = [\"phone\"]\n[[step]]\nsend = \"AT+CMGR={sms-number}\"\n", "4:8",
               "phone and sms-number"}),
    [](const auto& info) { return std::string(info.param.name); });

// A file that loads builds what it says: texts in CP932, the steps of the selected model, the
// entries trimmed, "{{" and "}}" as braces, its own failure replies, a step not waited on.
TEST(SequenceFile, BuildsWhatItSaysInCp932) {
    const SequenceLoad load = Parse(
        "title = \"登録状態の確認\"\nmodels = [\"tolva-2\"]\ntrim = true\n"
        "[[step]]\nsend = 'AT+X=\"{apn}\"'\n"
        "[[step]]\npause = 3000\nmodels = [\"tolva-1\"]\n"
        "[[step]]\nsend = \"AT+Y={{{user}}}\"\ntimeout = 7000\nexpect = \"受信\"\n"
        "fail = [\"+CMS ERROR\", \"NG\\r\"]\n"
        "[[step]]\nsend = \"TEXT\\u001A\"\nwait = false\n",
        "/x/Registration.TOML");
    ASSERT_NE(load.sequence, nullptr) << load.error.Text();
    EXPECT_EQ(load.sequence->name, "Registration");
    EXPECT_EQ(load.sequence->title, "登録状態の確認");  // UTF-8, as the drop-down shows it
    EXPECT_EQ(load.sequence->fields, (std::vector<Entry>{Entry::Apn, Entry::User}));

    TestInputs in;
    in.tolva2 = true;
    in.apn = " internet ";
    in.user = "u";
    in.sequence = load.sequence;
    std::string message;
    const auto list = BuildTestItem(in, message);
    ASSERT_TRUE(list) << message;
    ASSERT_EQ(list->size(), 4u);  // the Tolva-1 pause left out, the end marker last
    EXPECT_STREQ((*list)[0].command, "AT+X=\"internet\"");
    EXPECT_STREQ((*list)[1].command, "AT+Y={u}");
    EXPECT_STREQ((*list)[1].expected, "\x8E\xF3\x90\x4D");  // 受信 in CP932
    EXPECT_EQ(std::vector<std::string>((*list)[1].failures.begin(), (*list)[1].failures.end()),
              (std::vector<std::string>{"+CMS ERROR", "NG\r"}));
    EXPECT_EQ((*list)[2].timeout, kNoWait);

    in.tolva2 = false;  // not among its models
    EXPECT_FALSE(BuildTestItem(in, message));
    EXPECT_EQ(message, kWrongModelMessage);
}

}  // namespace
}  // namespace karvex
