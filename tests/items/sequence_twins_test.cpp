// Each example twin builds, for any inputs, exactly the list its built-in item builds (commands,
// time-outs, expected replies, no failure replies of its own) and shows the same commands in
// reports, or is refused with the same message.
#include <gtest/gtest.h>

#include <string>

#include "tests/items/sequence_twins.h"

namespace karvex {
namespace {

using namespace karvex::testing;

// Entries that the items treat differently: trimmed or not, checked before or after the trim,
// optional, CP932 bytes, a command filled to its last byte and one byte past it, control bytes
// that would end a command early, and text the window could not turn into CP932.
struct Variant {
    const char* name;
    std::string apn, user, password, phone, smsNumber;
    bool unmappable = false;
};
const Variant kVariants[] = {
    {"standard", "apn.example", "user", "pass", "09012345678", "1"},
    {"blanks", " \tapn x \r\n", " u x ", "\tp\v", " 090 1 ", " 1 "},
    {"only blanks", "  ", "", "", "  ", "  "},
    {"empty", "", "", "", "", ""},
    {"CP932", "\x83\x65\x83\x58", "\x83\x65", "", "\x83\x58", "\x82\xA0"},
    {"exact fit", std::string(62, 'a'), "", "", std::string(69, '0'), std::string(71, '1')},
    {"one byte over", std::string(63, 'a'), std::string(32, 'u'), std::string(32, 'p'),
     std::string(70, '0'), std::string(72, '1')},
    {"control bytes", "apn\rAT+CFUN=4", "u\x7F", "p\x1B", "090\r", "1\tx"},
    {"unmappable", "apn?", "u?", "p?", "09?", "1?", true},
};

class Twin : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(Twin, BuildsWhatItsItemBuildsForEveryInput) {
    const auto [item, tolva2] = GetParam();
    const std::shared_ptr<const Sequence> twin = LoadTwin(item);
    ASSERT_NE(twin, nullptr);
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.name);
        TestInputs builtIn = StandardInputs(item, tolva2);
        builtIn.apn = v.apn;
        builtIn.user = v.user;
        builtIn.password = v.password;
        builtIn.phone = v.phone;
        builtIn.smsNumber = v.smsNumber;
        builtIn.unmappable = {v.unmappable, v.unmappable, v.unmappable, v.unmappable, v.unmappable};
        TestInputs file = builtIn;
        file.sequence = twin;
        std::string wantMessage, gotMessage;
        const auto want = BuildTestItem(builtIn, wantMessage);
        const auto got = BuildTestItem(file, gotMessage);
        EXPECT_EQ(gotMessage, wantMessage);
        ASSERT_EQ(got.has_value(), want.has_value());
        if (!want) continue;
        // Reports show the same commands, the user name and password masked alike.
        EXPECT_EQ(MaskedCommands(file), MaskedCommands(builtIn));
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
