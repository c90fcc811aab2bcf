#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "cli/platform.h"

namespace karvex::cli {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void UseUtf8Console() {}

void IgnoreBrokenPipes() {
    ::signal(SIGPIPE, SIG_IGN);
}

bool StdoutIsTerminal() {
    return isatty(STDOUT_FILENO) == 1;
}

namespace {

int interruptPipe[2] = {-1, -1};

extern "C" void OnSignal(int) {
    const char byte = 'i';
    [[maybe_unused]] const ssize_t n = ::write(interruptPipe[1], &byte, 1);
}

}  // namespace

struct InterruptWatch::Impl {
    std::thread thread;
    struct sigaction oldInt {
    }, oldTerm{}, oldHup{};
};

// The handler only writes one byte to a pipe; the watch thread reads it and calls back. The
// destructor writes 'q' to end the thread when no interrupt came.
InterruptWatch::InterruptWatch(std::function<void()> onInterrupt) : impl_(new Impl) {
    if (pipe2(interruptPipe, O_CLOEXEC) != 0) return;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &impl_->oldInt);
    sigaction(SIGTERM, &action, &impl_->oldTerm);
    sigaction(SIGHUP, &action, &impl_->oldHup);
    impl_->thread = std::thread([onInterrupt = std::move(onInterrupt)] {
        char byte = 0;
        for (;;) {
            const ssize_t n = ::read(interruptPipe[0], &byte, 1);
            if (n == 1 && byte == 'i') {
                onInterrupt();
                return;
            }
            if (n == 1 || (n < 0 && errno != EINTR)) return;
        }
    });
}

InterruptWatch::~InterruptWatch() {
    if (interruptPipe[1] < 0) return;
    sigaction(SIGINT, &impl_->oldInt, nullptr);
    sigaction(SIGTERM, &impl_->oldTerm, nullptr);
    sigaction(SIGHUP, &impl_->oldHup, nullptr);
    const char quit = 'q';
    [[maybe_unused]] const ssize_t n = ::write(interruptPipe[1], &quit, 1);
    if (impl_->thread.joinable()) impl_->thread.join();
    ::close(interruptPipe[0]);
    ::close(interruptPipe[1]);
    interruptPipe[0] = interruptPipe[1] = -1;
}

}  // namespace karvex::cli
