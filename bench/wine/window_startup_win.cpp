// The Windows dialog under Wine: process start to its first paint, without a sequences folder
// beside the program and with 100 sequence files in it. Each run is a fresh process (this program
// again with --child); both processes read the same clock (GetSystemTimePreciseAsFileTime).
//   cmake --build --preset windows --target run_bench_wine_window_startup
#include "dialog/window_sequences.h"
#include "link/program_path.h"
#include "link/utf16_win.h"
#include "win32/modem_test_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

long long Now100ns() {
    FILETIME t;
    GetSystemTimePreciseAsFileTime(&t);
    return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                  t.dwLowDateTime);
}

bool painted = false;

LRESULT CALLBACK AfterPaint(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                            DWORD_PTR) {
    const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
    if (message == WM_PAINT) painted = true;
    return result;
}

// Child: the dialog as karvex.exe makes it (no settings file), until its first paint is done.
int Child(long long t0) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    karvex::win::ModemTestDialog::Options options;
    options.settingsPath = std::string();
    karvex::win::ModemTestDialog dialog(options);
    const HWND hwnd = dialog.Create();
    if (hwnd == nullptr) return 1;
    SetWindowSubclass(hwnd, &AfterPaint, 1, 0);
    ShowWindow(hwnd, SW_SHOW);
    MSG msg;
    while (!painted && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    std::printf("%.3f\n", static_cast<double>(Now100ns() - t0) / 1e4);
    std::fflush(stdout);
    RemoveWindowSubclass(hwnd, &AfterPaint, 1);
    return 0;
}

// Starts this program as a child; its one line of output in milliseconds, or a negative value.
double RunChild() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0)) return -1;
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = write;
    startup.hStdInput = INVALID_HANDLE_VALUE;
    std::wstring line = L"\"" + std::wstring(self) + L"\" --child " + std::to_wstring(Now100ns());
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &startup, &process);
    CloseHandle(write);
    std::string out;
    char buffer[256];
    DWORD got = 0;
    while (started && ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        out.append(buffer, got);
    }
    CloseHandle(read);
    if (!started) return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return code == 0 && !out.empty() ? std::atof(out.c_str()) : -1;
}

// The sequences folder beside this program: `count` copies of the example files in turn, or none.
bool FillSequenceFolder(int count) {
    const fs::path dir = fs::path(karvex::Utf16FromUtf8(karvex::ExecutableDir())) / L"sequences";
    std::error_code error;
    fs::remove_all(dir, error);
    if (count == 0) return true;
    std::vector<fs::path> examples;
    for (const auto& e : fs::directory_iterator(fs::path("Z:" KARVEX_EXAMPLES_DIR), error)) {
        examples.push_back(e.path());
    }
    std::sort(examples.begin(), examples.end());
    if (examples.empty() || !fs::create_directories(dir, error)) return false;
    for (int i = 0; i < count; ++i) {
        wchar_t name[32];
        std::swprintf(name, 32, L"seq-%03d.toml", i);
        fs::copy_file(examples[static_cast<size_t>(i) % examples.size()], dir / name, error);
        if (error) return false;
    }
    return true;
}

void Report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-52s runs %2zu  min %7.1f  median %7.1f  max %7.1f ms\n", what, ms.size(),
                ms.front(), ms[ms.size() / 2], ms.back());
}

// Without and with 100 files in turn, so that a machine's changing load falls on both alike; then
// the loading alone, in this process: read, parse, check and convert the files.
bool Measure(int runs) {
    std::vector<double> none, hundred, load;
    for (int i = 0; i < runs; ++i) {
        const double without = FillSequenceFolder(0) ? RunChild() : -1;
        const double with = FillSequenceFolder(100) ? RunChild() : -1;
        if (without < 0 || with < 0) return false;
        none.push_back(without);
        hundred.push_back(with);
    }
    for (int i = 0; i < runs; ++i) {
        const long long start = Now100ns();
        const karvex::WindowSequences loaded =
            karvex::LoadWindowSequences({karvex::ExecutableDir() + "\\sequences"});
        load.push_back(static_cast<double>(Now100ns() - start) / 1e4);
        if (loaded.loaded.size() != 100) return false;
    }
    Report("process start -> first paint of the dialog", none);
    Report("the same with 100 sequence files", hundred);
    Report("of that, loading the files", load);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "--child") return Child(std::atoll(argv[2]));
    const int runs = argc >= 2 ? std::max(1, std::atoi(argv[1])) : 10;
    const bool ok = Measure(runs);
    FillSequenceFolder(0);
    if (!ok) std::puts("a run failed");
    return ok ? 0 : 1;
}
