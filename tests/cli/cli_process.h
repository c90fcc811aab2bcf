// Runs karvex-run as a real process: its stdout and stderr into files, its exit status and how
// long it ran.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace karvex::clitest {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

inline std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A scratch directory of the test's own, removed afterwards.
struct ScratchDir {
    fs::path path;
    explicit ScratchDir(const std::string& name)
        : path(fs::temp_directory_path() /
               ("karvex-run-" + name + "-" + std::to_string(getpid()))) {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~ScratchDir() { fs::remove_all(path); }
};

class CliProcess {
  public:
    CliProcess(const std::vector<std::string>& args, const fs::path& dir) : dir_(dir) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, (dir / "stdout").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, (dir / "stderr").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<char*> argv{const_cast<char*>(KARVEX_RUN_PROGRAM)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        start_ = SteadyClock::now();
        if (posix_spawn(&pid_, KARVEX_RUN_PROGRAM, &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CliProcess() {
        if (pid_ > 0 && !waited_) {
            kill(pid_, SIGKILL);
            Wait();
        }
    }

    bool Started() const { return pid_ > 0; }
    void Signal(int signal) const { kill(pid_, signal); }

    // The exit status (-1 when it died of a signal).
    int Wait() {
        if (!waited_ && pid_ > 0) {
            int status = 0;
            waitpid(pid_, &status, 0);
            end_ = SteadyClock::now();
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            waited_ = true;
        }
        return status_;
    }
    SteadyClock::time_point Ended() const { return end_; }
    double Seconds() const { return std::chrono::duration<double>(end_ - start_).count(); }
    std::string Out() const { return ReadAll(dir_ / "stdout"); }
    std::string Err() const { return ReadAll(dir_ / "stderr"); }

  private:
    fs::path dir_;
    pid_t pid_ = -1;
    bool waited_ = false;
    int status_ = -1;
    SteadyClock::time_point start_{}, end_{};
};

// Runs to the end.
struct Finished {
    int status;
    double seconds;
    std::string out, err;
};
inline Finished RunCli(const std::vector<std::string>& args, const fs::path& dir) {
    CliProcess process(args, dir);
    const int status = process.Wait();
    return {status, process.Seconds(), process.Out(), process.Err()};
}

// The lines of `text`.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream s(text);
    for (std::string line; std::getline(s, line);) lines.push_back(line);
    return lines;
}

}  // namespace karvex::clitest
