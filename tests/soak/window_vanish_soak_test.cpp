// The board's device vanishes and comes back under the same dosdevices link, many times, with the
// real window connected to it. Each time: a run on the vanished device ends with the send error,
// a connect while it is gone fails with "COM error.", and after it is back a reconnect through the
// same COM port works again. No descriptor and no thread is left behind.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "tests/soak/event_loop.h"
#include "tests/soak/process_levels.h"
#include "tests/soak/window_soak_rig.h"

namespace karvex::soak {
namespace {

using namespace std::chrono_literals;

constexpr int kCom = 62;
constexpr int kCycles = 100;
// Qt fills caches of its own on the first message box and the first runs (fonts, layouts); that
// growth does not come back but does not grow with the number of cycles either.
constexpr long kHeapToleranceKiB = 1024;
constexpr long kRssToleranceKiB = 4 * 1024;

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

class VanishRig : public WindowRig {
  public:
    VanishRig() : WindowRig(kCom) { board.SetRecording(false); }

    std::string Log() const { return dlg->Log().Snapshot(); }
    // Until the run has ended: the execute button is enabled again.
    bool WaitForRunEnd() {
        return RunUntil([&] { return ExecuteEnabled() && !dlg->Session().Running(); }, 10s);
    }
    // Connects and shows that the link works: item 2 asks for the signal and gets its answer.
    void ConnectAndCheck(int cycle) {
        Connect();
        ASSERT_TRUE(dlg->LinkOpen())
            << "cycle " << cycle << ": " << OpenMessages().join("|").toStdString();
        EXPECT_EQ(Caption(), QStringLiteral("切断"));
        Execute(2);
        ASSERT_TRUE(WaitForRunEnd()) << "cycle " << cycle;
        const std::string log = Log();
        EXPECT_NE(log.find("+CSQ: "), std::string::npos) << "cycle " << cycle << ": " << log;
        EXPECT_TRUE(log.ends_with("\r\nOK\r\n")) << "cycle " << cycle << ": " << log;
    }
};

TEST(WindowVanishSoak, DeviceGoesAndComesBackUnderTheSameLink) {
    VanishRig rig;
    rig.ConnectAndCheck(-1);
    rig.Press(res::kIdConnect);
    ASSERT_FALSE(rig.dlg->LinkOpen());
    // Qt's raster engine fills large areas (the scroll bar) on pooled threads that end 30 s after
    // their last use: a paint right before each count makes both counts hold them alike.
    rig.dlg->repaint();
    const Levels before = Measure();
    Print("before", before);

    int refusedWhileGone = 0;
    int deviceNumberTaken = 0;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        rig.ConnectAndCheck(cycle);
        if (::testing::Test::HasFatalFailure()) return;
        const std::string gone = rig.board.DevicePath();

        // The device vanishes under the open link; the next run cannot write its command.
        rig.board.Vanish();
        rig.Execute(2);
        ASSERT_TRUE(rig.WaitForRunEnd()) << "cycle " << cycle;
        EXPECT_EQ(rig.Log(), "AT+CSQ\rCOM send error.\r\n") << "cycle " << cycle;
        EXPECT_EQ(rig.Caption(), QStringLiteral("切断")) << "the link stays open until closed";

        rig.Press(res::kIdConnect);
        EXPECT_FALSE(rig.dlg->LinkOpen());
        EXPECT_EQ(rig.Caption(), QStringLiteral("接続"));

        // While it is gone the link dangles and the connect fails. Another program on this
        // machine may be handed the freed device number at any moment; the connect would then
        // reach its device, so it is not tried while that number is in use.
        if (Exists(gone)) {
            ++deviceNumberTaken;
        } else {
            rig.Connect();
            if (rig.dlg->LinkOpen()) {
                ++deviceNumberTaken;  // taken between the look and the connect
                rig.Press(res::kIdConnect);
            } else {
                EXPECT_EQ(rig.OpenMessages(), QStringList{QStringLiteral("COM error.")});
                EXPECT_EQ(rig.Caption(), QStringLiteral("接続"));
                ++refusedWhileGone;
            }
        }
        rig.CloseMessages();

        rig.board.Reappear();
        ASSERT_FALSE(rig.board.Vanished());
        ASSERT_NE(rig.board.DevicePath(), "");
    }
    rig.ConnectAndCheck(kCycles);
    rig.Press(res::kIdConnect);
    RunFor(100ms);  // message boxes closed above are deleted by the event loop

    rig.dlg->repaint();
    const Levels after = Measure();
    Print("after", after);
    std::printf("[soak] %d vanish cycles; refused while gone %d, device number taken %d\n", kCycles,
                refusedWhileGone, deviceNumberTaken);
    EXPECT_EQ(after.fds, before.fds);
    EXPECT_EQ(after.threads, before.threads);
    EXPECT_LE(after.heapKiB - before.heapKiB, kHeapToleranceKiB);
    if (!kSanitized) {
        EXPECT_LE(after.rssKiB - before.rssKiB, kRssToleranceKiB);
    }
    EXPECT_GT(refusedWhileGone, kCycles / 2);
}

}  // namespace
}  // namespace karvex::soak
