#include <windows.h>
// shellapi.h needs what windows.h defines first.
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "cli/platform.h"

namespace karvex::cli {

namespace {

constexpr UINT kCp932 = 932;

std::wstring Wide(UINT codePage, DWORD flags, std::string_view text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), wide.data(),
                        n);
    return wide;
}

// Set by the watch, read by the console handler (on a thread Windows starts for each event).
std::atomic<HANDLE> interruptEvent{nullptr};

BOOL WINAPI OnConsoleEvent(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
    if (const HANDLE event = interruptEvent.load()) SetEvent(event);
    // Closing the console window ends the process as soon as this handler returns: hold it
    // while the boards stop and the reports are written (the process's exit ends this thread;
    // Windows gives up waiting after about five seconds).
    if (type == CTRL_CLOSE_EVENT) Sleep(INFINITE);
    return TRUE;
}

std::string Utf8(std::wstring_view wide) {
    if (wide.empty()) return {};
    // A lone surrogate becomes U+FFFD, which no field accepts (it has no CP932 form).
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n,
                        nullptr, nullptr);
    return utf8;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(Utf8(wide[i]));
    LocalFree(wide);
    return arguments;
}

namespace {

UINT consoleCodePage = 0;  // the console's own, given back at exit

bool IsConsole(DWORD stdHandle) {
    DWORD mode = 0;
    const HANDLE handle = GetStdHandle(stdHandle);
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode);
}

}  // namespace

// The lines are UTF-8 (the window's messages are Japanese); a console shows bytes in its output
// code page, CP932 on a Japanese Windows, so it is switched to UTF-8 and back at exit.
void UseUtf8Console() {
    if (!IsConsole(STD_OUTPUT_HANDLE) && !IsConsole(STD_ERROR_HANDLE)) return;
    consoleCodePage = GetConsoleOutputCP();
    if (consoleCodePage == CP_UTF8 || !SetConsoleOutputCP(CP_UTF8)) return;
    std::atexit([] { SetConsoleOutputCP(consoleCodePage); });
}

// Windows raises no signal for a closed pipe: the write fails.
void IgnoreBrokenPipes() {}

// A console only: _isatty is true for any character device (NUL, a COM port). The progress line
// erases itself with VT sequences, so the console must take them (Windows 10 and later).
bool StdoutIsTerminal() {
    if (!IsConsole(STD_OUTPUT_HANDLE)) return false;
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    GetConsoleMode(out, &mode);
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
    if (utf8.empty()) return std::string();
    const std::wstring wide = Wide(CP_UTF8, MB_ERR_INVALID_CHARS, utf8);
    if (wide.empty()) return std::nullopt;
    // No best-fit mapping: a character CP932 does not have is refused, not replaced.
    BOOL usedDefault = FALSE;
    const int n =
        WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, wide.data(),
                            static_cast<int>(wide.size()), nullptr, 0, nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return std::nullopt;
    std::string bytes(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                        bytes.data(), n, nullptr, nullptr);
    return bytes;
}

std::string Cp932ToUtf8(std::string_view cp932) {
    const std::wstring wide = Wide(kCp932, 0, cp932);  // invalid bytes become U+FFFD or U+30FB
    if (wide.empty()) return {};
    return Utf8(wide);
}

struct InterruptWatch::Impl {
    HANDLE interrupt = nullptr;
    HANDLE quit = nullptr;
    std::thread thread;
};

// The console handler only sets an event; the watch thread waits for it (or for the end of the
// watch) and calls back.
InterruptWatch::InterruptWatch(std::function<void()> onInterrupt) : impl_(new Impl) {
    impl_->interrupt = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    impl_->quit = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (impl_->interrupt == nullptr || impl_->quit == nullptr) return;
    interruptEvent.store(impl_->interrupt);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    impl_->thread = std::thread([this, onInterrupt = std::move(onInterrupt)] {
        const HANDLE events[2] = {impl_->interrupt, impl_->quit};
        if (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0) onInterrupt();
    });
}

InterruptWatch::~InterruptWatch() {
    if (impl_->quit != nullptr) SetEvent(impl_->quit);
    if (impl_->thread.joinable()) impl_->thread.join();
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    // A handler already running may still set the event: it is closed only when the process ends.
    interruptEvent.store(nullptr);
    if (impl_->quit != nullptr) CloseHandle(impl_->quit);
}

}  // namespace karvex::cli
