// The board floods the real window with line noise: random bytes (NUL, 0xFF, Ctrl-Z, bare CRs and
// LFs, CP932 lead bytes), a line of 1 MiB without a line end, runs of bare CRs and bare LFs. The
// window must stay responsive (a timer probe measures how late the event loop serves it), and
// afterwards the log must hold exactly what the line reader's rules give.
#include <QComboBox>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "tests/soak/event_loop.h"
#include "tests/soak/window_soak_rig.h"
#include "window/log_widget.h"

namespace karvex::soak {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

constexpr int kCom = 61;
constexpr auto kMixTime = 15s;
constexpr size_t kChunk = 4096;
constexpr size_t kMaxOutstanding = 8192;  // queued at the board and not yet written
constexpr size_t kLongLine = 1024 * 1024;
// The log stands still this long once the board has written everything: the monitor has read
// what the pseudo-terminal still held, slept its pauses, and its read time-out has dropped any
// half line.
constexpr auto kQuiet = 1500ms;
// Longest the event loop may be late and still count as responsive (sanitizer builds included).
constexpr double kResponsiveMs = 1000;

// Line noise: mostly printable, with the bytes a bad line or a confused module produces.
std::string Noise(std::mt19937& rng, size_t n, bool lineEnds) {
    static const char kSpecial[] = {'\0', '\xFF', '\x1A', '\r', '\x81', '\x9F', '\xE0', '\x80'};
    std::uniform_int_distribution<int> pick(0, 999);
    std::uniform_int_distribution<int> printable(0x20, 0x7E);
    std::string out;
    out.reserve(n);
    while (out.size() < n) {
        const int p = pick(rng);
        if (lineEnds && p < 12) {
            out += '\n';
        } else if (p < 250) {
            out += kSpecial[static_cast<size_t>(p) % sizeof kSpecial];
        } else {
            out += static_cast<char>(printable(rng));
        }
    }
    return out;
}

class BurstRig : public WindowRig {
  public:
    BurstRig() : WindowRig(kCom) {
        board.SetRecording(false);
        board.SetObserver([this](bool received, std::string_view bytes) {
            if (!received) written_.fetch_add(bytes.size());
        });
    }
    ~BurstRig() { board.SetObserver(nullptr); }

    void Send(std::string_view bytes) {
        queued_ += bytes.size();
        board.Send(bytes);
    }
    size_t Outstanding() const { return queued_ - written_.load(); }

    // Until the board has written everything and the log has stood still for kQuiet.
    bool Settle(std::chrono::milliseconds limit = 180s) {
        const auto end = SteadyClock::now() + limit;
        if (!RunUntil([&] { return Outstanding() == 0; }, limit)) return false;
        size_t size = dlg->Log().Size();
        auto still = SteadyClock::now();
        return RunUntil(
            [&] {
                const auto now = SteadyClock::now();
                if (dlg->Log().Size() != size) {
                    size = dlg->Log().Size();
                    still = now;
                }
                return now - still >= kQuiet || now >= end;
            },
            limit);
    }

    // Empties the log, sends `bytes`, settles, and returns what was logged.
    std::string LogOf(std::string_view bytes) {
        dlg->Log().Clear();
        Send(bytes);
        EXPECT_TRUE(Settle());
        return dlg->Log().Snapshot();
    }

    // The view shows the model's bytes, decoded.
    bool ViewMatchesModel() {
        return RunUntil([&] { return ViewText() == LogWidget::ShownText(dlg->Log().Snapshot()); },
                        10s);
    }

  private:
    std::atomic<size_t> written_{0};
    size_t queued_ = 0;
};

// Prints the probe's figures for the phase that just ended and starts the next phase afresh.
bool Responsive(LatencyProbe& probe, const char* phase) {
    probe.Print(phase);
    const bool ok = probe.Summary().max < kResponsiveMs;
    probe.Start();
    return ok;
}

TEST(WindowBurstSoak, LineNoiseKeepsTheWindowResponsiveAndTheLogTrue) {
    BurstRig rig;
    rig.Connect();
    ASSERT_TRUE(rig.dlg->LinkOpen());
    const unsigned seed = std::random_device{}();
    std::printf("[soak] noise seed %u\n", seed);
    std::mt19937 rng(seed);

    LatencyProbe probe;
    probe.Start();

    // Random noise for a while, the operator switching test items meanwhile.
    auto* items = rig.Get<QComboBox>(res::kIdTestItem);
    size_t noiseBytes = 0;
    const auto mixEnd = SteadyClock::now() + kMixTime;
    for (int tick = 0; SteadyClock::now() < mixEnd; ++tick) {
        if (rig.Outstanding() < kMaxOutstanding) {
            rig.Send(Noise(rng, kChunk, true));
            noiseBytes += kChunk;
        }
        if (tick % 10 == 0) items->setCurrentIndex(tick / 10 % items->count());
        RunFor(20ms);
    }
    ASSERT_TRUE(rig.Settle());
    const std::string noiseLog = rig.dlg->Log().Snapshot();
    std::printf("[soak] %zu bytes of noise gave %zu bytes of log\n", noiseBytes, noiseLog.size());
    EXPECT_EQ(noiseLog.find('\0'), std::string::npos) << "a NUL never reaches the log";
    EXPECT_TRUE(rig.ViewMatchesModel());
    EXPECT_TRUE(Responsive(probe, "under random noise"));

    // A line of 1 MiB without a line end is dropped 80 bytes at a time: nothing is logged.
    const auto longStart = SteadyClock::now();
    EXPECT_EQ(rig.LogOf(Noise(rng, kLongLine, false)), "");
    const double longSeconds =
        std::chrono::duration<double>(SteadyClock::now() - longStart - kQuiet).count();
    std::printf("[soak] 1 MiB without a line end read in %.1f s (%.0f KiB/s)\n", longSeconds,
                1024 / longSeconds);
    EXPECT_TRUE(Responsive(probe, "reading 1 MiB without a line end"));

    struct Case {
        const char* name;
        std::string bytes;
        std::string logged;
    };
    std::string lfs;
    for (int i = 0; i < 100; ++i) lfs += "\n\n\r\n";
    const Case cases[] = {
        {"bare CRs", std::string(4000, '\r'), ""},
        {"bare LFs: every third ends a line", std::string(300, '\n'), lfs},
        {"a line that starts with NUL", std::string("\0\0abc\r\n", 7), ""},
        {"a NUL cuts the line", std::string("\r\nO\0K\r\n", 7), "\r\nO"},
        {"Ctrl-Z and 0xFF pass", "\r\n\x1A\xFF\r\n", "\r\n\x1A\xFF\r\n"},
        {"a known line after the noise", "\r\n+CSQ: 18,99\r\n", "\r\n+CSQ: 18,99\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rig.LogOf(c.bytes), c.logged) << c.name;
    }
    EXPECT_TRUE(rig.ViewText().endsWith(QStringLiteral("\n+CSQ: 18,99\n"))) << "the view too";

    EXPECT_TRUE(Responsive(probe, "under CRs, LFs and NULs"));
    probe.Stop();

    // The window closes while the board still floods it: every thread is joined promptly.
    rig.Send(Noise(rng, 256 * 1024, true));
    RunFor(300ms);
    const auto closeStart = SteadyClock::now();
    rig.dlg.reset();
    const auto closeMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - closeStart)
            .count();
    std::printf("[soak] window closed during the flood in %lld ms\n",
                static_cast<long long>(closeMs));
    EXPECT_LT(closeMs, 1000);
}

}  // namespace
}  // namespace karvex::soak
