// The real window, copied into an installed layout (<prefix>/bin beside <prefix>/share/karvex)
// and into a portable folder, run as its own process: where it keeps its settings, that it reads
// them back at the next start, and that an installed copy writes nothing beside itself.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "resources/main_dialog.h"
#include "window/modem_test_dlg.h"

extern char** environ;

namespace karvex {
namespace {

namespace fs = std::filesystem;

// Child: open the window as a user starts it, report the settings path and the APN it loaded,
// type `apn` when given, and close it through a close request (which saves).
int Child(int argc, char** argv) {
    const std::string apn = argc >= 3 ? argv[2] : "";
    QApplication app(argc, argv);
    CModemTestDlg dlg;
    dlg.show();
    auto* field = static_cast<QLineEdit*>(dlg.Control(res::kIdApn));
    std::printf("%s\n%s\n", dlg.SettingsPath().toStdString().c_str(),
                field->text().toStdString().c_str());
    if (!apn.empty()) field->setText(QString::fromStdString(apn));
    dlg.close();
    return 0;
}

struct ChildResult {
    bool ok = false;
    std::string settingsPath;
    std::string loadedApn;
};

// Runs `exe --child apn` with HOME and XDG_CONFIG_HOME as given (unset when nullopt).
ChildResult RunCopy(const fs::path& exe, const std::string& apn, const std::string& home,
                    const std::optional<std::string>& xdg) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string_view v(*e);
        if (!v.starts_with("HOME=") && !v.starts_with("XDG_CONFIG_HOME=") &&
            !v.starts_with("QT_QPA_PLATFORM=")) {
            env.emplace_back(v);
        }
    }
    env.push_back("HOME=" + home);
    env.push_back("QT_QPA_PLATFORM=offscreen");
    if (xdg) env.push_back("XDG_CONFIG_HOME=" + *xdg);
    std::vector<char*> envp;
    for (std::string& s : env) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string exeText = exe.string(), mode = "--child", apnText = apn;
    char* argv[] = {exeText.data(), mode.data(), apnText.data(), nullptr};

    ChildResult result;
    int out[2];
    if (pipe(out) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, exeText.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string text;
    char buffer[512];
    for (ssize_t n; rc == 0 && (n = read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, n);
    close(out[0]);
    int status = 0;
    if (rc != 0 || waitpid(pid, &status, 0) != pid) return result;
    const size_t nl = text.find('\n');
    if (nl == std::string::npos || !text.ends_with('\n')) return result;
    result.settingsPath = text.substr(0, nl);
    result.loadedApn = text.substr(nl + 1, text.size() - nl - 2);
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

std::vector<std::string> Entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
    return names;
}

unsigned Mode(const fs::path& p) {
    struct stat st {};
    return stat(p.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

TEST(SettingsLayout, InstalledCopiesUseTheUsersFolderPortableOnesTheirOwn) {
    const fs::path root =
        fs::temp_directory_path() / ("karvex-installed-" + std::to_string(getpid()));
    fs::remove_all(root);
    const struct {
        const char* name;
        const char* exe;                 // relative to the scratch root
        const char* dataDir;             // created beside, relative to the root; "" none
        std::optional<std::string> xdg;  // relative to the root
        const char* settings;            // expected, relative to the root
        const char* createdDir;          // the folder the first save creates (0700); "" none
    } cases[] = {
        {"installed", "usr/bin/karvex", "usr/share/karvex", std::nullopt,
         "home/.config/karvex/karvex.ini", "home/.config/karvex"},
        {"installed, XDG folder", "local/bin/karvex", "local/share/karvex", "xdg",
         "xdg/karvex/karvex.ini", "xdg/karvex"},
        {"portable", "portable/karvex", "", std::nullopt, "portable/karvex.ini", ""},
        {"a bin folder of no installation", "opt/bin/karvex", "", std::nullopt,
         "opt/bin/karvex.ini", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(root);
        const fs::path exe = root / c.exe;
        fs::create_directories(exe.parent_path());
        fs::create_directories(root / "home");
        if (c.dataDir[0] != '\0') fs::create_directories(root / c.dataDir);
        fs::copy_file("/proc/self/exe", exe);
        const std::optional<std::string> xdg =
            c.xdg ? std::optional<std::string>((root / *c.xdg).string()) : std::nullopt;

        const ChildResult first = RunCopy(exe, "lab.apn", (root / "home").string(), xdg);
        ASSERT_TRUE(first.ok);
        EXPECT_EQ(first.settingsPath, (root / c.settings).string());
        EXPECT_EQ(first.loadedApn, "");
        EXPECT_EQ(Mode(root / c.settings), 0600u);
        if (c.createdDir[0] != '\0') {
            EXPECT_EQ(Mode(root / c.createdDir), 0700u);
            // Nothing was written beside the installed executable.
            EXPECT_EQ(Entries(exe.parent_path()), std::vector<std::string>{"karvex"});
        } else {
            EXPECT_FALSE(fs::exists(root / "home/.config/karvex"));
        }

        const ChildResult second = RunCopy(exe, "", (root / "home").string(), xdg);
        ASSERT_TRUE(second.ok);
        EXPECT_EQ(second.loadedApn, "lab.apn");
        if (c.createdDir[0] != '\0') {
            EXPECT_EQ(Entries(exe.parent_path()), std::vector<std::string>{"karvex"});
            EXPECT_EQ(Entries(root / c.createdDir), std::vector<std::string>{"karvex.ini"});
        }
    }
    fs::remove_all(root);
}

}  // namespace
}  // namespace karvex

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "--child") return karvex::Child(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
