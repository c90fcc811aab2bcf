#include "tests/wine/cli_process.h"

#include <windows.h>

#include <fstream>
#include <sstream>

#include "gtest/gtest.h"

namespace karvex::clitest {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

namespace {

// One argument as CommandLineToArgvW reads it back: quoted when it holds a blank or a quote,
// backslashes doubled only before a quote.
std::wstring Quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    size_t slashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? 2 * slashes + 1 : slashes, L'\\');
        slashes = 0;
        out += c;
    }
    out.append(2 * slashes, L'\\');
    return out + L"\"";
}

}  // namespace

Finished RunCli(const std::vector<std::wstring>& args, const fs::path& dir) {
    std::wstring program = fs::path(KARVEX_RUN_PROGRAM).wstring();
    for (wchar_t& c : program) c = c == L'/' ? L'\\' : c;
    program = L"Z:" + program;  // the Unix path, through Wine's drive for /
    std::wstring line = Quoted(program);
    for (const std::wstring& a : args) line += L" " + Quoted(a);

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    auto file = [&](const wchar_t* name) {
        return CreateFileW((dir / name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = INVALID_HANDLE_VALUE;
    startup.hStdOutput = file(L"stdout");
    startup.hStdError = file(L"stderr");
    PROCESS_INFORMATION process{};
    Finished run;
    if (CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                       &startup, &process)) {
        if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 0xFFFF);
            ADD_FAILURE() << "karvex-run did not end within a minute";
        }
        GetExitCodeProcess(process.hProcess, &run.status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        ADD_FAILURE() << "cannot start karvex-run: " << GetLastError();
    }
    CloseHandle(startup.hStdOutput);
    CloseHandle(startup.hStdError);
    run.out = ReadAll(dir / L"stdout");
    run.err = ReadAll(dir / L"stderr");
    return run;
}

}  // namespace karvex::clitest
