#include "link/line_reader.h"

#include <cstring>

namespace karvex {

namespace {
constexpr char kCr = '\r';
constexpr char kLf = '\n';
}  // namespace

ReadLineResult ReadLine(Port& port, LineBuffer& buffer) {
    size_t i = 0;
    for (;;) {
        const int n = port.Read(&buffer[i], 1);
        if (n != 1) return {E_FAIL, n < 0};
        // An LF at position 0 or 1 never ends a line: the CR LF in front of a reply stays at the
        // front of it.
        if (i >= 2 && buffer[i] == kLf) {
            if (buffer[i - 1] == kCr) {
                buffer[i + 1] = '\0';
            } else {
                buffer[i] = kCr;  // a bare LF is widened to CR LF
                buffer[i + 1] = kLf;
                buffer[i + 2] = '\0';
            }
            return {0, false};
        }
        if (++i == kMaxLineBytes) return {E_FAIL, false};
    }
}

std::string_view LineText(const LineBuffer& buffer) {
    return {buffer.data(), strnlen(buffer.data(), buffer.size())};
}

LineJudgement JudgeLine(std::string_view line, std::string_view expected,
                        std::span<const std::string> extraFailures) {
    const std::string_view success = expected.empty() ? kDefaultSuccessText : expected;
    LineJudgement j;
    j.holdsSuccess = line.find(success) != std::string_view::npos;
    for (const std::string_view failure : kFailureReplies) {
        if (line.find(failure) != std::string_view::npos) j.holdsFailure = true;
    }
    for (const std::string& failure : extraFailures) {
        if (!failure.empty() && line.find(failure) != std::string_view::npos) j.holdsFailure = true;
    }
    return j;
}

}  // namespace karvex
