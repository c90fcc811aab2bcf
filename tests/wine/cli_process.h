// Runs karvex-run.exe as a Windows process: its stdout and stderr into files, its exit status.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace karvex::clitest {

std::string ReadAll(const std::filesystem::path& path);

struct Finished {
    unsigned long status = 0xFFFF;
    std::string out, err;
};

// Runs karvex-run.exe with `args`, its output into files of `dir`, and waits (a minute at most).
Finished RunCli(const std::vector<std::wstring>& args, const std::filesystem::path& dir);

}  // namespace karvex::clitest
