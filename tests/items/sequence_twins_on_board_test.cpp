// The example twins on the simulated board, through the real port, monitor and runner: the bytes on
// the wire, their spacing (pauses included) and the verdicts are those of the built-in items, whose
// own runs the same expectation tables already pin down.
#include <gtest/gtest.h>

#include "tests/items/board_rig.h"
#include "tests/items/sequence_twins.h"

namespace karvex {
namespace {

using namespace karvex::testing;
using Call = RecordingPanel::Call;
using Kind = sim::Behaviour::Kind;

class TwinOnBoard : public ::testing::TestWithParam<std::tuple<int, bool>> {};

TEST_P(TwinOnBoard, SendsWhatItsItemSendsWithTheSamePausesAndPasses) {
    const auto [item, tolva2] = GetParam();
    BoardRig rig;
    ASSERT_TRUE(rig.Connect());
    if (item == 7) {  // the board's store starts empty: slot 1 holds a message for this run
        rig.board.SetBehaviour("AT+CMGR", {.kind = Kind::Reply, .reply = kStoredSmsReply});
    }
    const ItemReport report = rig.Report(TwinInputs(item, tolva2));
    EXPECT_EQ(report.verdict, ItemVerdict::Passed);
    EXPECT_EQ(report.stop.index, -1);

    const std::vector<Step> steps = ExpectedRun(item, tolva2);
    EXPECT_EQ(rig.board.Received(), WireBytes(steps));
    ExpectSpacing(steps, rig.Commands());
    EXPECT_EQ(rig.panel.Calls(),
              (std::vector<Call>{RecordingPanel::Disabled(), RecordingPanel::Enabled()}));
}

INSTANTIATE_TEST_SUITE_P(Examples, TwinOnBoard,
                         ::testing::Values(std::tuple{0, false}, std::tuple{0, true},
                                           std::tuple{1, false}, std::tuple{2, false},
                                           std::tuple{4, false}, std::tuple{5, false},
                                           std::tuple{6, false}, std::tuple{7, false},
                                           std::tuple{8, false}, std::tuple{9, false},
                                           std::tuple{10, false}, std::tuple{11, false}));

struct Failing {
    const char* name;
    int item;
    bool tolva2;
    const char* prefix;  // the command the board fails
    sim::Behaviour behaviour;
};

void PrintTo(const Failing& f, std::ostream* os) {
    *os << f.name;
}

class TwinFailing : public ::testing::TestWithParam<Failing> {};

// A failing step stops the twin where it stops the item, with the same report and the same bytes.
TEST_P(TwinFailing, StopsWhereItsItemStops) {
    const Failing& f = GetParam();
    ItemReport reports[2];
    std::string received[2];
    for (int twin = 0; twin < 2; ++twin) {
        BoardRig rig;
        ASSERT_TRUE(rig.Connect());
        rig.board.SetBehaviour(f.prefix, f.behaviour);
        reports[twin] =
            rig.Report(twin ? TwinInputs(f.item, f.tolva2) : StandardInputs(f.item, f.tolva2));
        received[twin] = rig.board.Received();
    }
    EXPECT_NE(reports[0].verdict, ItemVerdict::Passed);
    EXPECT_EQ(reports[1].verdict, reports[0].verdict);
    EXPECT_EQ(reports[1].list, reports[0].list);
    EXPECT_EQ(reports[1].stop.index, reports[0].stop.index);
    EXPECT_EQ(reports[1].stop.end, reports[0].stop.end);
    EXPECT_EQ(reports[1].stop.command, reports[0].stop.command);
    EXPECT_EQ(reports[1].stop.line, reports[0].stop.line);
    EXPECT_EQ(received[1], received[0]);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, TwinFailing,
    ::testing::Values(
        Failing{"InitErrorMidList", 0, false, "AT&K0", {.kind = Kind::Error}},
        // The per-model steps leave the step numbers as the built-in item has them.
        Failing{
            "InitTolva2ErrorAfterTheModelStep", 0, true, "AT+KCNXPROFILE", {.kind = Kind::Error}},
        Failing{"SmsTextModeFails", 5, false, "AT+CMGF", {.kind = Kind::Error}},
        Failing{"AgpsOkAndError", 9, false, "AT+CMOLR", {.kind = Kind::OkAndError}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace karvex
