// Every item's list as it goes to the runner: command bytes, time-outs, expected replies; the
// input checks, trimming and the refusal of commands that would not fit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "sequencer/test_items.h"
#include "tests/items/item_expectations.h"

namespace karvex {
namespace {

using testing::ExpectedSteps;
using testing::StandardInputs;
using testing::Step;

// The list without its end marker; the end marker must be the last entry and the only empty one.
std::vector<Step> Build(const TestInputs& in, std::string* message = nullptr) {
    std::string msg = "stale";
    auto list = BuildTestItem(in, msg);
    if (message) *message = msg;
    if (!list) return {};
    EXPECT_FALSE(list->empty());
    EXPECT_EQ(list->back().command[0], '\0');
    std::vector<Step> steps;
    for (size_t i = 0; i + 1 < list->size(); ++i) {
        const CommandStep& s = (*list)[i];
        EXPECT_NE(s.command[0], '\0') << "end marker inside the list at " << i;
        EXPECT_NE(s.expected, nullptr);
        steps.push_back({s.command, s.timeout, s.expected});
    }
    EXPECT_TRUE(msg.empty()) << msg;
    return steps;
}

TestInputs Inputs(int item, bool tolva2 = false) {
    return StandardInputs(item, tolva2);
}

// Every item on both models: the model changes item 0 alone.
class EveryItem : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(EveryItem, BuildsTheListExactly) {
    const auto [item, tolva2] = GetParam();
    EXPECT_EQ(Build(Inputs(item, tolva2)), ExpectedSteps(item, tolva2));
}

INSTANTIATE_TEST_SUITE_P(Catalogue, EveryItem,
                         ::testing::Combine(::testing::Range(0, kTestItemCount),
                                            ::testing::Bool()));

TEST(TestItems, SmsTextIsTheTenCharactersAndCtrlZ) {
    std::string message;
    auto list = BuildTestItem(Inputs(5), message);
    ASSERT_TRUE(list);
    const std::string text = (*list)[4].command;
    EXPECT_EQ(text, std::string("\x54\x45\x53\x54\x20\x53\x4D\x53\x20\x31\x1A", 11));
}

TEST(TestItems, IndexOutsideTheCatalogueBuildsNothingAndSaysNothing) {
    for (int item : {-1, 12, 100, -1000}) {
        std::string message;
        EXPECT_FALSE(BuildTestItem(Inputs(item), message)) << item;
        EXPECT_EQ(message, "") << item;
    }
}

struct RequiredCase {
    int item;
    std::string TestInputs::*field;
    const char* message;
};

TEST(TestItems, EmptyRequiredFieldIsRefusedWithItsMessage) {
    const RequiredCase cases[] = {
        {0, &TestInputs::apn, "APN設定は必須です。"},
        {5, &TestInputs::phone, "電話番号は必須です。"},
        {7, &TestInputs::smsNumber, "番号は必須です。"},
        {8, &TestInputs::smsNumber, "番号は必須です。"},
    };
    for (const RequiredCase& c : cases) {
        TestInputs in = Inputs(c.item);
        in.*c.field = "";
        std::string message;
        EXPECT_FALSE(BuildTestItem(in, message)) << c.item;
        EXPECT_EQ(message, c.message) << c.item;
    }
}

TEST(TestItems, FieldsAnItemDoesNotReadMayBeEmpty) {
    TestInputs empty;
    empty.phone = empty.smsNumber = "\r\x7F";  // nor is what they hold looked at
    for (int item : {1, 2, 3, 4, 6, 9, 10, 11}) {
        empty.item = item;
        std::string message;
        EXPECT_TRUE(BuildTestItem(empty, message)) << item;
        EXPECT_EQ(message, "");
    }
    empty.item = 0;
    empty.apn = "a";
    EXPECT_EQ(Build(empty)[5].command, "AT+KCNXCFG=1,\"GPRS\",\"a\",\"\",\"\"");
    empty.item = 9;
    EXPECT_EQ(Build(empty)[0].command, "AT+WPPP=2,4,\"\",\"\"");
}

// Which item trims which entry: the check is made before trimming, so blanks only pass.
TEST(TestItems, TrimmingFollowsTheItem) {
    const std::string ws = " \t\r\n\v\f";
    TestInputs in = Inputs(0);
    in.apn = ws + "ap n" + ws;
    in.user = ws + "u\"," + ws;
    in.password = "\tp w ";
    auto steps = Build(in);
    ASSERT_EQ(steps.size(), 9u);
    EXPECT_EQ(steps[5].command, "AT+KCNXCFG=1,\"GPRS\",\"ap n\",\"u\",\",\"p w\"");
    EXPECT_EQ(steps[6].command, "AT+CGDCONT=4,, \"ap n\"");

    in.apn = "   ";
    steps = Build(in);
    ASSERT_EQ(steps.size(), 9u);
    EXPECT_EQ(steps[6].command, "AT+CGDCONT=4,, \"\"");

    in = Inputs(5);
    in.phone = ws + "090 1234" + ws;
    EXPECT_EQ(Build(in)[2].command, "AT+CMGS=\"090 1234\"");
    in.phone = " \t ";
    EXPECT_EQ(Build(in)[2].command, "AT+CMGS=\"\"");

    in = Inputs(7);
    in.smsNumber = " 3 ";
    EXPECT_EQ(Build(in)[0].command, "AT+CMGR= 3 ");
    in.item = 8;
    in.smsNumber = "\tx1";  // a control byte that would be sent refuses the item, 0x7F too
    EXPECT_TRUE(Build(in).empty());
    in.smsNumber = "1\x7F";
    EXPECT_TRUE(Build(in).empty());

    in = Inputs(9);
    in.user = "user ";
    in.password = " pw";
    EXPECT_EQ(Build(in)[0].command, "AT+WPPP=2,4,\"user \",\" pw\"");
}

// CP932 bytes go in verbatim, and a trail byte is never taken for white space.
TEST(TestItems, Cp932BytesAreFilledVerbatim) {
    TestInputs in = Inputs(0);
    const std::string kana = "\x83\x65\x83\x58\x83\x67";  // three katakana, 6 bytes
    in.apn = " " + kana + " ";
    in.user = "\x82\xA0";  // hiragana a
    auto steps = Build(in);
    ASSERT_EQ(steps.size(), 9u);
    EXPECT_EQ(steps[6].command, "AT+CGDCONT=4,, \"" + kana + "\"");
    EXPECT_EQ(steps[5].command, "AT+KCNXCFG=1,\"GPRS\",\"" + kana + "\",\"\x82\xA0\",\"pass\"");
}

struct LimitCase {
    const char* name;
    int item;
    // Sets the entries to `n` bytes in total (after trimming where the item trims).
    void (*fill)(TestInputs&, size_t n, const std::string& unit);
    size_t limit;
};

std::string Repeat(const std::string& unit, size_t bytes) {
    std::string s;
    while (s.size() + unit.size() <= bytes) s += unit;
    s.append(bytes - s.size(), 'x');  // odd remainder of a two-byte unit
    return s;
}

const std::string kPad = " \t";  // trimmed away where the item trims

const LimitCase kLimits[] = {
    {"apn_user_password", 0,
     [](TestInputs& in, size_t n, const std::string& u) {
         in.apn = kPad + Repeat(u, n / 3) + kPad;
         in.user = kPad + Repeat(u, n / 3) + kPad;
         in.password = kPad + Repeat(u, n - 2 * (n / 3)) + kPad;
     },
     51},
    {"apn_alone", 0,
     [](TestInputs& in, size_t n, const std::string& u) {
         in.apn = kPad + Repeat(u, n) + kPad;
         in.user.clear();
         in.password.clear();
     },
     51},
    {"phone", 5,
     [](TestInputs& in, size_t n, const std::string& u) { in.phone = kPad + Repeat(u, n) + kPad; },
     69},
    {"sms_read", 7,
     [](TestInputs& in, size_t n, const std::string& u) { in.smsNumber = Repeat(u, n); }, 71},
    {"sms_delete", 8,
     [](TestInputs& in, size_t n, const std::string& u) { in.smsNumber = Repeat(u, n); }, 71},
    {"user_password", 9,
     [](TestInputs& in, size_t n, const std::string& u) {
         in.user = Repeat(u, n / 2);
         in.password = Repeat(u, n - n / 2);
     },
     62},
};

TEST(TestItems, LongestEntriesFitAndOneByteMoreIsRefused) {
    for (const LimitCase& c : kLimits) {
        const std::string units[] = {"9", "\x83\x65"};  // one ASCII byte, one katakana
        for (const std::string& unit : units) {
            SCOPED_TRACE(std::string(c.name) + (unit.size() == 1 ? " ascii" : " cp932"));
            TestInputs in = Inputs(c.item);
            c.fill(in, c.limit, unit);
            std::string message;
            auto list = BuildTestItem(in, message);
            ASSERT_TRUE(list);
            EXPECT_EQ(message, "");
            size_t longest = 0;
            for (const CommandStep& s : *list) longest = std::max(longest, strlen(s.command));
            EXPECT_EQ(longest, 79u);

            c.fill(in, c.limit + 1, unit);
            EXPECT_FALSE(BuildTestItem(in, message));
            EXPECT_EQ(message, "入力が長すぎます。");
        }
    }
}

TEST(TestItems, UntrimmedItemsCountTheBlanks) {
    TestInputs in = Inputs(7);
    in.smsNumber = " " + std::string(70, '1');
    std::string message;
    EXPECT_TRUE(BuildTestItem(in, message));
    in.smsNumber += " ";
    EXPECT_FALSE(BuildTestItem(in, message));
    EXPECT_EQ(message, "入力が長すぎます。");
}

TEST(TestItems, EmptyCheckComesBeforeTheLengthCheck) {
    TestInputs in = Inputs(0);
    in.apn = "";
    in.user = std::string(200, 'u');
    std::string message;
    EXPECT_FALSE(BuildTestItem(in, message));
    EXPECT_EQ(message, "APN設定は必須です。");
}

// The Tolva-2 replacements are not filled, and long entries still refuse the item.
TEST(TestItems, Tolva2DoesNotBypassTheLengthCheck) {
    TestInputs in = Inputs(0);
    in.tolva2 = true;
    in.apn = std::string(52, 'a');
    std::string message;
    EXPECT_FALSE(BuildTestItem(in, message));
    EXPECT_EQ(message, "入力が長すぎます。");
}

}  // namespace
}  // namespace karvex
