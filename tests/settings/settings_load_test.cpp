// Reading the settings file: line ends, the model and port lines, texts, short files, odd paths.
#include <sys/stat.h>

#include <climits>

#include "settings_test_util.h"
#include "window/settings_file.h"

namespace karvex {
namespace {

using testing::WriteBytes;

// A state that no successful load of the files below produces, to see what a failed load changed.
Settings Sentinel() {
    Settings s;
    s.tolva2 = true;
    s.port = 42;
    s.apn = "keep-apn";
    s.user = "keep-user";
    s.password = "keep-password";
    s.phone = "keep-phone";
    return s;
}

void ExpectUnchanged(const Settings& s) {
    const Settings sentinel = Sentinel();
    EXPECT_EQ(s.tolva2, sentinel.tolva2);
    EXPECT_EQ(s.port, sentinel.port);
    EXPECT_EQ(s.apn, sentinel.apn);
    EXPECT_EQ(s.user, sentinel.user);
    EXPECT_EQ(s.password, sentinel.password);
    EXPECT_EQ(s.phone, sentinel.phone);
}

class LoadTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString Path() const { return dir_.filePath(QStringLiteral("karvex.ini")); }

    // Writes `bytes` and loads them; the result of the load.
    int Load(const QByteArray& bytes, Settings& out) {
        WriteBytes(Path(), bytes);
        return LoadSettings(Path(), out);
    }

