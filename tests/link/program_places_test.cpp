// Where each kind of copy keeps its files, on Linux and (the same source) under Wine: the rule
// from a layout, and what the platform reads of a real folder.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <process.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "link/program_path.h"
#include "link/program_places.h"

namespace karvex {
namespace {

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

// Paths in the table are written with '/'; the platform joins with its own separator.
std::string Native(std::string path) {
    std::replace(path.begin(), path.end(), '/', kPathSeparator);
    return path;
}
std::vector<std::string> Native(std::vector<std::string> paths) {
    for (std::string& p : paths) p = Native(p);
    return paths;
}

TEST(ProgramPlaces, EachLayoutKeepsItsFilesWhereItsUserCanKeepThem) {
    const std::string user = Native("/u/karvex"), exe = Native("/c/build/tsan/window");
    const struct {
        const char* name;
        ProgramLayout layout;
        std::string settings;
        std::vector<std::string> sequences;
        std::vector<std::string> comLinks;
    } cases[] = {
        {"build folder of the default preset: the attach script's folder once",
         {Native("/c/build/default/window"), "karvex", false, Native("/c"), user},
         "/c/build/default/window/karvex.ini",
         kWindows
             ? std::vector<std::string>{"/c/build/default/window/sequences", "/u/karvex/sequences"}
             : std::vector<std::string>{"/c/build/default/window/sequences"},
         {"/c/build/default/window"}},
        {"build folder of another preset: its own links, then the attach script's",
         {exe, "karvex", false, Native("/c"), user},
         "/c/build/tsan/window/karvex.ini",
         kWindows
             ? std::vector<std::string>{"/c/build/tsan/window/sequences", "/u/karvex/sequences"}
             : std::vector<std::string>{"/c/build/tsan/window/sequences"},
         {"/c/build/tsan/window", "/c/build/default/window"}},
        {"portable copy",
         {Native("/p"), "karvex", false, "", user},
         "/p/karvex.ini",
         kWindows ? std::vector<std::string>{"/p/sequences", "/u/karvex/sequences"}
                  : std::vector<std::string>{"/p/sequences"},
         {"/p"}},
        {"installed copy: nothing of the operator's in the package's folder",
         {Native("/i/bin"), "karvex", true, "", user},
         "/u/karvex/karvex.ini",
         {"/u/karvex/sequences"},
         {"/i/bin", "/u/karvex"}},
        {"installed copy, no user's folder: no settings rather than the package's folder",
         {Native("/i/bin"), "karvex", true, "", ""},
         "",
         {},
         {"/i/bin"}},
        {"executable unknown", {}, "", {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProgramPlaces p = PlacesFor(c.layout);
        EXPECT_EQ(p.settings, Native(c.settings));
        EXPECT_EQ(p.sequenceDirs, Native(c.sequences));
        EXPECT_EQ(p.comLinkDirs, Native(c.comLinks));
        EXPECT_EQ(p.installed, c.layout.installed);
    }
}

#ifdef _WIN32
// The installer's marker beside karvex.exe, and nothing else, makes an installed copy.
TEST(ProgramPlaces, TheInstallersMarkerMakesAnInstalledCopy) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("karvex-places-" + std::to_string(_getpid()));
    fs::create_directories(dir);
    const std::string exeDir = Utf8FromPath(dir);
    const ProgramPlaces portable = ProgramPlacesOf(exeDir + "\\karvex.exe");
    EXPECT_FALSE(portable.installed);
    EXPECT_EQ(portable.settings, exeDir + "\\karvex.ini");
    std::ofstream(dir / "installed.txt") << "x";
    const ProgramPlaces installed = ProgramPlacesOf(exeDir + "\\karvex.exe");
    EXPECT_TRUE(installed.installed);
    ASSERT_FALSE(installed.userSettings.empty());
    EXPECT_EQ(installed.settings, installed.userSettings);
    EXPECT_TRUE(installed.userSettings.ends_with("\\Karvex\\karvex.ini")) << installed.userSettings;
    fs::remove_all(dir);
}
#endif

}  // namespace
}  // namespace karvex
