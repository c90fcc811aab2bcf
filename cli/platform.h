// What karvex-run needs from the operating system beyond the core: one file per platform.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/cp932.h"

namespace karvex::cli {

// The program's arguments as UTF-8, argv[0] included. On Windows they are read as UTF-16 from
// the process's command line (argv holds them in the ANSI code page, which loses characters).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Sets the console (when standard output or error is one) to show the program's UTF-8 text, for
// as long as the program runs. Nothing to do where terminals take UTF-8 as they are.
void UseUtf8Console();

// A reader that goes away (`karvex-run --json | head -1`) makes writes to its pipe fail, rather
// than end the program before the boards are stopped, their locks removed and the reports
// written. Nothing to do where a closed pipe raises no signal.
void IgnoreBrokenPipes();

// True when standard output is a terminal (the live progress line is drawn only then).
bool StdoutIsTerminal();

// The command line's text (UTF-8) as CP932, the bytes on the wire, and back: the link's converter,
// refusing a character CP932 cannot represent (or text that is not UTF-8), and showing bytes that
// are not CP932 as U+FFFD.
inline std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
    return StrictCp932FromUtf8(utf8);
}
inline std::string Cp932ToUtf8(std::string_view cp932) {
    return Utf8FromCp932(cp932);
}

// Calls `onInterrupt` once, on a thread of its own, when the user presses Ctrl-C (or the process
// is asked to terminate, or its terminal hangs up). The watch ends, and its thread is joined, when
// the object goes.
class InterruptWatch {
  public:
    explicit InterruptWatch(std::function<void()> onInterrupt);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace karvex::cli
