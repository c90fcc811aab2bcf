// Starting karvex-run as a child of a bench program, so that its CPU time and memory are its own.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace karvex::bench {

// Starts karvex-run with `args`, its standard output into `out` (a descriptor the child gets as
// its own; the parent's copy is left open) or thrown away; its pid, -1 when it did not start.
inline pid_t StartKarvexRun(const std::vector<std::string>& args, int out = -1) {
    std::vector<char*> argv{const_cast<char*>(KARVEX_RUN_PROGRAM)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (out >= 0) {
        posix_spawn_file_actions_adddup2(&actions, out, 1);
    } else {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    if (posix_spawn(&pid, KARVEX_RUN_PROGRAM, &actions, nullptr, argv.data(), environ) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

}  // namespace karvex::bench
