#include <windows.h>
// shellapi.h needs what windows.h defines first.
#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "cli/platform.h"
#include "link/utf16_win.h"

namespace karvex::cli {

namespace {

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

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(Utf8FromUtf16(wide[i]));
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
