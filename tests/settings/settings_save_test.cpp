// Writing the settings file: exact bytes, round trips, replacing, permissions, unwritable paths.
#include <sys/stat.h>

#include "settings_test_util.h"
#include "window/settings_file.h"

namespace karvex {
namespace {

using testing::OtherEntries;
using testing::ReadBytes;
using testing::WriteBytes;

class SaveTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString Path() const { return dir_.filePath(QStringLiteral("karvex.ini")); }

    static mode_t ModeOf(const QString& path) {
        struct stat st {};
        EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
        return st.st_mode & 07777;
    }

    QTemporaryDir dir_;
};

Settings Make(bool tolva2, long port, std::string apn, std::string user, std::string password,
              std::string phone) {
    Settings s;
    s.tolva2 = tolva2;
    s.port = port;
    s.apn = std::move(apn);
    s.user = std::move(user);
    s.password = std::move(password);
    s.phone = std::move(phone);
    return s;
}

TEST_F(SaveTest, ExampleIsFourteenBytes) {
    ASSERT_TRUE(SaveSettings(Path(), Make(true, 3, {}, {}, {}, {})));
    EXPECT_EQ(ReadBytes(Path()).toHex(' '),
              QByteArray("31 0d 0a 33 0d 0a 0d 0a 0d 0a 0d 0a 0d 0a"));
    EXPECT_TRUE(OtherEntries(dir_, QStringLiteral("karvex.ini")).isEmpty());
}

struct BytesCase {
    const char* name;
    Settings values;
    QByteArray file;
};

TEST_F(SaveTest, WritesSixCrLfLines) {
    const BytesCase cases[] = {
        {"first model, no port", Make(false, 0, "a", "b", "c", "d"),
         "0\r\n0\r\na\r\nb\r\nc\r\nd\r\n"},
        {"COM99", Make(true, 99, {}, {}, {}, {}), "1\r\n99\r\n\r\n\r\n\r\n\r\n"},
        {"ASCII white space trimmed at both ends, kept inside",
         Make(false, 1, " \t\r\n\v\fin side \t\r\n\v\f", "  u  ", "\tp\t", "\r\n"),
         "0\r\n1\r\nin side\r\nu\r\np\r\n\r\n"},
        // The full-width space is text, not white space, and stays at either end.
        {"CP932", Make(false, 2, "テスト", "\u3000あ\u3000", "漢字", "ｱﾌﾟﾘ"),
         "0\r\n2\r\n\x83\x65\x83\x58\x83\x67\r\n\x81\x40\x82\xA0\x81\x40\r\n\x8A\xBF\x8E\x9A\r\n"
         "\xB1\xCC\xDF\xD8\r\n"},
        {"unmappable characters become ?", Make(false, 1, "a\U0001F600b", "\u00e9", "p", "q"),
         "0\r\n1\r\na?b\r\n?\r\np\r\nq\r\n"},
        // A lone surrogate in a field (as the window hands its text over) is one '?' and leaves
        // the character after it alone.
        {"lone surrogates become ?",
         Make(false, 1,
              QString::fromUtf16(u"a\xD83D"
                                 u"b")
                  .toStdString(),
              QString::fromUtf16(u"\xDE00"
                                 u"c")
                  .toStdString(),
              "p", QString::fromUtf16(u"x\xD83D").toStdString()),
         "0\r\n1\r\na?b\r\n?c\r\np\r\nx?\r\n"},
        // A line break inside a value would shift every later line.
        {"line breaks inside become spaces", Make(false, 1, "a\nb", "c\r\nd", "p", "q"),
         "0\r\n1\r\na b\r\nc\r d\r\np\r\nq\r\n"},
    };
    for (const BytesCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(SaveSettings(Path(), c.values));
        EXPECT_EQ(ReadBytes(Path()), c.file);
    }
}

TEST_F(SaveTest, RoundTripKeepsEverythingButEndWhiteSpace) {
    const std::string longText = std::string(300, 'x') + "末尾";
    const Settings cases[] = {
        Make(true, 3, "  internet.例え.jp ", "ユーザー 名", "\tパス ワード\t", "090-1234-5678"),
        Make(false, 99, longText, longText, longText, longText),
        Make(false, 0, {}, {}, {}, {}),
        Make(true, 1, "\u3000全角\u3000", "a\rb", "#;=[x]", "\"q\""),
    };
    for (const Settings& saved : cases) {
        SCOPED_TRACE(saved.apn);
        ASSERT_TRUE(SaveSettings(Path(), saved));
        Settings loaded;
        ASSERT_EQ(LoadSettings(Path(), loaded), 0);
        EXPECT_EQ(loaded.tolva2, saved.tolva2);
        EXPECT_EQ(loaded.port, saved.port);
        const auto trimmed = [](const std::string& s) {
            // What the save removes: the six ASCII white-space characters only.
            const size_t b = s.find_first_not_of(" \t\n\v\f\r");
            return b == std::string::npos ? std::string()
                                          : s.substr(b, s.find_last_not_of(" \t\n\v\f\r") + 1 - b);
        };
        EXPECT_EQ(loaded.apn, trimmed(saved.apn));
        EXPECT_EQ(loaded.user, trimmed(saved.user));
        EXPECT_EQ(loaded.password, trimmed(saved.password));
        EXPECT_EQ(loaded.phone, trimmed(saved.phone));
    }
    EXPECT_TRUE(OtherEntries(dir_, QStringLiteral("karvex.ini")).isEmpty());
}

TEST_F(SaveTest, ReplacesALongerFileWhole) {
    WriteBytes(Path(), QByteArray(5000, 'z') + "\r\n");
    ASSERT_TRUE(SaveSettings(Path(), Make(false, 1, {}, {}, {}, {})));
    EXPECT_EQ(ReadBytes(Path()), QByteArray("0\r\n1\r\n\r\n\r\n\r\n\r\n"));
}

TEST_F(SaveTest, NewFileIsPrivateWhateverTheUmask) {
    for (const mode_t mask : {mode_t{022}, mode_t{0}, mode_t{077}}) {
        SCOPED_TRACE(mask);
        QFile::remove(Path());
        const mode_t old = ::umask(mask);
        const bool saved = SaveSettings(Path(), Make(false, 1, "a", "b", "secret", "d"));
        ::umask(old);
        ASSERT_TRUE(saved);
        EXPECT_EQ(ModeOf(Path()), mode_t{0600});
    }
}

TEST_F(SaveTest, ExistingFileKeepsItsPermissions) {
    const mode_t old = ::umask(022);
    for (const mode_t mode : {mode_t{0644}, mode_t{0640}, mode_t{0666}, mode_t{0600}}) {
        SCOPED_TRACE(mode);
        WriteBytes(Path(), "old\n");
        ASSERT_EQ(::chmod(QFile::encodeName(Path()).constData(), mode), 0);
        ASSERT_TRUE(SaveSettings(Path(), Make(true, 2, "a", "b", "c", "d")));
        EXPECT_EQ(ModeOf(Path()), mode);
        EXPECT_EQ(ReadBytes(Path()), QByteArray("1\r\n2\r\na\r\nb\r\nc\r\nd\r\n"));
    }
    ::umask(old);
}

TEST_F(SaveTest, UnwritablePathsReportFailureAndCreateNothing) {
    // Tests may run as root, whom a read-only directory does not stop; a regular file where a
    // directory should be stops everyone.
    const QString notADir = dir_.filePath(QStringLiteral("plain"));
    WriteBytes(notADir, "x");
    const QString paths[] = {
        notADir + QStringLiteral("/karvex.ini"),
        dir_.filePath(QStringLiteral("missing/karvex.ini")),
        QString(),
    };
    for (const QString& path : paths) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_FALSE(SaveSettings(path, Make(true, 3, "a", "b", "c", "d")));
        EXPECT_FALSE(QFileInfo::exists(path));
    }
    EXPECT_EQ(OtherEntries(dir_, {}), QStringList{QStringLiteral("plain")});
    EXPECT_EQ(ReadBytes(notADir), QByteArray("x"));

    // A directory in the file's place is left alone.
    const QString dirInPlace = dir_.filePath(QStringLiteral("sub.ini"));
    ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("sub.ini")));
    EXPECT_FALSE(SaveSettings(dirInPlace, Make(true, 3, "a", "b", "c", "d")));
    EXPECT_TRUE(QFileInfo(dirInPlace).isDir());
}

}  // namespace
}  // namespace karvex
