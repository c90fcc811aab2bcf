// The settings path beside the executable.
#include <QFile>
#include <QFileInfo>

#include "link/program_path.h"
#include "link/program_places.h"
#include "settings_test_util.h"
#include "window/settings_file.h"

namespace karvex {
namespace {

struct PathCase {
    const char* executable;
    const char* settings;
};

TEST(SettingsPathTest, BaseNameWithIniBesideTheExecutable) {
    const PathCase cases[] = {
        {"/opt/karvex/karvex", "/opt/karvex/karvex.ini"},
        {"/opt/karvex/karvex.bin", "/opt/karvex/karvex.ini"},
        {"/opt/tools.d/karvex", "/opt/tools.d/karvex.ini"},  // a dot in the directory only
        {"/opt/my.tool.exe", "/opt/my.tool.ini"},            // only the last extension goes
        {"/opt/.karvex", "/opt/.karvex.ini"},                // a leading dot is part of the name
        {"karvex", "karvex.ini"},
        {"/karvex", "/karvex.ini"},
        {"/opt/ツール/カーベックス", "/opt/ツール/カーベックス.ini"},
        {"", ""},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.executable);
        EXPECT_EQ(ProgramPlacesOf(c.executable).besideSettings, c.settings);
    }
}

TEST(SettingsPathTest, ExecutablePathIsThisTestProgram) {
    const QString path = QFile::decodeName(ExecutablePath().c_str());
    ASSERT_FALSE(path.isEmpty());
    const QFileInfo info(path);
    EXPECT_TRUE(info.isAbsolute());
    EXPECT_TRUE(info.isFile());
    EXPECT_EQ(info.fileName(), QStringLiteral("settings_file_test"));
    EXPECT_EQ(QFile::decodeName(ThisProgramsPlaces().settings.c_str()),
              path + QStringLiteral(".ini"));
}

}  // namespace
}  // namespace karvex
