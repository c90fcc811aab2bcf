// Each example twin builds, for any inputs, exactly the list its built-in item builds (commands,
// time-outs, expected replies, no failure replies of its own), or is refused with the same message.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/items/sequence_twins.h"

namespace karvex {
namespace {

using namespace karvex::testing;

struct Variant {
    const char* name;
    std::function<void(TestInputs&)> change;
};

const Variant kVariants[] = {
    {"standard", [](TestInputs&) {}},
    {"blanks around and inside",
     [](TestInputs& in) {
         for (std::string* s : {&in.apn, &in.user, &in.password, &in.phone, &in.smsNumber}) {
             *s = " \t" + *s + " x \r\n";
         }
     }},
    {"only blanks", [](TestInputs& in) { in.apn = in.phone = in.smsNumber = "  "; }},
    {"empty user and password", [](TestInputs& in) { in.user = in.password = ""; }},
    {"empty required entries", [](TestInputs& in) { in.apn = in.phone = in.smsNumber = ""; }},
    {"CP932 entries", [](TestInputs& in) { in.user = in.apn = in.phone = "\x83\x65\x83\x58"; }},
    {"entries that fill a command exactly",
     [](TestInputs& in) {
         in.apn = std::string(62, 'a');  // item 0's step 7: 17 + 62 = 79
         in.user = in.password = "";
         in.phone = std::string(69, '0');
         in.smsNumber = std::string(71, '1');
     }},
    {"entries one byte too long",
     [](TestInputs& in) {
         in.apn = std::string(63, 'a');
         in.user = in.password = std::string(32, 'u');
         in.phone = std::string(70, '0');
         in.smsNumber = std::string(72, '1');
     }},
};

class Twin : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(Twin, BuildsWhatItsItemBuildsForEveryInput) {
    const auto [item, tolva2] = GetParam();
    const std::shared_ptr<const Sequence> twin = LoadTwin(item);
    ASSERT_NE(twin, nullptr);
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        TestInputs builtIn = StandardInputs(item, tolva2);
        v.change(builtIn);
        TestInputs file = builtIn;
        file.sequence = twin;
        std::string wantMessage, gotMessage;
        const auto want = BuildTestItem(builtIn, wantMessage);
        const auto got = BuildTestItem(file, gotMessage);
        EXPECT_EQ(gotMessage, wantMessage);
        ASSERT_EQ(got.has_value(), want.has_value());
        if (!want) continue;
        ASSERT_EQ(got->size(), want->size());
        for (size_t i = 0; i < want->size(); ++i) {
            EXPECT_STREQ((*got)[i].command, (*want)[i].command) << i;
            EXPECT_EQ((*got)[i].timeout, (*want)[i].timeout) << i;
            EXPECT_STREQ((*got)[i].expected, (*want)[i].expected) << i;
            EXPECT_TRUE((*got)[i].failures.empty()) << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Examples, Twin,
                         ::testing::Combine(::testing::ValuesIn(kTwinItems), ::testing::Bool()));

}  // namespace
}  // namespace karvex