    QTemporaryDir dir_;
};

struct ModelCase {
    const char* line1;
    bool tolva2;
};

TEST_F(LoadTest, OnlyTheFirstCharacterOfTheModelLineCounts) {
    const ModelCase cases[] = {
        {"1", true},  {"1abc", true}, {"10", true},  {"0", false}, {"01", false},
        {"2", false}, {"", false},    {" 1", false}, {"x", false},
    };
    for (const ModelCase& c : cases) {
        SCOPED_TRACE(c.line1);
        Settings s = Sentinel();
        ASSERT_EQ(Load(QByteArray(c.line1) + "\r\n3\r\n\r\n\r\n\r\n\r\n", s), 0);
        EXPECT_EQ(s.tolva2, c.tolva2);
        EXPECT_EQ(s.port, 3);
    }
}

struct PortCase {
    const char* line2;
    long port;
};

TEST_F(LoadTest, PortLineIsReadAsStrtolReadsIt) {
    const PortCase cases[] = {
        {"0", 0},
        {"100", 100},
        {" 7", 7},
        {"\t 12", 12},
        {"+3", 3},
        {"-5", -5},
        {"x", 0},
        {"", 0},
        {"12abc", 12},
        {"3 4", 3},
        {"099", 99},
        {"+", 0},
        {"- 4", 0},
        {"0x10", 0},
        {"99", 99},
        {"99999999999999999999999", LONG_MAX},
        {"-99999999999999999999999", LONG_MIN},
    };
    for (const PortCase& c : cases) {
        SCOPED_TRACE(c.line2);
        Settings s = Sentinel();
        ASSERT_EQ(Load(QByteArray("0\r\n") + c.line2 + "\r\napn\r\nu\r\np\r\n123\r\n", s), 0);
        EXPECT_EQ(s.port, c.port);
        // Nothing after the port line moved.
        EXPECT_EQ(s.apn, "apn");
        EXPECT_EQ(s.phone, "123");
    }
}

struct TextCase {
    const char* name;
    QByteArray file;
    std::string apn, user, password, phone;
};

TEST_F(LoadTest, TextLinesLoseOnlyTheirLineEnd) {
    const TextCase cases[] = {
        {"crlf", "0\r\n1\r\napn\r\nuser\r\npass\r\n0312345678\r\n", "apn", "user", "pass",
         "0312345678"},
        {"lf only", "0\n1\napn\nuser\npass\nphone\n", "apn", "user", "pass", "phone"},
        {"empty apn", "0\r\n1\r\n\r\nuser\r\npass\r\nphone\r\n", "", "user", "pass", "phone"},
        {"white space kept", "0\r\n1\r\n  a p n \t\r\n user\r\n\tpass\r\nph one \r\n", "  a p n \t",
         " user", "\tpass", "ph one "},
        // Only one CR before the LF belongs to the line end; a lone CR is text.
        {"stray CRs", "0\r\n1\r\na\rb\r\nc\r\r\nd\r\ne\r\n", "a\rb", "c\r", "d", "e"},
        {"last line without LF", "0\r\n1\r\na\r\nb\r\nc\r\nd", "a", "b", "c", "d"},
        {"last line ends in a lone CR", "0\r\n1\r\na\r\nb\r\nc\r\nd\r", "a", "b", "c", "d\r"},
        {"lines after the sixth ignored", "0\r\n1\r\na\r\nb\r\nc\r\nd\r\ne\r\nf\r\n", "a", "b", "c",
         "d"},
        {"NUL ends a value", QByteArrayLiteral("0\r\n1\r\nab\0cd\r\nu\r\np\r\nq\r\n"), "ab", "u",
         "p", "q"},
        {"CP932 text",
         "0\r\n1\r\n\x83\x65\x83\x58\x83\x67\r\n\x82\xA0\x81\x40\r\n\x8A\xBF\x8E\x9A\r\n"
         "\xB1\xCC\xDF\xD8\r\n",
         "テスト", "あ\u3000", "漢字", "ｱﾌﾟﾘ"},
    };
    for (const TextCase& c : cases) {
        SCOPED_TRACE(c.name);
        Settings s = Sentinel();
        ASSERT_EQ(Load(c.file, s), 0);
        EXPECT_FALSE(s.tolva2);
        EXPECT_EQ(s.port, 1);
        EXPECT_EQ(s.apn, c.apn);
        EXPECT_EQ(s.user, c.user);
        EXPECT_EQ(s.password, c.password);
        EXPECT_EQ(s.phone, c.phone);
    }
}

TEST_F(LoadTest, LongValuesAreReadWholeAndShiftNothing) {
    for (const int length : {254, 255, 256, 300, 70000}) {
        SCOPED_TRACE(length);
        const QByteArray longValue(length, 'a');
        Settings s = Sentinel();
        ASSERT_EQ(Load("1\r\n5\r\n" + longValue + "\r\n" + longValue + "u\r\npass\r\nphone\r\n", s),
                  0);
        EXPECT_TRUE(s.tolva2);
        EXPECT_EQ(s.port, 5);
        EXPECT_EQ(s.apn, longValue.toStdString());
        EXPECT_EQ(s.user, (longValue + "u").toStdString());
        EXPECT_EQ(s.password, "pass");
        EXPECT_EQ(s.phone, "phone");
    }
}

TEST_F(LoadTest, FewerThanSixLinesLoadNothing) {
    const QByteArray files[] = {
        "",
        "1",
        "1\r\n",
        "1\r\n3\r\napn\r\nuser\r\npass\r\n",  // the phone line missing
        "1\r\n3\r\napn\r\nuser\r\n\r\n",
    };
    for (const QByteArray& file : files) {
        SCOPED_TRACE(file.toStdString());
        Settings s = Sentinel();
        EXPECT_LT(Load(file, s), 0);
        ExpectUnchanged(s);
    }
}

TEST_F(LoadTest, QuotesAroundThePathAreIgnored) {
    WriteBytes(Path(), "1\r\n4\r\na\r\nb\r\nc\r\nd\r\n");
    for (const QString& quoted :
         {"\"" + Path() + "\"", "\"\"" + Path(), Path() + "\"\"\"", "\"\"" + Path() + "\""}) {
        SCOPED_TRACE(quoted.toStdString());
        Settings s;
        ASSERT_EQ(LoadSettings(quoted, s), 0);
        EXPECT_TRUE(s.tolva2);
        EXPECT_EQ(s.port, 4);
        EXPECT_EQ(s.phone, "d");
    }
    // A quote inside the name is part of it.
    const QString inner = dir_.filePath(QStringLiteral("a\"b.ini"));
    WriteBytes(inner, "1\r\n8\r\na\r\nb\r\nc\r\nd\r\n");
    Settings s;
    ASSERT_EQ(LoadSettings("\"" + inner + "\"", s), 0);
    EXPECT_EQ(s.port, 8);
}

TEST_F(LoadTest, PathsThatAreNoReadableFileFailWithoutBlocking) {
    const QString fifo = dir_.filePath(QStringLiteral("fifo.ini"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString paths[] = {
        QString(),
        QStringLiteral("\"\"\""),
        dir_.filePath(QStringLiteral("missing.ini")),
        dir_.path(),  // a directory
        fifo,         // opening it for reading would wait for a writer forever
        QStringLiteral("/dev/zero"),
    };
    for (const QString& path : paths) {
        SCOPED_TRACE(path.toStdString());
        Settings s = Sentinel();
        EXPECT_LT(LoadSettings(path, s), 0);
        ExpectUnchanged(s);
    }
}

}  // namespace
}  // namespace karvex
