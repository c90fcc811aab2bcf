// Where an installed copy and a build-folder copy keep their settings and find their COM links.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "link/install_layout.h"
#include "link/program_places.h"
#include "link/serial_port.h"

namespace karvex {
namespace {

namespace fs = std::filesystem;

// A scratch tree, removed at the end; HOME and XDG_CONFIG_HOME point into it while it lives.
class LayoutTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("karvex-layout-" + std::to_string(getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "usr/bin");
        fs::create_directories(root_ / "usr/share/karvex");
        fs::create_directories(root_ / "home");
        setenv("HOME", (root_ / "home").c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
    }
    void TearDown() override { fs::remove_all(root_); }

    std::string At(const std::string& relative) const { return (root_ / relative).string(); }
    void Link(const std::string& relativeDir, int n, const std::string& target) const {
        fs::create_directories(root_ / relativeDir / "dosdevices");
        fs::create_symlink(target,
                           root_ / relativeDir / "dosdevices" / ("com" + std::to_string(n)));
    }

    fs::path root_;
};

TEST_F(LayoutTest, InstalledIsDecidedByTheFoldersAroundTheExecutable) {
    fs::create_directories(root_ / "opt/bin");           // a bin without share/karvex
    fs::create_directories(root_ / "lib/share/karvex");  // share/karvex without a bin
    fs::create_directories(root_ / "plain/bin");
    fs::create_directories(root_ / "plain/share");
    std::ofstream(root_ / "plain/share/karvex") << "a file, not a folder";
    fs::create_directories(root_ / "build/window");
    const struct {
        std::string exeDir;
        bool installed;
    } cases[] = {
        {At("usr/bin"), true},       {At("usr/bin/"), true},  {At("usr/bin/../bin"), true},
        {At("opt/bin"), false},      {At("lib"), false},      {At("plain/bin"), false},
        {At("build/window"), false}, {At("usr/sbin"), false}, {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsInstalledLayout(c.exeDir), c.installed) << c.exeDir;
    }
}

TEST_F(LayoutTest, SettingsPathFollowsLayoutAndEnvironment) {
    const struct {
        const char* name;
        const char* exe;                      // relative to the scratch root
        std::optional<std::string> xdg;       // XDG_CONFIG_HOME; unset when empty optional
        std::optional<std::string> expected;  // relative to the scratch root; nullopt: beside
    } cases[] = {
        {"installed, default folder", "usr/bin/karvex", std::nullopt,
         "home/.config/karvex/karvex.ini"},
        {"installed, XDG folder", "usr/bin/karvex", At("xdg/"), "xdg/karvex/karvex.ini"},
        {"installed, relative XDG is ignored", "usr/bin/karvex", "xdg",
         "home/.config/karvex/karvex.ini"},
        {"installed, empty XDG is ignored", "usr/bin/karvex", "", "home/.config/karvex/karvex.ini"},
        {"installed, extension dropped", "usr/bin/karvex.bin", std::nullopt,
         "home/.config/karvex/karvex.ini"},
        {"build folder", "build/window/karvex", std::nullopt, std::nullopt},
        {"bare name", "karvex", std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.xdg) {
            setenv("XDG_CONFIG_HOME", c.xdg->c_str(), 1);
        } else {
            unsetenv("XDG_CONFIG_HOME");
        }
        const std::string exe = c.exe[0] == 'k' ? std::string(c.exe) : At(c.exe);
        const ProgramPlaces places = ProgramPlacesOf(exe);
        ASSERT_EQ(places.installed, c.expected.has_value());
        if (c.expected) {
            EXPECT_EQ(fs::path(places.settings).lexically_normal(), root_ / *c.expected);
        } else {
            EXPECT_EQ(places.settings, places.besideSettings);
        }
    }
}

TEST_F(LayoutTest, ComLinksBesideTheExecutableComeBeforeTheUsersOnes) {
    const std::string config = At("home/.config/karvex");
    Link("usr/bin", 1, "/dev/beside1");
    Link("home/.config/karvex", 1, "/dev/user1");
    Link("home/.config/karvex", 2, "/dev/user2");
    Link("build/window", 3, "/dev/build3");
    const struct {
        std::string exeDir;
        const char* com;
        std::string expected;
    } cases[] = {
        {At("usr/bin"), "\\\\.\\COM1", At("usr/bin/dosdevices/com1")},  // beside wins
        {At("usr/bin"), "\\\\.\\COM2", config + "/dosdevices/com2"},    // then the user's
        {At("usr/bin"), "\\\\.\\COM3", "/dev/ttyS2"},                   // then the serial port
        {At("build/window"), "\\\\.\\COM2", "/dev/ttyS1"},  // a build copy ignores the user's
        {At("build/window"), "\\\\.\\COM3", At("build/window/dosdevices/com3")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ResolveDevicePath(c.com, c.exeDir), c.expected) << c.exeDir << " " << c.com;
    }
}

TEST_F(LayoutTest, PrivateFoldersAreCreatedWithTheirParents) {
    const std::string deep = At("home/.config/karvex");
    ASSERT_TRUE(MakePrivateDirs(deep));
    struct stat st {};
    ASSERT_EQ(stat(deep.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(stat(At("home/.config").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(MakePrivateDirs(deep + "/"));  // already there
    std::ofstream(root_ / "home/blocked") << "x";
    EXPECT_FALSE(MakePrivateDirs(At("home/blocked/karvex")));
    EXPECT_FALSE(MakePrivateDirs(""));
}

}  // namespace
}  // namespace karvex
