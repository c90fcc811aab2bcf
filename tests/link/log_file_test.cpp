// The log file's default name and the save's handling of an existing file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "link/log_file.h"

namespace karvex {
namespace {

namespace fs = std::filesystem;

TEST(LogFile, DefaultNameIsPortAndLocalTimeZeroPadded) {
    const struct {
        const char* port;
        int year, month, day, hour, minute, second;
        const char* expected;
    } cases[] = {
        {"COM3", 2026, 12, 7, 14, 5, 12, "karvex-COM3-20261207-140512.log"},
        {"COM99", 2027, 1, 2, 3, 4, 5, "karvex-COM99-20270102-030405.log"},
        {"", 2026, 12, 31, 23, 59, 59, "karvex-20261231-235959.log"},
    };
    for (const auto& c : cases) {
        std::tm when{};
        when.tm_year = c.year - 1900;
        when.tm_mon = c.month - 1;
        when.tm_mday = c.day;
        when.tm_hour = c.hour;
        when.tm_min = c.minute;
        when.tm_sec = c.second;
        EXPECT_EQ(LogFileName(c.port, when), c.expected);
    }
}

TEST(LogFile, ReplacingKeepsTheFilesPermissionsAndEveryByte) {
    const fs::path dir = fs::temp_directory_path() / ("karvex-logfile-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path path = dir / "kept.log";
    std::ofstream(path) << "old";
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
    std::string every;
    for (int i = 0; i < 256; ++i) every += static_cast<char>(i);
    every += "\r\n\r\r\n";

    EXPECT_EQ(SaveLogFile(path.string(), every), "");
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), every);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    ASSERT_EQ(chmod(path.c_str(), 06755), 0);  // the log of a program's file name, saved over it
    EXPECT_EQ(SaveLogFile(path.string(), every), "");
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    // A relative name saves into the current folder.
    const fs::path cwd = fs::current_path();
    fs::current_path(dir);
    EXPECT_EQ(SaveLogFile("relative.log", "x"), "");
    fs::current_path(cwd);
    EXPECT_TRUE(fs::is_regular_file(dir / "relative.log"));
    EXPECT_NE(SaveLogFile("", "x"), "");
    fs::remove_all(dir);
}

// A trace grows by appends: created like a saved log (owner-only, a link at its name replaced,
// not written through) and then every append lands at its end.
TEST(LogFile, GrowingFileStartsLikeASaveAndOnlyAppends) {
    const fs::path dir = fs::temp_directory_path() / ("karvex-growing-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path path = dir / "1_COM3.jsonl";
    std::ofstream(dir / "elsewhere") << "keep";
    fs::create_symlink(dir / "elsewhere", path);
    {
        GrowingLogFile file;
        ASSERT_EQ(file.Create(path.string(), "first\n"), "");
        EXPECT_EQ(file.Append("second\n"), "");
        EXPECT_EQ(file.Sync(), "");
        EXPECT_EQ(file.Append("third\n"), "");
    }
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "first\nsecond\nthird\n");
    EXPECT_FALSE(fs::is_symlink(path));
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    std::ifstream kept(dir / "elsewhere");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep");
    // A folder at the name: refused, and nothing is open to append to.
    GrowingLogFile refused;
    EXPECT_NE(refused.Create(dir.string(), "x"), "");
    EXPECT_NE(refused.Append("x"), "");
    fs::remove_all(dir);
}

}  // namespace
}  // namespace karvex
