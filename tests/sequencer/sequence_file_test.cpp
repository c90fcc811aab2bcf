// Sequence files: every refusal names the file, the line and column of what is wrong, and what it
// is; a file that loads gives exactly the steps it says, with its texts in CP932.
#include <gtest/gtest.h>

#include <string>

#include "dialog/strict_cp932.h"
#include "sequencer/sequence_file.h"
#include "sequencer/test_items.h"

namespace karvex {
namespace {

SequenceLoad Parse(const std::string& text, const std::string& path = "dir/broken.toml") {
    return ParseSequence(text, path, StrictCp932FromUtf8);
}

const std::string kHead = "title = \"t\"\n";  // line 1 of most cases

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
        Broken{"Syntax", kHead + "[[step]]\nsend = \"AT\n", "3:11", "while parsing string"},
        Broken{"NoTitle", "[[step]]\nsend = \"AT\"\n", "1:1", "title is missing"},
        Broken{"UnknownTopKey", kHead + "feilds = [\"apn\"]\n[[step]]\nsend = \"AT\"\n", "2:1",
               "unknown key \"feilds\""},
        // A typo must not silently drop what the key was to say.
        Broken{"UnknownStepKey", kHead + "[[step]]\nsend = \"AT\"\nexpekt = \"X\"\n", "4:1",
               "unknown key \"expekt\" in [[step]]"},
        Broken{"NoSteps", kHead, "1:1", "no [[step]]"},
        Broken{"StepAsTable", kHead + "[step]\nsend = \"AT\"\n", "2:1", "[[step]]"},
        Broken{"Neither", kHead + "[[step]]\ntimeout = 100\n", "2:1", "send (a command) or pause"},
        Broken{"Both", kHead + "[[step]]\nsend = \"AT\"\npause = 10\n", "4:9",
               "send or pause, not both"},
        Broken{"UnknownPlaceholder", kHead + "[[step]]\nsend = \"AT+X={apm}\"\n", "3:8",
               "unknown placeholder {apm}"},
        Broken{"UnclosedBrace", kHead + "[[step]]\nsend = \"AT+X={apn\"\n", "3:8", "{{"},
        Broken{"PlaceholderFirst", kHead + "[[step]]\nsend = \"{phone}\"\n", "3:8",
               "begin with text"},
        Broken{"PauseMarker", kHead + "[[step]]\nsend = \"*99#\"\n", "3:8", "'*'"},
        Broken{"EmptySend", kHead + "[[step]]\nsend = \"\"\n", "3:8", "send is empty"},
        Broken{"TimeoutZero", kHead + "[[step]]\nsend = \"AT\"\ntimeout = 0\n", "4:11",
               "1 to 3600000 ms, not 0"},
        Broken{"TimeoutOverAnHour", kHead + "[[step]]\nsend = \"AT\"\ntimeout = 3600001\n", "4:11",
               "not 3600001"},
        Broken{"TimeoutAsText", kHead + "[[step]]\nsend = \"AT\"\ntimeout = \"5000\"\n", "4:11",
               "whole number of milliseconds"},
        Broken{"NegativePause", kHead + "[[step]]\npause = -5\n", "3:9", "not -5"},
        // 80 bytes: one more than a command holds, counted with the fields empty.
        Broken{"SendTooLong",
               kHead + "[[step]]\nsend = \"" + std::string(75, 'A') + "{apn}AAAAA\"\n", "3:8",
               "80 bytes in CP932 even with empty fields"},
        // Counted in CP932 bytes, not characters.
        Broken{"WideSendTooLong", kHead + "[[step]]\nsend = \"" + kWide + "\"\n", "3:8",
               "80 bytes"},
        Broken{"NotCp932", kHead + "[[step]]\nsend = \"AT+X=caf\\u00E9\"\n", "3:8",
               "\"é\" (U+00E9), which CP932 cannot hold"},
        Broken{"TitleNotCp932", "title = \"\xF0\x9F\x98\x80\"\n[[step]]\nsend = \"AT\"\n", "1:9",
               "U+1F600"},
        Broken{"ExpectNotCp932", kHead + "[[step]]\nsend = \"AT\"\nexpect = \"\\u00E9\"\n", "4:10",
               "U+00E9"},
        Broken{"TabInSend", kHead + "[[step]]\nsend = \"AT\\tX\"\n", "3:8", "control byte 0x09"},
        Broken{"CrInSend", kHead + "[[step]]\nsend = \"AT\\rAT\"\n", "3:8", "control byte 0x0D"},
        Broken{"NulInExpect", kHead + "[[step]]\nsend = \"AT\"\nexpect = \"O\\u0000K\"\n", "4:10",
               "control byte 0x00"},
        Broken{"ExpectTooLong",
               kHead + "[[step]]\nsend = \"AT\"\nexpect = \"" + std::string(256, 'x') + "\"\n",
               "4:10", "at most 255"},
        Broken{"EmptyExpect", kHead + "[[step]]\nsend = \"AT\"\nexpect = \"\"\n", "4:10",
               "must not be empty"},
        Broken{"EmptyFail", kHead + "[[step]]\nsend = \"AT\"\nfail = [\"X\", \"\"]\n", "4:14",
               "match every line"},
        Broken{"FailNotAList", kHead + "[[step]]\nsend = \"AT\"\nfail = \"X\"\n", "4:8",
               "list of texts"},
        Broken{"PauseWithExpect", kHead + "[[step]]\npause = 10\nexpect = \"X\"\n", "4:10",
               "a pause sends nothing: expect"},
        Broken{"NotWaitedWithTimeout",
               kHead + "[[step]]\nsend = \"AT\"\nwait = false\ntimeout = 10\n", "5:11",
               "timeout has no use"},
        Broken{"WaitNotBoolean", kHead + "[[step]]\nsend = \"AT\"\nwait = 0\n", "4:8",
               "true or false"},
        Broken{"UnknownField", kHead + "fields = [\"apn\", \"phon\"]\n[[step]]\nsend = \"AT\"\n",
               "2:18", "unknown field \"phon\""},
        Broken{"UnknownModel", kHead + "models = [\"tolva-3\"]\n[[step]]\nsend = \"AT\"\n", "2:11",
               "unknown model \"tolva-3\""},
        Broken{"NoModel", kHead + "[[step]]\nsend = \"AT\"\nmodels = []\n", "4:10",
               "tolva-1, tolva-2 or both"},
        Broken{"PhoneAndNumber",
               kHead + "fields = [\"phone\"]\n[[step]]\nsend = \"AT+CMGR={sms-number}\"\n", "4:8",
               "phone and sms-number"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SequenceFile, LoadsWhatItSaysInCp932) {
    const SequenceLoad load = Parse(
        "title = \"登録状態の確認\"  # the caption\n"
        "models = [\"tolva-2\"]\n"
        "trim = true\n"
        "[[step]]\n"
        "send = 'AT+CGDCONT=1,\"IP\",\"{apn}\"'\n"
        "[[step]]\n"
        "pause = 3000\n"
        "models = [\"tolva-1\"]\n"
        "[[step]]\n"
        "send = \"AT+X={{{user}}}\"\n"
        "timeout = 7000\n"
        "expect = \"受信\"\n"
        "fail = [\"+CMS ERROR\", \"NG\\r\"]\n"
        "[[step]]\n"
        "send = \"TEXT\\u001A\"\n"
        "wait = false\n",
        "/x/Registration.TOML");
    ASSERT_NE(load.sequence, nullptr) << load.error.Text();
    const Sequence& s = *load.sequence;
    EXPECT_EQ(s.name, "Registration");
    EXPECT_EQ(s.title, "登録状態の確認");  // UTF-8, as the drop-down shows it
    EXPECT_EQ(s.models, kModelTolva2);
    EXPECT_TRUE(s.trim);
    EXPECT_EQ(s.fields, (std::vector<Entry>{Entry::Apn, Entry::User}));
    ASSERT_EQ(s.steps.size(), 4u);
    EXPECT_EQ(s.steps[0].timeout, 5000u);
    EXPECT_EQ(s.steps[0].expected, "");
    EXPECT_TRUE(s.steps[1].pause);
    EXPECT_EQ(s.steps[1].timeout, 3000u);
    EXPECT_EQ(s.steps[1].models, kModelTolva1);
    EXPECT_EQ(s.steps[2].timeout, 7000u);
    EXPECT_EQ(s.steps[2].expected, "\x8E\xF3\x90\x4D");  // 受信 in CP932
    EXPECT_EQ(s.steps[2].failures, (std::vector<std::string>{"+CMS ERROR", "NG\r"}));
    EXPECT_EQ(s.steps[3].timeout, kNoWait);

    // Built for Tolva-2: the Tolva-1 pause is left out, the entries trimmed, "{{" is one brace.
    TestInputs in;
    in.tolva2 = true;
    in.apn = " internet ";
    in.user = "u";
    in.sequence = load.sequence;
    std::string message;
    const auto list = BuildTestItem(in, message);
    ASSERT_TRUE(list) << message;
    ASSERT_EQ(list->size(), 4u);
    EXPECT_STREQ((*list)[0].command, "AT+CGDCONT=1,\"IP\",\"internet\"");
    EXPECT_STREQ((*list)[1].command, "AT+X={u}");
    EXPECT_STREQ((*list)[1].expected, "\x8E\xF3\x90\x4D");
    EXPECT_EQ((*list)[1].failures.size(), 2u);
    EXPECT_STREQ((*list)[2].command, "TEXT\x1A");
    EXPECT_EQ((*list)[3].command[0], '\0');

    // Tolva-1 is not among the sequence's models; an empty APN is refused first as in the window.
    in.tolva2 = false;
    EXPECT_FALSE(BuildTestItem(in, message));
    EXPECT_EQ(message, kWrongModelMessage);
    in.tolva2 = true;
    in.apn.clear();
    EXPECT_FALSE(BuildTestItem(in, message));
    EXPECT_EQ(message, kApnRequired);
}

}  // namespace
}  // namespace karvex
