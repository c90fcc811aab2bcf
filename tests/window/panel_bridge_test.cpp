// The worker's calls reach the UI thread in order, without the worker ever waiting for it, and a
// new link generation drops enable requests of the old one.
#include <QCoreApplication>

#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "dialog/panel_queue.h"
#include "tests/window/window_rig.h"
#include "window/panel_bridge.h"

namespace karvex::wt {
namespace {

struct Recorder {
    std::vector<std::string> calls;
    PanelBridge bridge{PanelBridge::Handlers{
        [this](bool enable) { calls.push_back(enable ? "enable" : "disable"); },
        [this](const QString& text) { calls.push_back("message " + text.toStdString()); },
    }};
};

TEST(PanelBridge, WorkerCallsArriveInOrderWithoutWaiting) {
    Recorder r;
    std::thread worker([&] {
        r.bridge.EnableInputs(false);
        r.bridge.ShowMessage("APN設定は必須です。");
        for (int i = 0; i < 1000; ++i) {
            r.bridge.EnableInputs(i % 2 == 0);
        }
        r.bridge.EnableInputs(true);
    });
    // The UI thread does not run its event loop until the worker is done: had any call waited
    // for the UI thread, this join would never return.
    worker.join();
    EXPECT_TRUE(r.calls.empty());
    QCoreApplication::processEvents();
    ASSERT_EQ(r.calls.size(), 1003u);
    EXPECT_EQ(r.calls[0], "disable");
    EXPECT_EQ(r.calls[1], "message APN設定は必須です。");
    EXPECT_EQ(r.calls[2], "enable");
    EXPECT_EQ(r.calls[3], "disable");
    EXPECT_EQ(r.calls.back(), "enable");
}

TEST(PanelBridge, ANewGenerationDropsOldEnableRequests) {
    Recorder r;
    std::thread worker([&] {
        r.bridge.EnableInputs(true);
        r.bridge.ShowMessage("still shown");
    });
    worker.join();
    r.bridge.NewGeneration();  // the link was closed (or reopened) meanwhile
    r.bridge.EnableInputs(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(r.calls, (std::vector<std::string>{"message still shown", "disable"}));
}

// The Windows dialog shows a worker's message in a modal box, whose loop delivers what the worker
// queues meanwhile; the requests left behind the message must not overtake those.
TEST(PanelQueue, DeliveringAgainFromAModalHandlerKeepsTheOrder) {
    std::vector<std::string> calls;
    std::function<void()> duringTheBox;
    PanelQueue queue(PanelQueue::Handlers{
                         [&](bool enable) { calls.push_back(enable ? "enable" : "disable"); },
                         [&](const std::string& text) {
                             calls.push_back("message " + text);
                             if (auto inside = std::exchange(duringTheBox, nullptr)) {
                                 inside();
                             }
                         },
                     },
                     [] {});
    queue.EnableInputs(false);
    queue.ShowMessage("box");
    queue.EnableInputs(false);  // queued behind the message
    duringTheBox = [&] {
        std::thread([&] { queue.EnableInputs(true); }).join();
        queue.Deliver();  // the box's own message loop
    };
    queue.Deliver();
    EXPECT_EQ(calls, (std::vector<std::string>{"disable", "message box", "disable", "enable"}));
}

}  // namespace
}  // namespace karvex::wt
