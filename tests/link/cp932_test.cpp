// The one CP932 converter of each platform (the same table runs on Linux and under Wine): what
// goes out for each kind of character, what a refused or undecodable character does to the text
// around it, and converters on several threads at once.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "link/cp932.h"

namespace karvex {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

struct EncodeCase {
    const char* name;
    std::string utf8;
    std::string cp932;
    bool unmappable;
};

const EncodeCase kEncodeCases[] = {
    {"empty", "", "", false},
    {"ASCII and control bytes as they are", "AT+X=\"a\"\r\n\x1A", "AT+X=\"a\"\r\n\x1A", false},
    {"kana, kanji, half-width kana", "テスト漢字ｱ", "\x83\x65\x83\x58\x83\x67\x8A\xBF\x8E\x9A\xB1",
     false},
    {"full-width forms CP932 holds", "\uFF5E\u2015\uFFE5", "\x81\x60\x81\x5C\x81\x8F", false},
    // Without best-fit: a "¥" sent as a backslash would change what the board is told.
    {"look-alikes are refused, not sent as ASCII or their full-width forms",
     "\u00A5\u203E\u301C\u2014", "????", true},
    {"a refused character spoils no later one", "éテxéあ", "?\x83\x65x?\x82\xA0", true},
    {"a character beyond the BMP is one '?'", "a\U0001F600b", "a?b", true},
    {"a byte that is not UTF-8 takes nothing along",
     "a\xFF"
     "b\xC3"
     "c",
     "a?b?c", true},
};

struct DecodeCase {
    const char* name;
    std::string cp932;
    std::string utf8;
};

const DecodeCase kDecodeCases[] = {
    {"control bytes are themselves, never Ctrl-Z", "\x1A\x1C\x7F", "\x1A\x1C\x7F"},
    {"kana, kanji, half-width kana", "\x83\x65\x83\x58\x83\x67\x8A\xBF\x8E\x9A\xB1", "テスト漢字ｱ"},
    {"a bad trail byte is decoded on its own", "\x81\x7Fz", kFffd + "\x7Fz"},
    {"an unassigned pair", "\x85\x40", kFffd + "@"},
    {"a lead byte at the end", "a\x82", "a" + kFffd},
};

TEST(Cp932, EncodesWhatItHoldsAndReportsWhatItReplaces) {
    for (const EncodeCase& c : kEncodeCases) {
        SCOPED_TRACE(c.name);
        bool unmappable = !c.unmappable;
        EXPECT_EQ(Cp932FromUtf8(c.utf8, &unmappable), c.cp932);
        EXPECT_EQ(unmappable, c.unmappable);
        // Refusing is the same conversion: nothing exactly when something was replaced.
        EXPECT_EQ(StrictCp932FromUtf8(c.utf8),
                  c.unmappable ? std::nullopt : std::optional<std::string>(c.cp932));
    }
}

TEST(Cp932, DecodesForDisplayWithReplacementCharacters) {
    for (const DecodeCase& c : kDecodeCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utf8FromCp932(c.cp932), c.utf8);
    }
}

// The log decodes one character at a time: one, two and three bytes of UTF-8 give their unit;
// anything but exactly one character is U+FFFD, never its first unit or a cut-off lead byte.
TEST(Cp932, DecodesOneCharacterForTheLog) {
    const std::pair<std::string, char16_t> cases[] = {
        {"A", u'A'},          {"\x1B", u'\x1B'},    {"\xB1", u'ｱ'},
        {"\x81\x8F", u'￥'},  {"\x83\x65", u'テ'},  {"\x81", 0xFFFD},
        {"\x81\x7F", 0xFFFD}, {"\x85\x40", 0xFFFD}, {"ab", 0xFFFD},
    };
    for (const auto& [bytes, unit] : cases) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        EXPECT_EQ(static_cast<int>(Utf16CharFromCp932(bytes)), static_cast<int>(unit));
    }
}

// Conversions run on the window's and the worker's threads and on every board's thread of
// karvex-run: no converter state may be shared between them.
TEST(Cp932, ThreadsConvertAtTheSameTime) {
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int& count : wrong) {
        threads.emplace_back([&count] {
            for (int round = 0; round < 200; ++round) {
                for (const EncodeCase& c : kEncodeCases) count += Cp932FromUtf8(c.utf8) != c.cp932;
                for (const DecodeCase& c : kDecodeCases) count += Utf8FromCp932(c.cp932) != c.utf8;
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace karvex
