// karvex-run.exe as a real Windows process under Wine, on the simulated boards of two nested
// karvex-board-hosts: what only the Windows build can get wrong (COMn names, UTF-16 arguments,
// Windows paths, the exit status through CreateProcess, two COM ports at once).
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "sim/board.h"
#include "tests/cli/board_traffic.h"
#include "tests/items/board_rig.h"
#include "tests/wine/cli_process.h"

namespace karvex::clitest {
namespace {

namespace fs = std::filesystem;
using sim::Behaviour;
using testing::ExpectedRun;
using testing::WireBytes;

// A scratch folder of the test's own with a blank and Japanese in its name, removed afterwards.
struct ScratchDir {
    fs::path path;
    explicit ScratchDir(const std::wstring& name)
        : path(fs::temp_directory_path() / (L"karvex run ログ " + name)) {
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~ScratchDir() { fs::remove_all(path); }
};

std::unique_ptr<sim::Board> Served(std::unique_ptr<sim::Board> board) {
    board->SetTimeLine(testing::kServedTimeLine);
    board->SetNetworkDelay(std::chrono::milliseconds(10));
    return board;
}

std::wstring Com(const sim::Board& board) {
    const std::string path = board.DevicePath();  // \\.\COMn
    return std::wstring(path.begin() + 4, path.end());
}

std::string Expected(std::initializer_list<int> items) {
    std::string bytes;
    for (const int item : items) bytes += WireBytes(ExpectedRun(item));
    return bytes;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

struct RunCase {
    const char* name;
    // The arguments; "{board}" and "{outer}" become the two boards' COM names, "{rfc2217}" and
    // "{tcp}" the board's addresses behind ser2net, "{dir}" the scratch folder.
    std::vector<std::wstring> args;
    unsigned long status;
    std::string received;               // what the board must receive, byte for byte
    std::string outerReceived;          // and the outer board
    std::vector<std::string> outHolds;  // substrings of stdout, each with its count
    const char* errHolds = "";
    const char* failPrefix = "";  // the command the board answers ERROR to
    struct Holds {
        std::string file;  // in the scratch folder, "{board}" as above
        std::string text;
        size_t count;
    };
    std::vector<Holds> files = {};  // what the files the run writes hold
};

void PrintTo(const RunCase& c, std::ostream* os) {
    *os << c.name;
}

class KarvexRunExe : public ::testing::TestWithParam<RunCase> {};

TEST_P(KarvexRunExe, ExitStatusWireBytesAndLines) {
    const RunCase& c = GetParam();
    ScratchDir dir(std::wstring(c.name, c.name + std::strlen(c.name)));
    auto board = Served(std::make_unique<sim::Board>());
    auto outer = Served(std::make_unique<sim::Board>(sim::Board::Outer{}));
    if (*c.failPrefix) {
        Behaviour error;
        error.kind = Behaviour::Kind::Error;
        board->SetBehaviour(c.failPrefix, error);
    }
    std::vector<std::wstring> args;
    for (std::wstring a : c.args) {
        if (a == L"{board}") a = Com(*board);
        if (a == L"{outer}") a = Com(*outer);
        if (a == L"{rfc2217}" || a == L"{tcp}") {
            const std::string address = board->NetworkAddress(a == L"{tcp}" ? "tcp" : "rfc2217");
            a.assign(address.begin(), address.end());
        }
        if (a.starts_with(L"{dir}")) a = dir.path.wstring() + a.substr(5);
        args.push_back(a);
    }
    const Finished run = RunCli(args, dir.path);
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    EXPECT_EQ(board->Received(), c.received);
    EXPECT_EQ(outer->Received(), c.outerReceived);
    for (size_t i = 0; i + 1 < c.outHolds.size(); i += 2) {
        EXPECT_EQ(Count(run.out, c.outHolds[i]), std::stoul(c.outHolds[i + 1]))
            << c.outHolds[i] << " in\n"
            << run.out;
    }
    EXPECT_NE(run.err.find(c.errHolds), std::string::npos) << run.err;
    const std::wstring com = Com(*board);
    for (const RunCase::Holds& h : c.files) {
        std::string name = h.file;
        if (const size_t at = name.find("{board}"); at != std::string::npos) {
            name.replace(at, 7, std::string(com.begin(), com.end()));
        }
        const fs::path file = dir.path / fs::path(std::u8string(name.begin(), name.end()));
        EXPECT_EQ(Count(ReadAll(file), h.text), h.count) << name << ": " << h.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Wine, KarvexRunExe,
    ::testing::Values(
        // COMn resolves to \\.\COMn; the exact bytes of two items, one line each.
        RunCase{"pass",
                {L"--port", L"{board}", L"--items", L"revision,2"},
                0,
                Expected({1, 2}),
                "",
                {" passed ", "2"}},
        // A failure reply: the item fails at its step, the next still runs, exit status 1.
        RunCase{"fail",
                {L"--json", L"--port", L"{board}", L"--items", L"rssi,revision"},
                1,
                Expected({2, 1}),
                "",
                {"\"verdict\":\"failed\"", "1", "\"verdict\":\"passed\"", "1",
                 "\"command\":\"AT+CSQ\"", "1"},
                "",
                "AT+CSQ"},
        // Japanese from the UTF-16 command line reaches the wire as CP932 (日本 = 93FA 967B).
        RunCase{"cp932-field",
                {L"--port", L"{board}", L"--items", L"init", L"--apn", L"日本", L"--user", L"user",
                 L"--password", L"pass"},
                0,
                [] {
                    std::string bytes = Expected({0});
                    const std::string apn = "apn.example";
                    for (size_t at; (at = bytes.find(apn)) != std::string::npos;) {
                        bytes.replace(at, apn.size(), "\x93\xfa\x96\x7b");
                    }
                    return bytes;
                }(),
                "",
                {" passed ", "1"}},
        // Usage errors send nothing: a required field missing, a character CP932 lacks.
        RunCase{"missing-field",
                {L"--port", L"{board}", L"--items", L"sms-send"},
                2,
                "",
                "",
                {},
                "sms-send"},
        RunCase{"not-cp932",
                {L"--port", L"{board}", L"--items", L"init", L"--apn", L"caf\u00e9\u20ac",
                 L"--user", L"u", L"--password", L"p"},
                2,
                "",
                "",
                {},
                "--apn"},
        // A port that will not open: exit 2, and the other board still runs its items.
        RunCase{"no-port",
                {L"--port", L"COM100", L"--port", L"{board}", L"--items", L"1"},
                2,
                Expected({1}),
                "",
                {" passed ", "1"},
                "COM100: the port would not open"},
        // Boards on another machine, through Winsock and ser2net: the same bytes.
        RunCase{"rfc2217",
                {L"--port", L"{rfc2217}", L"--items", L"revision,2"},
                0,
                Expected({1, 2}),
                "",
                {" passed ", "2"}},
        RunCase{"raw-tcp",
                {L"--port", L"{tcp}", L"--items", L"clock"},
                0,
                Expected({4}),
                "",
                {" passed ", "1"}},
        // The trace and the HTML report on Windows paths, as on Linux: two rounds, a step
        // record each item and round, a bar each step of the last round.
        RunCase{"reports",
                {L"--port", L"{board}", L"--items", L"revision,rssi", L"--repeat", L"2",
                 L"--trace-dir", L"{dir}\\トレース", L"--html", L"{dir}\\報告.html"},
                0,
                Expected({1, 2, 1, 2}),
                "",
                {" passed  0.", "4", "  round 2", "2"},
                "",
                "",
                {{"トレース/1_{board}.jsonl", "\"type\":\"step\"", 4},
                 {"トレース/1_{board}.jsonl", "\"end\":\"done\"", 4},
                 {"トレース/1_{board}.jsonl", "\"type\":\"tx\",", 4},
                 {"報告.html", "<rect class=\"step\"", 2},
                 {"報告.html", "data-end=\"done\" fill=\"#2e9d4f\"", 2}}},
        // Two COM ports at once: each board gets exactly its items' bytes.
        RunCase{"two-boards",
                {L"--port", L"{board}", L"--port", L"{outer}", L"--items", L"revision,rssi"},
                0,
                Expected({1, 2}),
                Expected({1, 2}),
                {" passed ", "4"}}),
    [](const ::testing::TestParamInfo<RunCase>& info) {
        std::string name = info.param.name;
        for (char& ch : name) ch = ch == '-' ? '_' : ch;
        return name;
    });

// A COM port that ports.ini beside the program names as a board on another machine.
TEST(KarvexRunExePortsFile, AComPortNamedInPortsIniIsTheNetworkBoard) {
    ScratchDir dir(L"ports");
    auto board = Served(std::make_unique<sim::Board>());
    const fs::path ports = fs::path(KARVEX_RUN_PROGRAM).parent_path() / "ports.ini";
    const std::string address = board->NetworkAddress("rfc2217");
    {
        std::ofstream out(ports, std::ios::binary);
        out << "; boards on other machines\r\n  com98 = " << address << "\r\n";
    }
    const Finished run = RunCli({L"--port", L"COM98", L"--items", L"revision"}, dir.path);
    fs::remove(ports);
    EXPECT_EQ(run.status, 0u) << run.out << run.err;
    EXPECT_EQ(board->Received(), Expected({1}));
}

// --junit and --log-dir given as Windows paths (backslashes, a blank, Japanese): the files are
// there, and the logs hold the bytes the board saw, item after item.
TEST(KarvexRunExeFiles, JUnitAndLogDirOnWindowsPaths) {
    ScratchDir dir(L"files");
    auto board = Served(std::make_unique<sim::Board>());
    const fs::path logs = dir.path / L"ログ";
    const fs::path junit = dir.path / L"報告 1.xml";
    const Finished run = RunCli({L"--port", Com(*board), L"--items", L"all-safe", L"--log-dir",
                                 logs.wstring(), L"--junit", junit.wstring()},
                                dir.path);
    ASSERT_EQ(run.status, 0u) << run.out << run.err;

    std::string logged;
    const std::wstring port = Com(*board);
    const std::string com(port.begin(), port.end());
    for (const wchar_t* item : {L"01_revision", L"02_rssi", L"03_clock", L"04_sms-check"}) {
        const fs::path file = logs / (L"1_" + port + L"_" + item + L".log");
        ASSERT_TRUE(fs::exists(file)) << file.string();
        logged += ReadAll(file);
    }
    EXPECT_EQ(logged, BoardTraffic(*board));

    const std::string xml = ReadAll(junit);
    EXPECT_NE(xml.find("<testsuite name=\"" + com + "\" tests=\"4\" failures=\"0\""),
              std::string::npos)
        << xml;
}

}  // namespace
}  // namespace karvex::clitest
