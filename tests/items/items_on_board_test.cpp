// The items end to end: the real session, port, monitor and runner against the simulated board.
// What the board received (bytes and spacing), what the log shows, and what the window was asked.
#include <gtest/gtest.h>

#include <thread>

#include "link/program_path.h"
#include "tests/items/board_rig.h"
#include "tests/items/sequence_twins.h"
#include "tests/support/log_waits.h"
#ifndef _WIN32
#include <filesystem>

#include "tests/support/com_lease.h"
#include "tests/support/ser2net.h"
#endif

namespace karvex {
namespace {

using namespace karvex::testing;
using Call = RecordingPanel::Call;

constexpr long long kVerdictMs = 230;  // a success verdict follows its line by 230 ms
constexpr long long kSlackMs = 1500;   // the board's own reply time and a loaded machine
// The board stamps a byte when its thread reads it, which on a loaded machine can be a few
// milliseconds after the byte was written; gaps are whole milliseconds. Lower bounds allow that.
constexpr long long kStampMs = 10;

// Each command's arrival against the one before: at least the verdict time of a waited step plus
// the delay steps between them, and never the whole time-out of a step that was answered.
void ExpectSpacing(const std::vector<Step>& steps, const std::vector<sim::RxCommand>& got) {
    size_t k = 0;
    long long lower = 0;
    for (const Step& step : steps) {
        if (step.IsDelay()) {
            lower += step.timeout;
            continue;
        }
        ASSERT_LT(k, got.size()) << "missing " << step.command;
        if (k > 0) {
            const long long gap = MsBetween(got[k - 1].at, got[k].at);
            EXPECT_GE(gap, lower - kStampMs) << "before " << step.command;
            EXPECT_LE(gap, lower + kSlackMs) << "before " << step.command;
        }
        lower = step.timeout == kWriteOnly ? 0 : kVerdictMs;
        ++k;
    }
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Runs `in` (item `item` or its twin) on the rig's connected board and checks the wire, the log
// and the panel.
void RunsItsCommandsAndEndsWithTheControlsEnabled(BoardRig& rig, int item, bool tolva2,
                                                  const TestInputs& in) {
    if (item == 7) {  // the board's store starts empty: slot 1 holds a message for this run
        rig.board.SetBehaviour("AT+CMGR",
                               {.kind = sim::Behaviour::Kind::Reply, .reply = kStoredSmsReply});
    }
    ASSERT_TRUE(rig.Run(in));

    const std::vector<Step> steps = ExpectedRun(item, tolva2);
    EXPECT_EQ(rig.board.Received(), WireBytes(steps));
    ExpectSpacing(steps, rig.Commands());
    EXPECT_EQ(rig.panel.Calls(),
              (std::vector<Call>{RecordingPanel::Disabled(), RecordingPanel::Enabled()}));

    // The log shows each command as sent, in order, and the last one's OK; no note of the runner.
    const std::string log = rig.log.Snapshot();
    size_t at = 0;
    for (const Step& step : steps) {
        if (step.IsDelay()) continue;
        at = log.find(step.command + "\r", at);
        ASSERT_NE(at, std::string::npos) << step.command << " not logged in order:\n" << log;
    }
    EXPECT_NE(log.find("OK\r\n", at), std::string::npos) << log;
    EXPECT_EQ(log.find(std::string(kTimeoutText)), std::string::npos) << log;
    EXPECT_EQ(log.find(std::string(kSendErrorText)), std::string::npos) << log;
}

class EveryItemOnBoard : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(EveryItemOnBoard, SendsItsCommandsAndEndsWithTheControlsEnabled) {
    const auto [item, tolva2] = GetParam();
    BoardRig rig;
    ASSERT_TRUE(rig.Connect());
    RunsItsCommandsAndEndsWithTheControlsEnabled(rig, item, tolva2, StandardInputs(item, tolva2));
}

// Its example twin, a sequence file, sends what the item sends, as the item does.
TEST_P(EveryItemOnBoard, ItsTwinSendsTheSame) {
    const auto [item, tolva2] = GetParam();
    if (item == kNetworkTimeItem) GTEST_SKIP() << "no twin: its clock command comes from the log";
    BoardRig rig;
    ASSERT_TRUE(rig.Connect());
    RunsItsCommandsAndEndsWithTheControlsEnabled(rig, item, tolva2, TwinInputs(item, tolva2));
}

INSTANTIATE_TEST_SUITE_P(Items, EveryItemOnBoard,
                         ::testing::Values(std::tuple{0, false}, std::tuple{0, true},
                                           std::tuple{1, false}, std::tuple{2, false},
                                           std::tuple{3, false}, std::tuple{4, false},
                                           std::tuple{5, false}, std::tuple{6, false},
                                           std::tuple{7, false}, std::tuple{8, false},
                                           std::tuple{9, false}, std::tuple{10, false},
                                           std::tuple{11, false}));

#ifndef _WIN32
// The same items with the board behind a real ser2net, opened as the window opens it: a COM
// port whose link names rfc2217://127.0.0.1:<port>. The board must see the same bytes, with
// the same spacing, as through the local port.
class EveryItemOverNetwork : public ::testing::TestWithParam<int> {};

TEST_P(EveryItemOverNetwork, SendsTheSameBytesThroughSer2net) {
    const int item = GetParam();
    const int com = 70 + item;  // COM70..COM81: used by this test only
    ComLease lease(ExecutableDir(), com);
    ASSERT_TRUE(lease.Held());
    BoardRig rig;
    Ser2net server(rig.board.DevicePath());
    ASSERT_TRUE(server.Running());
    const std::filesystem::path link =
        std::filesystem::path(ExecutableDir()) / "dosdevices" / ("com" + std::to_string(com));
    std::filesystem::remove(link);
    std::filesystem::create_symlink(server.Address(Ser2net::Accepter::Rfc2217), link);
    ASSERT_TRUE(rig.session.Connect("\\\\.\\COM" + std::to_string(com)))
        << rig.port.FailureReason();
    RunsItsCommandsAndEndsWithTheControlsEnabled(rig, item, false, StandardInputs(item));
}

INSTANTIATE_TEST_SUITE_P(Items, EveryItemOverNetwork, ::testing::Range(0, kTestItemCount));
#endif

// The SMS item on the wire: text mode, 3000 ms, the trimmed number without waiting, 5000 ms, then
// the ten characters, Ctrl-Z and CR.
TEST(ItemsOnBoard, SmsGoesOutWithItsPausesAndTheTrimmedNumber) {
    BoardRig rig;
    ASSERT_TRUE(rig.Connect());
    TestInputs in = StandardInputs(5);
    in.phone = " \t090 1234 5678\r\n\v\f ";
    ASSERT_TRUE(rig.Run(in));

    const std::string cmgf = "AT+CMGF=1\r";
    const std::string cmgs = "AT+CMGS=\"090 1234 5678\"\r";
    const std::string text("\x54\x45\x53\x54\x20\x53\x4D\x53\x20\x31\x1A\x0D", 12);
    ASSERT_EQ(rig.board.Received(), cmgf + cmgs + text);

    const std::vector<sim::RxByte> bytes = rig.board.ReceivedBytes();
    ASSERT_EQ(bytes.size(), cmgf.size() + cmgs.size() + text.size());
    const auto cmgfEnd = bytes[cmgf.size() - 1].at;
    const auto cmgsStart = bytes[cmgf.size()].at;
    const auto cmgsEnd = bytes[cmgf.size() + cmgs.size() - 1].at;
    const auto textStart = bytes[cmgf.size() + cmgs.size()].at;
    EXPECT_GE(MsBetween(cmgfEnd, cmgsStart), 3000 + kVerdictMs - kStampMs);
    EXPECT_LE(MsBetween(cmgfEnd, cmgsStart), 3000 + kVerdictMs + 1000);
    EXPECT_GE(MsBetween(cmgsEnd, textStart), 5000 - kStampMs);
    EXPECT_LE(MsBetween(cmgsEnd, textStart), 5000 + 1000);
    // Each command goes out in one piece.
    EXPECT_LE(MsBetween(textStart, bytes.back().at), Bound(100));

    const std::string log = rig.log.Snapshot();
    EXPECT_NE(log.find("+CMGS:"), std::string::npos) << log;
    EXPECT_TRUE(EndsWith(log, "OK\r\n")) << log;
}

// The network time item: the board's clock ends up set from the line it served, about 5000 ms
// after the first list, and the controls are never enabled in between.
TEST(ItemsOnBoard, NetworkTimeSetsTheClockFromTheServedLine) {
    BoardRig rig;
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(rig.Run(StandardInputs(3)));

    const auto commands = rig.Commands();
    ASSERT_EQ(commands.size(), 5u);
    EXPECT_EQ(commands[3].text, "AT+KHTTPDEL=1");
    EXPECT_EQ(commands[4].text, kClockCommand);
    const long long gap = MsBetween(commands[3].at, commands[4].at);
    EXPECT_GE(gap, kBeforeClockMs + kVerdictMs - kStampMs);
    EXPECT_LE(gap, kBeforeClockMs + kVerdictMs + 1000);
    EXPECT_EQ(rig.board.ClockValue().rfind("26/03/07,09:05:3", 0), 0u) << rig.board.ClockValue();
    EXPECT_EQ(rig.panel.Calls(),
              (std::vector<Call>{RecordingPanel::Disabled(), RecordingPanel::Enabled()}));
    EXPECT_NE(rig.log.Snapshot().find(std::string(kServedTimeLine) + "\r\n"), std::string::npos);
}

// A second execution during the pause between the two lists is impossible: the controls stay
// disabled and the session refuses to start another sequence.
TEST(ItemsOnBoard, NoSecondExecutionDuringTheNetworkTimePause) {
    BoardRig rig;
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(rig.session.Execute(StandardInputs(3)));
    ASSERT_TRUE(WaitIntoPauseAfter(rig.log, "AT+KHTTPDEL=1", kVerdictMs));
    ASSERT_EQ(rig.board.Received().find("AT+CCLK"), std::string::npos) << "the pause is over";
    EXPECT_EQ(rig.panel.Calls(), std::vector<Call>{RecordingPanel::Disabled()});
    EXPECT_FALSE(rig.session.Execute(StandardInputs(1)));
    rig.session.WaitIdle();
    EXPECT_EQ(rig.board.Received().find("AT+CGMR"), std::string::npos);
    EXPECT_EQ(rig.Commands().back().text, kClockCommand);
}

// A disconnect in the pause ends the item at once; no clock command reaches the board, and the
// controls are left as the disconnect set them.
TEST(ItemsOnBoard, DisconnectDuringTheNetworkTimePauseEndsTheItem) {
    BoardRig rig;
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(rig.session.Execute(StandardInputs(3)));
    ASSERT_TRUE(WaitIntoPauseAfter(rig.log, "AT+KHTTPDEL=1", kVerdictMs));
    const auto before = SteadyClock::now();
    rig.session.Disconnect();
    EXPECT_LE(MsBetween(before, SteadyClock::now()), 1000);
    EXPECT_FALSE(rig.session.Running());
    std::this_thread::sleep_for(Ms(200));  // the span measured: no clock command comes late
    EXPECT_EQ(rig.board.Received().find("AT+CCLK"), std::string::npos);
    EXPECT_EQ(rig.panel.Calls(), std::vector<Call>{RecordingPanel::Disabled()});
}

// No marker in the log (the GET failed): the item ends after its first list, without the pause.
TEST(ItemsOnBoard, NetworkTimeWithoutReplySetsNoClock) {
    BoardRig rig;
    ASSERT_TRUE(rig.Connect());
    rig.board.SetBehaviour("AT+KHTTPGET", {.kind = sim::Behaviour::Kind::Error});
    ASSERT_TRUE(rig.Run(StandardInputs(3)));
    const auto end = SteadyClock::now();
    const auto commands = rig.Commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[1].text, "AT+KHTTPGET=1,\"/cgi-bin/time\"");
    EXPECT_LE(MsBetween(commands[1].at, end), 1500);
    EXPECT_TRUE(EndsWith(rig.log.Snapshot(), "\r\nERROR\r\n")) << rig.log.Snapshot();
    EXPECT_EQ(rig.panel.Calls(),
              (std::vector<Call>{RecordingPanel::Disabled(), RecordingPanel::Enabled()}));
}

// A failure after the reply arrived still sets the clock: only the marker decides.
TEST(ItemsOnBoard, NetworkTimeSetsTheClockAfterALaterFailure) {
    BoardRig rig;
    ASSERT_TRUE(rig.Connect());
    rig.board.SetBehaviour("AT+KHTTPCLOSE", {.kind = sim::Behaviour::Kind::Error});
    ASSERT_TRUE(rig.Run(StandardInputs(3)));
    const auto commands = rig.Commands();
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_EQ(commands[2].text, "AT+KHTTPCLOSE=1");
    EXPECT_EQ(commands[3].text, kClockCommand);
    EXPECT_GE(MsBetween(commands[2].at, commands[3].at), kBeforeClockMs - kStampMs);
}

// An SMS sent to the board's own number lands in its store; items 6, 7 and 8 then see, read and
// delete it.
TEST(ItemsOnBoard, SmsToOwnNumberIsStoredReadAndDeleted) {
    BoardRig rig;
    ASSERT_TRUE(rig.Connect());
    TestInputs in = StandardInputs(5);
    in.phone = rig.board.OwnNumber();
    ASSERT_TRUE(rig.Run(in));
    ASSERT_TRUE(EndsWith(rig.log.Snapshot(), "OK\r\n")) << rig.log.Snapshot();
    ASSERT_TRUE(WaitUntil([&] { return rig.board.StoredMessages() > 0; }));
    ASSERT_EQ(rig.board.StoredMessages(), 1u);

    ASSERT_TRUE(rig.Run(StandardInputs(6)));
    EXPECT_NE(rig.log.Snapshot().find("+CPMS: 1,"), std::string::npos) << rig.log.Snapshot();
    ASSERT_TRUE(rig.Run(StandardInputs(7)));
    EXPECT_NE(rig.log.Snapshot().find("\r\nTEST SMS 1\r\n"), std::string::npos)
        << rig.log.Snapshot();
    EXPECT_TRUE(EndsWith(rig.log.Snapshot(), "OK\r\n")) << rig.log.Snapshot();
    ASSERT_TRUE(rig.Run(StandardInputs(8)));
    EXPECT_EQ(rig.board.StoredMessages(), 0u);
    EXPECT_TRUE(EndsWith(rig.log.Snapshot(), "OK\r\n")) << rig.log.Snapshot();
}

struct Refusal {
    const char* name;
    TestInputs inputs;
    const char* message;
};

TestInputs With(int item, std::string TestInputs::*field, std::string value) {
    TestInputs in = StandardInputs(item);
    in.*field = std::move(value);
    return in;
}

void PrintTo(const Refusal& r, std::ostream* os) {
    *os << r.name;
}

class RefusedItem : public ::testing::TestWithParam<Refusal> {};

// A refused item shows its message and nothing else: nothing sent, the controls untouched.
TEST_P(RefusedItem, SendsNothing) {
    BoardRig rig;
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(rig.Run(GetParam().inputs));
    std::this_thread::sleep_for(Ms(300));  // the span measured: nothing goes out late either
    EXPECT_EQ(rig.board.Received(), "");
    EXPECT_EQ(rig.log.Snapshot(), "");
    EXPECT_EQ(rig.panel.Calls(), std::vector<Call>{RecordingPanel::Message(GetParam().message)});
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, RefusedItem,
    ::testing::Values(
        Refusal{"EmptyApn", With(0, &TestInputs::apn, ""), "APN設定は必須です。"},
        Refusal{"EmptyPhone", With(5, &TestInputs::phone, ""), "電話番号は必須です。"},
        Refusal{"EmptySmsNumberRead", With(7, &TestInputs::smsNumber, ""), "番号は必須です。"},
        Refusal{"EmptySmsNumberDelete", With(8, &TestInputs::smsNumber, ""), "番号は必須です。"},
        Refusal{"LongApn", With(0, &TestInputs::apn, std::string(48, 'a')), "入力が長すぎます。"},
        Refusal{"LongPhone", With(5, &TestInputs::phone, std::string(70, '0')),
                "入力が長すぎます。"},
        Refusal{"LongUser", With(9, &TestInputs::user, std::string(59, 'u')),
                "入力が長すぎます。"}),
    [](const auto& info) { return std::string(info.param.name); });

// No item selected (or an index past the list): nothing at all happens.
TEST(ItemsOnBoard, NoItemSelectedDoesNothing) {
    BoardRig rig;
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(rig.Run(StandardInputs(-1)));
    ASSERT_TRUE(rig.Run(StandardInputs(12)));
    std::this_thread::sleep_for(Ms(300));  // the span measured: nothing goes out late either
    EXPECT_EQ(rig.board.Received(), "");
    EXPECT_TRUE(rig.panel.Calls().empty());
}

struct Failure {
    const char* name;
    int item;
    const char* failingPrefix;  // the command the board fails
    sim::Behaviour behaviour;
    size_t commandsSent;  // up to and including the failing one
    const char* logTail;
    long long endAfterMs;  // from the failing command's arrival to the end of the item
    bool twin = false;     // the item's example twin runs instead
};

void PrintTo(const Failure& f, std::ostream* os) {
    *os << f.name;
}

class FailingStep : public ::testing::TestWithParam<Failure> {};

// A failure of any kind ends the list at that step: the later steps are not sent, the log ends
// with the failure, and the controls are enabled again (the link is still open).
TEST_P(FailingStep, StopsTheList) {
    const Failure& f = GetParam();
    BoardRig rig;
    ASSERT_TRUE(rig.Connect());
    rig.board.SetBehaviour(f.failingPrefix, f.behaviour);
    ASSERT_TRUE(rig.Run(f.twin ? TwinInputs(f.item) : StandardInputs(f.item)));
    const auto end = SteadyClock::now();

    const std::vector<Step> steps = ExpectedSteps(f.item);
    std::vector<Step> sent;
    for (const Step& s : steps) {
        if (sent.size() == f.commandsSent) break;
        if (!s.IsDelay()) sent.push_back(s);
    }
    EXPECT_EQ(rig.board.Received(), WireBytes(sent));
    const auto commands = rig.Commands();
    ASSERT_EQ(commands.size(), f.commandsSent);
    const long long took = MsBetween(commands.back().at, end);
    EXPECT_GE(took, f.endAfterMs - kStampMs);  // the board's stamp may lag its arrival
    EXPECT_LE(took, f.endAfterMs + kSlackMs);
    EXPECT_TRUE(EndsWith(rig.log.Snapshot(), f.logTail)) << rig.log.Snapshot();
    EXPECT_EQ(rig.panel.Calls(),
              (std::vector<Call>{RecordingPanel::Disabled(), RecordingPanel::Enabled()}));
}

using Kind = sim::Behaviour::Kind;

INSTANTIATE_TEST_SUITE_P(
    Kinds, FailingStep,
    ::testing::Values(
        Failure{"ErrorMidItem0", 0, "AT&K0", {.kind = Kind::Error}, 4, "\r\nERROR\r\n", 30},
        Failure{"OkAndError", 1, "AT+CGMR", {.kind = Kind::OkAndError}, 1, "OK ERROR\r\n", 30},
        Failure{"SilentMidItem0", 0, "AT&K0", {.kind = Kind::Silent}, 4, "...timeout...\r\n", 5000},
        Failure{"VanishMidItem0", 0, "AT&K0", {.kind = Kind::Vanish}, 4, "...timeout...\r\n", 5000},
        Failure{"TextModeFailsNoSms", 5, "AT+CMGF", {.kind = Kind::Error}, 1, "\r\nERROR\r\n", 30},
        Failure{"AssistedGpsError", 9, "AT+WPPP", {.kind = Kind::Error}, 1, "\r\nERROR\r\n", 30},
        Failure{"HttpErrorNoClock",
                3,
                "AT+KHTTPCFG",
                {.kind = Kind::Reply, .reply = "\r\n+KHTTP_ERROR: 1,5\r\n"},
                1,
                "+KHTTP_ERROR: 1,5\r\n",
                30}),
    [](const auto& info) { return std::string(info.param.name); });

// The twins stop where their items stop, on the same line, after the same time.
INSTANTIATE_TEST_SUITE_P(
    Twins, FailingStep,
    ::testing::Values(
        Failure{"ErrorMidItem0", 0, "AT&K0", {.kind = Kind::Error}, 4, "\r\nERROR\r\n", 30, true},
        Failure{
            "OkAndError", 1, "AT+CGMR", {.kind = Kind::OkAndError}, 1, "OK ERROR\r\n", 30, true},
        Failure{"TextModeFailsNoSms",
                5,
                "AT+CMGF",
                {.kind = Kind::Error},
                1,
                "\r\nERROR\r\n",
                30,
                true}),
    [](const auto& info) { return std::string(info.param.name); });

// The device vanishes during a pause: the next command cannot be written, the list ends with the
// send error and nothing after it is tried.
TEST(ItemsOnBoard, DeviceVanishingInAPauseEndsWithASendError) {
    BoardRig rig;
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(rig.session.Execute(StandardInputs(5)));
    ASSERT_TRUE(WaitIntoPauseAfter(rig.log, "AT+CMGF=1", kVerdictMs));  // the 3000 ms pause
    rig.board.Vanish();
    rig.session.WaitIdle();
    EXPECT_EQ(rig.board.Received(), "AT+CMGF=1\r");
    EXPECT_TRUE(
        EndsWith(rig.log.Snapshot(), "AT+CMGS=\"09012345678\"\r" + std::string(kSendErrorText)))
        << rig.log.Snapshot();
    EXPECT_EQ(rig.panel.Calls(),
              (std::vector<Call>{RecordingPanel::Disabled(), RecordingPanel::Enabled()}));
}

}  // namespace
}  // namespace karvex
