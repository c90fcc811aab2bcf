// karvex-run as a real process against simulated boards on pseudo-terminals: verdicts, exit
// statuses, reports, usage errors, many boards at once and Ctrl-C.
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "gtest/gtest.h"
#include "tests/cli/board_traffic.h"
#include "tests/cli/browser.h"
#include "tests/cli/cli_process.h"
#include "tests/items/board_rig.h"

namespace karvex::clitest {
namespace {

using sim::Behaviour;
using testing::ExpectedRun;
using testing::kServedTimeLine;
using testing::WireBytes;
using Kind = Behaviour::Kind;
using Ms = std::chrono::milliseconds;

// A board that serves the rigs' time line and answers the network quickly.
std::unique_ptr<sim::Board> NewBoard() {
    auto board = std::make_unique<sim::Board>();
    board->SetTimeLine(kServedTimeLine);
    board->SetNetworkDelay(Ms(10));
    return board;
}

const std::vector<std::string> kFields = {"--apn",      "apn.example", "--user",       "user",
                                          "--password", "pass",        "--sms-number", "1"};

std::vector<std::string> Args(std::vector<std::string> args,
                              const std::vector<std::string>& more = kFields) {
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

std::vector<nlohmann::json> JsonLines(const std::string& out) {
    std::vector<nlohmann::json> items;
    for (const std::string& line : Lines(out)) items.push_back(nlohmann::json::parse(line));
    return items;
}

// What xmllint's XPath gives for `expr` on `file` ("" when the file does not parse).
std::string XPath(const fs::path& file, const std::string& expr) {
    const std::string command = "xmllint --xpath '" + expr + "' '" + file.string() + "' 2>&1";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        if (pclose(pipe) != 0) return "";
    }
    if (!out.empty() && out.back() == '\n') out.pop_back();  // xmllint ends its answer with one
    return out;
}

// The time from the board's last byte sent before each command to that command's arrival.
std::vector<long long> GapsBeforeCommands(const sim::Board& board) {
    std::vector<long long> gaps;
    const std::vector<sim::TxChunk> sent = board.Sent();
    for (const sim::RxCommand& c : board.Commands()) {
        SteadyClock::time_point last{};
        for (const sim::TxChunk& t : sent) {
            if (t.at < c.at) last = t.at;
        }
        if (last != SteadyClock::time_point{}) {
            gaps.push_back(std::chrono::duration_cast<Ms>(c.at - last).count());
        }
    }
    return gaps;
}

// The one trace file karvex-run wrote in `dir` (for one board).
fs::path TraceIn(const fs::path& dir) {
    for (const auto& entry : fs::directory_iterator(dir)) return entry.path();
    return {};
}

// What each end of a step is drawn in: the colours the report's key tells a reader.
const std::map<std::string, std::string> kEndColours = {{"done", "#2e9d4f"},
                                                        {"failure-reply", "#d64541"},
                                                        {"timed-out", "#e8900c"},
                                                        {"link-closed", "#7b5ea7"},
                                                        {"send-error", "#7b5ea7"}};

// The HTML report as Chromium loads it shows the run the trace records: nothing fetched, no
// console message, one bar per step in the colour of its end, one grey bar per pause.
void ExpectReportDrawsTheTrace(const fs::path& html, const fs::path& trace, const fs::path& dir,
                               const std::vector<int>& pauseMs) {
    std::vector<std::string> ends;
    size_t pauses = 0;
    for (const nlohmann::json& r : TraceRecords(trace)) {
        if (r["type"] == "step") ends.push_back(r["end"]);
        if (r["type"] != "pause") continue;
        // Each pause as long as the item asked, give or take the load.
        ASSERT_LT(pauses, pauseMs.size()) << r;
        EXPECT_EQ(r["ms"], pauseMs[pauses]);
        EXPECT_NEAR(r["end"].get<double>() - r["t"].get<double>(), pauseMs[pauses] + 2,
                    testing::Bound(10))
            << r;
        ++pauses;
    }
    EXPECT_EQ(pauses, pauseMs.size());
    const Page page = LoadInChromium(html, dir);
    ASSERT_TRUE(page.loaded);
    EXPECT_EQ(page.console, std::vector<std::string>{});
    const auto bars = Elements(page.dom, "rect", "step");
    ASSERT_EQ(bars.size(), ends.size()) << page.dom;
    for (size_t i = 0; i < bars.size(); ++i) {
        EXPECT_EQ(bars[i].at("data-end"), ends[i]) << i;
        EXPECT_EQ(bars[i].at("fill"), kEndColours.at(ends[i])) << i;
    }
    EXPECT_EQ(Elements(page.dom, "rect", "pause").size(), pauses);
}

long long Median(std::vector<long long> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

TEST(KarvexRun, EveryItemPassesWithTheWindowsWireBytes) {
    ScratchDir dir("all");
    auto board = NewBoard();
    // Items by number and by name; the SMS goes to the board's own number, so that message 1
    // is there to read and delete.
    const Finished run =
        RunCli(Args({"--port", board->DevicePath(), "--items",
                     "init,1,rssi,3,clock,5,sms-check,7,sms-delete,agps,10, gps-stop", "--phone",
                     board->OwnNumber()}),
               dir.path);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 12u) << run.out;
    for (const std::string& line : lines) EXPECT_NE(line.find(" passed "), std::string::npos);

    std::string expected;
    for (int item = 0; item < kTestItemCount; ++item) expected += WireBytes(ExpectedRun(item));
    const std::string phone = "\"09012345678\"";
    expected.replace(expected.find(phone), phone.size(), "\"" + board->OwnNumber() + "\"");
    EXPECT_EQ(board->Received(), expected);
}

struct VerdictCase {
    const char* name;
    const char* prefix;  // the command the behaviour applies to
    Behaviour behaviour;
    std::string items;
    std::vector<std::string> extra;
    int status;
    // Per reported item: verdict, and where it stopped ("" for none): "list/step/command".
    std::vector<std::pair<std::string, std::string>> expected;
    const char* failureLine = "";  // held by the failed item's "line"
    const char* neverSent = "";    // a command that must not reach the board
    double minSeconds = 0, maxSeconds = 60;
    std::vector<int> pauses = {};  // the pauses the items take, ms
};

void PrintTo(const VerdictCase& c, std::ostream* os) {
    *os << c.name;
}

class Verdicts : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(Verdicts, NameTheStepAndSetTheExitStatus) {
    const VerdictCase& c = GetParam();
    ScratchDir dir(std::string("verdict-") + c.name);
    auto board = NewBoard();
    board->SetBehaviour(c.prefix, c.behaviour);
    const fs::path junit = dir.path / "report.xml", html = dir.path / "report.html";
    std::vector<std::string> args = {"--json",
                                     "--port",
                                     board->DevicePath(),
                                     "--items",
                                     c.items,
                                     "--junit",
                                     junit.string(),
                                     "--html",
                                     html.string(),
                                     "--trace-dir",
                                     (dir.path / "trace").string()};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const Finished run = RunCli(Args(args), dir.path);
    // The user name and password go to the board, into no report.
    for (const std::string& report : {run.out, run.err, ReadAll(junit), ReadAll(html)}) {
        EXPECT_EQ(report.find("\"user\",\"pass\""), std::string::npos) << report;
    }
    // The trace holds every byte written, as written, and everything in time order (an item
    // that was not sent too).
    const fs::path trace = TraceIn(dir.path / "trace");
    std::string written;
    double last = 0;
    for (const nlohmann::json& r : TraceRecords(trace)) {
        if (r["type"] == "tx") written += Bytes(r["bytes"]);
        if (!r.contains("t")) continue;
        EXPECT_GE(r["t"].get<double>(), last) << r;
        last = r["t"];
    }
    EXPECT_EQ(written, board->Received());
    ExpectReportDrawsTheTrace(html, trace, dir.path, c.pauses);
    EXPECT_EQ(run.status, c.status) << run.out << run.err;
    const std::vector<nlohmann::json> items = JsonLines(run.out);
    ASSERT_EQ(items.size(), c.expected.size()) << run.out;
    for (size_t i = 0; i < items.size(); ++i) {
        const nlohmann::json& j = items[i];
        EXPECT_EQ(j["verdict"], c.expected[i].first) << j;
        const std::string where = j.contains("step") ? std::to_string(j["list"].get<int>()) + "/" +
                                                           std::to_string(j["step"].get<int>()) +
                                                           "/" + j["command"].get<std::string>()
                                                     : "";
        EXPECT_EQ(where.substr(0, c.expected[i].second.size()), c.expected[i].second) << j;
        if (j["verdict"] == "failed") {
            EXPECT_NE(j["line"].get<std::string>().find(c.failureLine), std::string::npos) << j;
        }
    }
    if (*c.neverSent) {
        EXPECT_EQ(board->Received().find(c.neverSent), std::string::npos);
    }
    EXPECT_GE(run.seconds, c.minSeconds);
    EXPECT_LT(run.seconds, c.maxSeconds);
}

Behaviour Make(Kind kind, std::string reply = {}) {
    Behaviour b;
    b.kind = kind;
    b.reply = std::move(reply);
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    KarvexRun, Verdicts,
    ::testing::Values(
        // A failure reply ends the item; the batch goes on with the next.
        VerdictCase{"error",
                    "AT+CSQ",
                    Make(Kind::Error),
                    "1,2,4",
                    {},
                    1,
                    {{"passed", ""}, {"failed", "0/1/AT+CSQ"}, {"passed", ""}},
                    "ERROR"},
        // Silence: the step's own time-out, then the next item.
        VerdictCase{"silent",
                    "AT+CSQ",
                    Make(Kind::Silent),
                    "2,4",
                    {},
                    1,
                    {{"timed-out", "0/1/AT+CSQ"}, {"passed", ""}},
                    "",
                    "",
                    4.9},
        // A numbered error is no failure reply, as in the window: it times out.
        VerdictCase{"numbered",
                    "AT+CCLK?",
                    Make(Kind::Reply, "\r\n+CME ERROR: 3\r\n"),
                    "4",
                    {},
                    1,
                    {{"timed-out", "0/1/AT+CCLK?"}},
                    "",
                    "",
                    4.9},
        // The sixth step of item 0 fails, named with its user name and password masked;
        // --stop-on-failure keeps item 1 from being sent.
        VerdictCase{"stop",
                    "AT+KCNXCFG",
                    Make(Kind::Error),
                    "0,1",
                    {"--stop-on-failure"},
                    1,
                    {{"failed", "0/6/AT+KCNXCFG=1,\"GPRS\",\"apn.example\",\"***\",\"***\""}},
                    "ERROR",
                    "AT+CGMR"},
        // The device goes while its reply is awaited: link lost at once, not at the time-out;
        // the next item is not sent.
        VerdictCase{"vanish",
                    "AT+CCLK?",
                    Make(Kind::Vanish),
                    "4,1",
                    {},
                    1,
                    {{"link-lost", "0/1/AT+CCLK?"}, {"link-lost", ""}},
                    "",
                    "AT+CGMR",
                    0,
                    4.0},
        // Network time: the clock list counts too; the pause in the list and the one before the
        // clock are drawn.
        VerdictCase{"clock",
                    "AT+CCLK=",
                    Make(Kind::Error),
                    "3",
                    {},
                    1,
                    {{"failed", "1/1/AT+CCLK=\"26/03/07,09:05:30+09\""}},
                    "ERROR",
                    "",
                    0,
                    60,
                    {3000, 5000}},
        // Network time: a reply without the end marker sets no clock and does not pass.
        VerdictCase{"notime",
                    "AT+KHTTPGET",
                    Make(Kind::Reply, "\r\nOK\r\n"),
                    "3",
                    {},
                    1,
                    {{"no-time-reply", ""}},
                    "",
                    "AT+CCLK=",
                    0,
                    60,
                    {3000}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KarvexRun, JUnitParsesAndHoldsWhatItClaims) {
    ScratchDir dir("junit");
    auto good = NewBoard();
    auto failing = NewBoard();
    // Terminal controls in the failing line; a port name that is no UTF-8.
    failing->SetBehaviour("AT+CSQ", Make(Kind::Reply, "\r\n\x1B[2J\bERROR\r\n"));
    fs::create_symlink(failing->DevicePath(), dir.path / "tty\xFF");
    const fs::path junit = dir.path / "report.xml";
    const Finished run = RunCli(
        {"--port", good->DevicePath(), "--port", (dir.path / "tty\xFF").string(), "--port",
         (dir.path / "no-such-device").string(), "--items", "all-safe", "--junit", junit.string()},
        dir.path);
    // A port that would not open decides the status; the other boards still ran.
    EXPECT_EQ(run.status, 2) << run.out << run.err;
    EXPECT_EQ(Lines(run.out).size(), 8u) << run.out;
    EXPECT_NE(run.err.find("no-such-device"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("(AT+CSQ): \\x1B[2J\\x08ERROR"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find('\x1B'), std::string::npos) << "a raw escape reached the terminal";
    EXPECT_EQ(fs::status(junit).permissions(), fs::perms::owner_read | fs::perms::owner_write);

    ASSERT_NE(XPath(junit, "/testsuites"), "") << ReadAll(junit);
    EXPECT_EQ(XPath(junit, "count(//testsuite)"), "3");
    EXPECT_EQ(XPath(junit, "string(/testsuites/@tests)"), "9");
    EXPECT_EQ(XPath(junit, "count(//testcase)"), "9");
    EXPECT_EQ(XPath(junit, "string(/testsuites/@failures)"), "1");
    EXPECT_EQ(XPath(junit, "string(/testsuites/@errors)"), "1");
    const std::string suite = "//testsuite[@name=\"" + (dir.path / "tty\uFFFD").string() + "\"]";
    EXPECT_EQ(XPath(junit, "string(" + suite + "/@failures)"), "1");
    EXPECT_EQ(XPath(junit, "string(" + suite + "/testcase[failure]/@name)"), "2 rssi");
    EXPECT_EQ(XPath(junit, "string(" + suite + "/testcase[failure]/failure/@message)"),
              "failed at step 1 (AT+CSQ): \uFFFD[2J\uFFFDERROR");
    // The failed item's traffic, line ends included.
    EXPECT_EQ(XPath(junit, "string(" + suite + "/testcase[failure]/failure)"),
              "AT+CSQ\rAT+CSQ\r\r\n\uFFFD[2J\uFFFDERROR\r\n");
    EXPECT_EQ(
        XPath(junit, "count(//testsuite[@name=\"" + good->DevicePath() + "\"]/testcase[not(*)])"),
        "4");
}

double MsOf(SteadyClock::time_point t) {
    return std::chrono::duration<double, std::milli>(t.time_since_epoch()).count();
}

// The trace's times are those of the board: each command written when the board saw its first
// byte, each line read no earlier than the board sent it (and at once while the monitor waits
// for it); its bytes are the wire's, both ways.
TEST(KarvexRun, TraceTimesAgreeWithTheBoard) {
    ScratchDir dir("trace");
    auto board = NewBoard();
    const Finished run = RunCli({"--port", board->DevicePath(), "--items", "1,2,4", "--trace-dir",
                                 dir.path.string() + "/t"},
                                dir.path);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<nlohmann::json> records = TraceRecords(TraceIn(dir.path / "t"));
    ASSERT_EQ(records.at(0)["type"], "run");
    const double origin = records[0]["monotonic_ms"];
    const std::vector<sim::TxChunk> chunks = board->Sent();
    std::vector<double> chunkStarts;  // byte offset of each chunk the board sent
    std::string boardSent;
    for (const sim::TxChunk& c : chunks) {
        chunkStarts.push_back(static_cast<double>(boardSent.size()));
        boardSent += c.bytes;
    }
    const double tolerance = static_cast<double>(testing::Bound(10));
    std::string written, read;
    std::vector<double> writes;
    double worst = 0;
    bool afterWrite = false;
    for (const nlohmann::json& r : records) {
        if (r["type"] == "tx") {
            writes.push_back(r["t"]);
            written += Bytes(r["bytes"]);
            afterWrite = true;
        } else if (r["type"] == "rx") {
            // The board's chunk that holds the line's first byte.
            const auto at = std::upper_bound(chunkStarts.begin(), chunkStarts.end(),
                                             static_cast<double>(read.size())) -
                            chunkStarts.begin() - 1;
            ASSERT_GE(at, 0);
            const double sent = MsOf(chunks[static_cast<size_t>(at)].at) - origin;
            const double late = r["t"].get<double>() - sent;
            EXPECT_GE(late, -1.0) << "read before it was sent: " << r;
            if (afterWrite) {
                EXPECT_LE(late, tolerance) << r;
                worst = std::max(worst, late);
            }
            afterWrite = false;
            read += Bytes(r["bytes"]);
        }
    }
    EXPECT_EQ(written, board->Received());
    EXPECT_EQ(read, boardSent);
    const std::vector<sim::RxCommand> commands = board->Commands();
    ASSERT_EQ(writes.size(), commands.size());
    for (size_t i = 0; i < writes.size(); ++i) {
        const double arrived = MsOf(commands[i].at) - origin;
        EXPECT_NEAR(writes[i], arrived, tolerance) << commands[i].text;
        worst = std::max(worst, std::abs(writes[i] - arrived));
    }
    std::printf("trace against the board: worst %.2f ms\n", worst);
}

// Two ports whose names clean up alike ("a b", "a_b"): each keeps its own logs, owner only; a link
// planted at a log's name is replaced, not written through.
TEST(KarvexRun, LogDirFilesHoldTheBoardsBytes) {
    ScratchDir dir("logdir");
    const fs::path logs = dir.path / "logs";
    std::string prefix = dir.path.relative_path().string() + "_a_b_";  // as the name cleans up
    std::replace(prefix.begin(), prefix.end(), '/', '_');
    fs::create_directories(logs);
    std::ofstream(dir.path / "other") << "keep";
    fs::create_symlink(dir.path / "other", logs / ("2_" + prefix + "01_init.log"));
    std::vector<std::unique_ptr<sim::Board>> boards;
    std::vector<std::string> args = {"--items", "init,all-safe", "--log-dir", logs.string()};
    for (const char* name : {"a b", "a_b"}) {
        boards.push_back(NewBoard());
        fs::create_symlink(boards.back()->DevicePath(), dir.path / name);
        args.insert(args.end(), {"--port", (dir.path / name).string()});
    }
    const Finished run = RunCli(Args(args), dir.path);
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    for (size_t i = 0; i < boards.size(); ++i) {
        std::string logged;
        for (const char* name : {"01_init", "02_revision", "03_rssi", "04_clock", "05_sms-check"}) {
            logged += ReadAll(logs / (std::to_string(i + 1) + "_" + prefix + name + ".log"));
        }
        EXPECT_EQ(logged, BoardTraffic(*boards[i])) << i;
    }
    EXPECT_EQ(ReadAll(dir.path / "other"), "keep");
}

struct RoundsCase {
    const char* name;
    std::vector<std::string> args;  // besides the port, items 1 and 2, and the reports
    int minRounds, maxRounds;
    long long everyMs;  // > 0: the rounds start this far apart
    double forMs = 0;   // > 0: no round starts after this
};

void PrintTo(const RoundsCase& c, std::ostream* os) {
    *os << c.name;
}

class Rounds : public ::testing::TestWithParam<RoundsCase> {};

// Rounds: as many as asked for, when asked for; the lines, log files, summary and JUnit report
// count them, and the summary's reply times are those of the trace.
TEST_P(Rounds, CountAndTimeTheRoundsInEveryReport) {
    const RoundsCase& c = GetParam();
    ScratchDir dir(std::string("rounds-") + c.name);
    auto board = NewBoard();
    Behaviour once = Make(Kind::Error);
    once.times = 1;
    board->SetBehaviour("AT+CSQ", once);  // rssi fails in the first round only
    const fs::path junit = dir.path / "report.xml", logs = dir.path / "logs";
    std::vector<std::string> args = {"--json",       "--port",      board->DevicePath(),
                                     "--items",      "1,2",         "--junit",
                                     junit.string(), "--trace-dir", (dir.path / "t").string(),
                                     "--log-dir",    logs.string()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Finished run = RunCli(args, dir.path);
    EXPECT_EQ(run.status, 1) << run.err;

    const std::vector<nlohmann::json> lines = JsonLines(run.out);
    ASSERT_FALSE(lines.empty());
    const nlohmann::json& board0 = lines.back()["summary"]["boards"][0];
    const int rounds = board0["rounds"];
    EXPECT_GE(rounds, c.minRounds);
    EXPECT_LE(rounds, c.maxRounds);
    ASSERT_EQ(lines.size(), 2u * rounds + 1);
    for (int i = 0; i < 2 * rounds; ++i) EXPECT_EQ(lines[i]["round"], i / 2 + 1) << lines[i];
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(logs)) {
        files += entry.path().filename().string().find("_r000") != std::string::npos;
    }
    EXPECT_EQ(files, 2u * rounds);

    const nlohmann::json& rssi = board0["items"][1];
    EXPECT_EQ(rssi["runs"], rounds);
    EXPECT_EQ(rssi["passed"], rounds - 1);
    EXPECT_EQ(rssi["verdicts"], (nlohmann::json{{"failed", 1}, {"passed", rounds - 1}}));
    EXPECT_EQ(XPath(junit, "string(//property[@name=\"rounds\"]/@value)"), std::to_string(rounds));
    EXPECT_NE(XPath(junit, "string(//testcase[failure]/failure/@message)")
                  .find("did not pass in 1 of " + std::to_string(rounds) + " rounds"),
              std::string::npos);

    // Per step, the summary's figures are those of the trace's steps.
    std::map<int, std::vector<double>> replies;  // by position
    std::vector<double> roundStarts;
    double lastEnd = 0;
    for (const nlohmann::json& r : TraceRecords(TraceIn(dir.path / "t"))) {
        if (r["type"] == "item") lastEnd = r["end"];
        if (r["type"] == "step" && (r["end"] == "done" || r["end"] == "failure-reply")) {
            replies[r["position"]].push_back(r["verdict_at"].get<double>() - r["t"].get<double>());
        }
        if (r["type"] == "item" && r["position"] == 1) roundStarts.push_back(r["t"]);
    }
    for (int position = 1; position <= 2; ++position) {
        std::vector<double>& times = replies[position];
        std::sort(times.begin(), times.end());
        const nlohmann::json& step = board0["items"][position - 1]["steps"][0];
        ASSERT_EQ(step["replies"], times.size());
        EXPECT_NEAR(step["min_ms"], times.front(), 0.1);
        EXPECT_NEAR(step["max_ms"], times.back(), 0.1);
        EXPECT_NEAR(step["median_ms"], times[(times.size() - 1) / 2], 1.0);
    }
    ASSERT_EQ(roundStarts.size(), static_cast<size_t>(rounds));
    for (size_t i = 1; c.everyMs > 0 && i < roundStarts.size(); ++i) {
        const double apart = roundStarts[i] - roundStarts[i - 1];
        EXPECT_GE(apart, c.everyMs - 1.0);
        EXPECT_LE(apart, static_cast<double>(c.everyMs + testing::Bound(30)));
    }
    if (c.forMs > 0) {
        // The last round began in time, and no round could begin in time after it.
        EXPECT_LT(roundStarts.back(), c.forMs + testing::Bound(20));
        EXPECT_GE(lastEnd, c.forMs - 5);
    }
}

INSTANTIATE_TEST_SUITE_P(
    KarvexRun, Rounds,
    ::testing::Values(RoundsCase{"repeat", {"--repeat", "3"}, 3, 3, 0},
                      // Rounds of about 0.6 s: two or three begin in time.
                      RoundsCase{"for", {"--for", "1s"}, 2, 4, 0, 1000},
                      // Start to start, not end to start.
                      RoundsCase{"every", {"--every", "900ms", "--repeat", "3"}, 3, 3, 900}),
    [](const auto& info) { return std::string(info.param.name); });

// A run of rounds killed (or stopped with Ctrl-C) keeps what its finished rounds reported: the
// JSON lines, the JUnit report rewritten after the rounds, the trace, the HTML report.
class KilledRounds : public ::testing::TestWithParam<int> {};

TEST_P(KilledRounds, KeepTheFinishedRounds) {
    ScratchDir dir("killed");
    auto board = NewBoard();
    const fs::path junit = dir.path / "report.xml", html = dir.path / "report.html";
    CliProcess process(
        {"--json", "--port", board->DevicePath(), "--items", "1", "--repeat", "1000", "--junit",
         junit.string(), "--html", html.string(), "--trace-dir", (dir.path / "t").string()},
        dir.path);
    ASSERT_TRUE(process.Started());
    const auto roundsIn = [&] {
        const std::string value = XPath(junit, "string(//property[@name=\"rounds\"]/@value)");
        return value.empty() ? 0 : std::stoi(value);
    };
    ASSERT_TRUE(testing::WaitUntil([&] { return roundsIn() >= 3; }, std::chrono::seconds(30)));
    process.Signal(GetParam());
    EXPECT_EQ(process.Wait(), GetParam() == SIGKILL ? -1 : 130);
    const int kept = roundsIn();
    EXPECT_GE(kept, 3);

    int lastRound = 0;
    for (const nlohmann::json& line : JsonLines(process.Out())) {
        if (line.contains("summary")) {
            EXPECT_EQ(line["summary"]["boards"][0]["rounds"], kept);
            continue;
        }
        EXPECT_EQ(line["round"], ++lastRound);  // none lost, none twice
    }
    EXPECT_GE(lastRound, kept);
    int tracedRounds = 0;
    for (const nlohmann::json& r : TraceRecords(TraceIn(dir.path / "t"))) {
        if (r["type"] == "item") tracedRounds = r["round"];
    }
    EXPECT_GE(tracedRounds, kept);
    EXPECT_TRUE(ReadAll(html).ends_with("</html>\n"));
}

INSTANTIATE_TEST_SUITE_P(KarvexRun, KilledRounds, ::testing::Values(SIGKILL, SIGINT));

struct UsageCase {
    const char* name;
    std::vector<std::string> args;  // after --port <board>
    const char* says;               // on stderr
};

void PrintTo(const UsageCase& c, std::ostream* os) {
    *os << c.name;
}

class UsageErrors : public ::testing::TestWithParam<UsageCase> {};

TEST_P(UsageErrors, SendNothingAndExitWithTwo) {
    const UsageCase& c = GetParam();
    ScratchDir dir(std::string("usage-") + c.name);
    auto board = NewBoard();
    // Sequence files for the cases that load one; "@" in an argument stands for the folder.
    std::ofstream(dir.path / "typo.toml") << "title = \"t\"\n[[step]]\nsned = \"AT\"\n";
    std::ofstream(dir.path / "init.toml") << "title = \"t\"\n[[step]]\nsend = \"AT\"\n";
    std::ofstream(dir.path / "good.toml") << "title = \"t\"\n[[step]]\nsend = \"AT\"\n";
    ASSERT_EQ(mkfifo((dir.path / "fifo.ini").c_str(), 0600), 0);  // nobody ever writes to it
    std::vector<std::string> args = {"--port", board->DevicePath()};
    for (std::string arg : c.args) {
        if (arg.starts_with('@')) arg = (dir.path / arg.substr(1)).string();
        args.push_back(arg);
    }
    const Finished run = RunCli(args, dir.path);
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(board->Received(), "");
}

INSTANTIATE_TEST_SUITE_P(
    KarvexRun, UsageErrors,
    ::testing::Values(
        // The window's own checks and messages, for any item of the list.
        UsageCase{"apnmissing", {"--items", "1,init"}, "APN設定は必須です。"},
        UsageCase{
            "apntoolong", {"--items", "0", "--apn", std::string(63, 'a')}, "入力が長すぎます。"},
        UsageCase{"numbermissing", {"--items", "sms-read"}, "番号は必須です。"},
        UsageCase{"phonemissing", {"--items", "5", "--phone", ""}, "電話番号は必須です。"},
        UsageCase{"notcp932", {"--items", "0", "--apn", "\xF0\x9F\x98\x80"}, "CP932"},
        // A CR would end the command early and start another.
        UsageCase{"controlbyte",
                  {"--items", "init", "--apn", "internet\"\rAT+CFUN=4\rAT"},
                  "APNに制御文字は使えません。"},
        UsageCase{"unknownitem", {"--items", "1,12"}, "unknown item \"12\""},
        UsageCase{"noitems", {}, "--items"},
        UsageCase{"badmodel", {"--items", "1", "--model", "tolva-3"}, "tolva-3"},
        UsageCase{
            "badsettings", {"--items", "1", "--settings", "/nonexistent/karvex.ini"}, "settings"},
        // The window's reader: a FIFO is no settings file, and opening it never blocks.
        UsageCase{"settingsfifo",
                  {"--items", "1", "--settings", "@fifo.ini"},
                  "cannot read the settings file"},
        // Sequence files: refused whole, named by file, line and column, before any port opens.
        UsageCase{"sequencetypo",
                  {"--sequence", "@typo.toml", "--items", "typo"},
                  "typo.toml:3:1: unknown key \"sned\""},
        UsageCase{"sequencenamedlikeanitem", {"--sequence", "@init.toml"}, "\"init\" is taken"},
        UsageCase{"sequencenotinitems",
                  {"--sequence", "@good.toml", "--items", "1"},
                  "not among --items"},
        UsageCase{"sequencemissing", {"--sequence", "@none.toml"}, "none.toml: no such file"},
        UsageCase{"badfor", {"--items", "1", "--for", "12x"}, "--for: \"12x\" is no duration"},
        UsageCase{"zeroevery", {"--items", "1", "--every", "0s"}, "--every: \"0s\" is no duration"},
        UsageCase{"zerorepeat", {"--items", "1", "--repeat", "0"}, "--repeat"},
        UsageCase{"tracedir",
                  {"--items", "1", "--trace-dir", "/dev/null"},
                  "cannot use /dev/null as the trace directory"}),
    [](const auto& info) { return std::string(info.param.name); });

// A sequence file runs as an item does: its verdict names the step (pauses counted) and the line
// of its own failure reply, and the JSON, JUnit, trace, HTML and log files name it by its file
// name; the trace shows its pause.
TEST(KarvexRun, SequenceFileRunsWithTheItemsReports) {
    ScratchDir dir("sequence");
    auto board = NewBoard();
    board->SetBehaviour("AT+CMGR", Make(Kind::Reply, "\r\n+CMS ERROR: 321\r\n"));
    const fs::path file = dir.path / "read-slot.toml";
    std::ofstream(file) << "title = \"読み出し\"\n"
                           "[[step]]\nsend = 'AT+CGDCONT=1,\"IP\",\"{apn}\"'\n"
                           "[[step]]\npause = 300\n"
                           "[[step]]\nsend = \"AT+CMGR=1\"\nfail = [\"+CMS ERROR\"]\n";
    const fs::path junit = dir.path / "report.xml";
    const fs::path logs = dir.path / "logs";
    const fs::path traces = dir.path / "traces";
    const fs::path html = dir.path / "report.html";
    const Finished run =
        RunCli(Args({"--json", "--port", board->DevicePath(), "--sequence", file.string(),
                     "--items", "rssi,read-slot", "--junit", junit.string(), "--log-dir",
                     logs.string(), "--trace-dir", traces.string(), "--html", html.string()}),
               dir.path);
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_LT(run.seconds, 4.0);  // the failure reply ends it, not the 5 s time-out
    const std::vector<nlohmann::json> items = JsonLines(run.out);
    ASSERT_EQ(items.size(), 2u) << run.out;
    EXPECT_EQ(items[1]["item"], kTestItemCount);
    EXPECT_EQ(items[1]["name"], "read-slot");
    EXPECT_EQ(items[1]["verdict"], "failed");
    EXPECT_EQ(items[1]["step"], 3);
    EXPECT_EQ(items[1]["command"], "AT+CMGR=1");
    EXPECT_NE(items[1]["line"].get<std::string>().find("+CMS ERROR: 321"), std::string::npos);
    EXPECT_EQ(board->Received(), "AT+CSQ\rAT+CGDCONT=1,\"IP\",\"apn.example\"\rAT+CMGR=1\r");
    EXPECT_EQ(XPath(junit, "string(//testcase[failure]/@name)"), "12 read-slot");
    const std::string prefix = "1_dev_pts_" + fs::path(board->DevicePath()).filename().string();
    EXPECT_TRUE(fs::exists(logs / (prefix + "_02_read-slot.log")));
    const std::string trace = ReadAll(traces / (prefix + ".jsonl"));
    EXPECT_NE(trace.find("\"item\":12,\"name\":\"read-slot\""), std::string::npos) << trace;
    EXPECT_NE(
        trace.find("{\"type\":\"pause\",\"position\":2,\"list\":0,\"before_step\":3,\"ms\":300,"),
        std::string::npos)
        << trace;
    EXPECT_NE(ReadAll(html).find("12 read-slot"), std::string::npos);
}

// The settings file gives the model, the COM port (resolved beside the program, as the window
// does) and the fields.
TEST(KarvexRun, SettingsFileGivesModelComPortAndFields) {
    ScratchDir dir("settings");
    auto board = NewBoard();
    const std::string programDir = fs::path(KARVEX_RUN_PROGRAM).parent_path().string();
    ASSERT_TRUE(board->LinkCom(programDir, 62));  // COM62: used by this test only
    const fs::path ini = dir.path / "karvex.ini";
    std::ofstream(ini, std::ios::binary) << "1\r\n62\r\napn.example\r\nuser\r\npass\r\n\r\n";
    const Finished run = RunCli({"--settings", ini.string(), "--items", "init"}, dir.path);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(board->Received(), WireBytes(ExpectedRun(0, true)));
    EXPECT_EQ(run.out.rfind("COM62 ", 0), 0u) << run.out;
}

constexpr int kBoards = 8;

// Eight boards at once: one silent, one vanishing mid-item; the others exactly as alone.
TEST(KarvexRun, EightBoardsOneSilentOneVanishing) {
    ScratchDir dir("eight");
    const std::string items = "1,2,4,6";
    auto alone = NewBoard();
    ASSERT_EQ(RunCli({"--port", alone->DevicePath(), "--items", items}, dir.path).status, 0);
    const long long aloneGap = Median(GapsBeforeCommands(*alone));

    std::vector<std::unique_ptr<sim::Board>> boards;
    std::vector<std::string> args = {"--json", "--items", items};
    for (int i = 0; i < kBoards; ++i) {
        boards.push_back(NewBoard());
        args.push_back("--port");
        args.push_back(boards.back()->DevicePath());
    }
    boards[6]->SetBehaviour("AT+CSQ", Make(Kind::Silent));
    boards[7]->SetBehaviour("AT+CSQ", Make(Kind::Vanish));
    const Finished run = RunCli(args, dir.path);
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_LT(run.seconds, 15.0);  // the silent board's 5 s time-out and the items after it

    std::map<std::string, std::vector<std::string>> verdicts;
    for (const nlohmann::json& j : JsonLines(run.out)) {
        verdicts[j["board"]].push_back(j["verdict"]);
    }
    for (int i = 0; i < 6; ++i) {
        const sim::Board& board = *boards[static_cast<size_t>(i)];
        EXPECT_EQ(verdicts[board.DevicePath()],
                  (std::vector<std::string>{"passed", "passed", "passed", "passed"}));
        EXPECT_EQ(board.Received(), alone->Received()) << i;
        const std::vector<long long> gaps = GapsBeforeCommands(board);
        // Final LF to next command as alone (30 + 200 ms in the monitor), give or take the load.
        EXPECT_NEAR(Median(gaps), aloneGap, testing::Bound(40)) << "board " << i;
        for (const long long gap : gaps) EXPECT_GE(gap, 220) << "board " << i;
    }
    EXPECT_EQ(verdicts[boards[6]->DevicePath()],
              (std::vector<std::string>{"passed", "timed-out", "passed", "passed"}));
    EXPECT_EQ(verdicts[boards[7]->DevicePath()],
              (std::vector<std::string>{"passed", "link-lost", "link-lost", "link-lost"}));
}

// Ctrl-C, and a hang-up of the terminal.
class Interrupts : public ::testing::TestWithParam<int> {};

TEST_P(Interrupts, CtrlCStopsEveryBoardPromptlyAndWritesTheReports) {
    ScratchDir dir("ctrlc");
    std::vector<std::unique_ptr<sim::Board>> boards;
    const fs::path junit = dir.path / "report.xml";
    const fs::path logs = dir.path / "logs";
    std::vector<std::string> args = {"--items",      "1,2,4",     "--junit",
                                     junit.string(), "--log-dir", logs.string()};
    for (int i = 0; i < kBoards; ++i) {
        boards.push_back(NewBoard());
        boards.back()->SetBehaviour("AT+CSQ", Make(Kind::Silent));
        args.push_back("--port");
        args.push_back(boards.back()->DevicePath());
    }
    CliProcess process(args, dir.path);
    ASSERT_TRUE(process.Started());
    for (const auto& board : boards) {
        ASSERT_TRUE(board->WaitForReceived("AT+CSQ\r", Ms(10000)));
    }
    const auto interrupt = SteadyClock::now();
    process.Signal(GetParam());
    EXPECT_EQ(process.Wait(), 130) << process.Err();
    const long long ms = std::chrono::duration_cast<Ms>(process.Ended() - interrupt).count();
    std::printf("%s to exit with %d boards: %lld ms\n", strsignal(GetParam()), kBoards, ms);
    EXPECT_LT(ms, 1000);  // about 10 ms measured; generous for the sanitizer builds
    for (const auto& board : boards) {
        EXPECT_EQ(board->Received().find("AT+CCLK?"), std::string::npos);
    }
    // Reports for what ran: each board's passed item and its interrupted one.
    EXPECT_EQ(XPath(junit, "count(//testsuite)"), "8") << ReadAll(junit);
    EXPECT_EQ(XPath(junit, "count(//testcase)"), "16");
    EXPECT_EQ(XPath(junit, "count(//testcase/error[@type=\"interrupted\"])"), "8");
    EXPECT_EQ(Lines(process.Out()).size(), 16u);
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(logs)) ++files;
    EXPECT_EQ(files, 16u);
}

INSTANTIATE_TEST_SUITE_P(KarvexRun, Interrupts, ::testing::Values(SIGINT, SIGHUP));

// A reader that goes away (`--json | head -c1`) ends no run: the items end, the report is written.
TEST(KarvexRun, ClosedPipeEndsNoRun) {
    ScratchDir dir("pipe");
    auto board = NewBoard();
    const fs::path junit = dir.path / "report.xml";
    const std::string run = std::string(KARVEX_RUN_PROGRAM) + " --json --port " +
                            board->DevicePath() + " --items 1,2 --junit " + junit.string();
    EXPECT_EQ(std::system(("bash -c 'set -o pipefail; " + run + " | true'").c_str()), 0);
    EXPECT_EQ(XPath(junit, "count(//testcase)"), "2") << ReadAll(junit);
}

}  // namespace
}  // namespace karvex::clitest
