// The Windows dialog's log figures as the log grows (the schedule is bench/log_growth.h): the real
// dialog, its log control, the operator's actions sent to it as window messages.
//   cmake --build --preset windows --target run_bench_wine_log_append
#include <chrono>
#include <string>
#include <utility>

#include "log_growth.h"
#include "resources/main_dialog.h"
#include "win32/modem_test_dialog.h"

#include <windows.h>

#include <psapi.h>

namespace {

using karvex::bench::Action;
using karvex::bench::GrowthClock;

constexpr UINT kActionMessage = WM_APP + 20;

class WinHost : public karvex::bench::GrowthHost {
  public:
    explicit WinHost(karvex::win::ModemTestDialog& dlg)
        : dlg_(dlg), log_(GetDlgItem(dlg.Window(), karvex::res::kIdTrafficLog)) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &ActionProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"KarvexBenchActions";
        RegisterClassW(&wc);
        actions_ = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 wc.hInstance, nullptr);
        SetWindowLongPtrW(actions_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }

    karvex::TrafficLog& Log() override { return dlg_.Log(); }
    bool PumpUntil(const std::function<bool()>& done, double seconds) override {
        const auto end = GrowthClock::now() + std::chrono::duration_cast<GrowthClock::duration>(
                                                  std::chrono::duration<double>(seconds));
        for (;;) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                const auto t0 = GrowthClock::now();
                if (!IsDialogMessageW(dlg_.Window(), &msg)) {
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
                longest_ = std::max(longest_, karvex::bench::MsSince(t0));
            }
            if (done()) return true;
            if (GrowthClock::now() >= end) return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
    }
    long ShownLines() override {
        return static_cast<long>(SendMessageW(log_, EM_GETLINECOUNT, 0, 0));
    }
    void RepaintNow() override {
        RedrawWindow(log_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
    void PostAction(Action action, GrowthClock::time_point posted) override {
        PostMessageW(actions_, kActionMessage, static_cast<WPARAM>(action),
                     static_cast<LPARAM>(posted.time_since_epoch().count()));
    }
    std::vector<double> TakeLatencies() override { return std::exchange(latencies_, {}); }
    size_t LatencyCount() override { return latencies_.size(); }
    double TakeLongestDispatch() override { return std::exchange(longest_, 0.0); }
    double UiThreadCpuSeconds() override {
        FILETIME created, exited, kernel, user;
        GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
        const auto ticks = [](const FILETIME& f) {
            return static_cast<double>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) |
                                       f.dwLowDateTime);
        };
        return (ticks(kernel) + ticks(user)) / 1e7;
    }
    void SelectAllAndCopy() override {
        Key('A', VK_CONTROL);
        Key('C', VK_CONTROL);
    }
    double ResidentMiB() override {
        PROCESS_MEMORY_COUNTERS counters{};
        K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
        return static_cast<double>(counters.WorkingSetSize) / 1048576.0;
    }

  private:
    static LRESULT CALLBACK ActionProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message != kActionMessage) return DefWindowProcW(hwnd, message, wParam, lParam);
        auto* self = reinterpret_cast<WinHost*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        self->Perform(static_cast<Action>(wParam));
        UpdateWindow(self->log_);
        const GrowthClock::time_point posted{GrowthClock::duration(lParam)};
        self->latencies_.push_back(karvex::bench::MsSince(posted));
        return 0;
    }
    void Mouse(UINT message, int x, int y, WPARAM held) {
        SendMessageW(log_, message, held, MAKELPARAM(x, y));
    }
    void Key(UINT vk, UINT modifier) {
        BYTE keys[256];
        GetKeyboardState(keys);
        if (modifier != 0) keys[modifier] = 0x80;
        SetKeyboardState(keys);
        SendMessageW(log_, WM_KEYDOWN, vk, 1);
        SendMessageW(log_, WM_KEYUP, vk, 1);
        if (modifier != 0) keys[modifier] = 0;
        SetKeyboardState(keys);
    }
    void Perform(Action action) {
        switch (action) {
            case Action::WheelUp: {
                POINT at{60, 60};
                ClientToScreen(log_, &at);
                SendMessageW(log_, WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA),
                             MAKELPARAM(at.x, at.y));
                break;
            }
            case Action::DragSelect:
                Mouse(WM_LBUTTONDOWN, 20, 40, MK_LBUTTON);
                Mouse(WM_MOUSEMOVE, 150, 100, MK_LBUTTON);
                Mouse(WM_LBUTTONUP, 150, 100, 0);
                break;
            case Action::ShiftDown:
                Key(VK_DOWN, VK_SHIFT);
                break;
            case Action::PageDown:
                Key(VK_NEXT, 0);
                break;
            case Action::Click:
                Mouse(WM_LBUTTONDOWN, 30, 60, MK_LBUTTON);
                Mouse(WM_LBUTTONUP, 30, 60, 0);
                break;
            case Action::CtrlEnd:
                Key(VK_END, VK_CONTROL);
                break;
        }
    }

    karvex::win::ModemTestDialog& dlg_;
    HWND log_;
    HWND actions_ = nullptr;
    std::vector<double> latencies_;
    double longest_ = 0.0;
};

}  // namespace

int main() {
    karvex::win::ModemTestDialog::Options options;
    options.settingsPath = std::string();
    karvex::win::ModemTestDialog dlg(options);
    if (dlg.Create() == nullptr) return 1;
    ShowWindow(dlg.Window(), SW_SHOW);
    WinHost host(dlg);
    return karvex::bench::RunGrowth(host);
}
