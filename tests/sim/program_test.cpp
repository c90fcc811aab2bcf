// The karvex-board program: prints its device, places the COM link, logs the traffic, and on
// SIGTERM stops cleanly and removes the link.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "gtest/gtest.h"
#include "tests/sim/device.h"

extern char** environ;

namespace karvex::simtest {
namespace {

namespace fs = std::filesystem;

struct Running {
    pid_t pid = -1;
    std::string path;  // the first line of its output
};

// Starts the program with `args`, its stderr into `errFile`, and reads the device path.
Running Start(const std::vector<std::string>& args, const std::string& errFile) {
    Running run;
    int out[2];
    if (pipe(out) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    std::vector<char*> argv{const_cast<char*>(KARVEX_BOARD_PROGRAM)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int rc =
        posix_spawn(&run.pid, KARVEX_BOARD_PROGRAM, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) run.pid = -1;
    char c;
    while (run.pid > 0 && ::read(out[0], &c, 1) == 1 && c != '\n') run.path += c;
    close(out[0]);
    return run;
}

int Stop(pid_t pid, int signal) {
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(BoardProgram, ServesLinksLogsAndStops) {
    const fs::path dir = fs::temp_directory_path() / ("karvex-board-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string err = (dir / "stderr.txt").string();
    Running run = Start({"--com", "3", "--dir", dir.string(), "--time",
                         "Sun Mar  8 10:00:00 2026 JST", "--network-delay", "10"},
                        err);
    ASSERT_GT(run.pid, 0);
    ASSERT_EQ(run.path.rfind("/dev/pts/", 0), 0u) << run.path;
    const std::string link = (dir / "dosdevices" / "com3").string();
    EXPECT_EQ(fs::read_symlink(link).string(), run.path);
    {
        Device device(link);
        ASSERT_TRUE(device.IsOpen());
        ASSERT_TRUE(
            device.Write("ATE0\rAT+KHTTPCFG=1,\"h\",80\rAT+KHTTPGET=1,\"/cgi-bin/time\"\r"));
        const std::string got = device.ReadUntil("\"OK\"\r\n", Ms(3000));
        EXPECT_NE(got.find("Sun Mar  8 10:00:00 2026 JST\r\n--EOF--Pattern--"), std::string::npos)
            << got;
    }
    EXPECT_EQ(Stop(run.pid, SIGTERM), 0);
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(link)));
    const std::string log = ReadFile(err);
    EXPECT_NE(log.find("<- ATE0\\r"), std::string::npos) << log;
    EXPECT_NE(log.find("-> ATE0\\r\\r\\nOK\\r\\n"), std::string::npos) << log;
    fs::remove_all(dir);
}

TEST(BoardProgram, QuietAndInterrupted) {
    const std::string err =
        (fs::temp_directory_path() / ("karvex-q-" + std::to_string(getpid()))).string();
    Running run = Start({"--quiet", "--gps-interval", "0"}, err);
    ASSERT_GT(run.pid, 0);
    {
        Device device(run.path);
        ASSERT_TRUE(device.Write("AT\r"));
        EXPECT_EQ(device.ReadCount(9, Ms(2000)), "AT\r\r\nOK\r\n");
    }
    EXPECT_EQ(Stop(run.pid, SIGINT), 0);
    EXPECT_EQ(ReadFile(err), "");
    fs::remove(err);
}

TEST(BoardProgram, RefusesBadOptions) {
    const std::string err =
        (fs::temp_directory_path() / ("karvex-b-" + std::to_string(getpid()))).string();
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--com", "1"}, {"--gps-interval", "x"}, {"--what"}}) {
        Running run = Start(args, err);
        ASSERT_GT(run.pid, 0);
        EXPECT_EQ(run.path, "");
        int status = 0;
        waitpid(run.pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << args[0];
    }
    fs::remove(err);
}

}  // namespace
}  // namespace karvex::simtest
