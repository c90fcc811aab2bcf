// The line reader, the verdicts and the receive monitor over arbitrary byte streams.
//
// The input is a script for an in-memory port (no threads, no sleeps):
//   byte 0         length (mod 24) of the expected reply the first step waits for, then its bytes;
//   then           the module's bytes, with 0xFE as an escape:
//     FE 'T'         the next one-byte read times out
//     FE 'F'         the next read fails (a vanished device)
//     FE 'E' n ...   the runner starts a step expecting the next n (mod 24) bytes
//     FE 'R'         the runner resets the result flag before its write
//     FE other       a data byte 0xFE; `other` is read on its own
//
// Every line is checked against a plain model of the rules: a line ends at an LF at position 2 or
// later (kept after a CR, widened to CR LF otherwise), a time-out or a failed read drops what was
// gathered, 80 bytes without an end are dropped, a NUL cuts the logged text. The same script is
// then played to the real monitor, whose log and result flag must match the model.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "link/line_reader.h"
#include "link/link_state.h"
#include "link/receive_monitor.h"
#include "link/traffic_log.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using namespace karvex;

constexpr uint8_t kEscape = 0xFE;
constexpr size_t kMaxExpected = 24;

struct Event {
    enum class Kind { Byte, Timeout, Fail, Expect, Reset };
    Kind kind;
    char byte = 0;
    std::string_view expected{};  // into the input, which outlives the script
};

struct Script {
    std::string_view firstExpected;
    std::vector<Event> events;
};

std::string_view TakeText(const uint8_t*& p, const uint8_t* end) {
    if (p == end) return {};
    const size_t wanted = *p++ % kMaxExpected;
    const size_t n = std::min(wanted, static_cast<size_t>(end - p));
    const std::string_view text(reinterpret_cast<const char*>(p), n);
    p += n;
    return text;
}

Script Parse(const uint8_t* data, size_t size) {
    Script script;
    script.events.reserve(size);
    const uint8_t* p = data;
    const uint8_t* end = data + size;
    script.firstExpected = TakeText(p, end);
    while (p < end) {
        const uint8_t b = *p++;
        if (b != kEscape || p == end) {
            script.events.push_back({Event::Kind::Byte, static_cast<char>(b)});
            continue;
        }
        switch (*p) {
            case 'T':
                ++p;
                script.events.push_back({Event::Kind::Timeout});
                break;
            case 'F':
                ++p;
                script.events.push_back({Event::Kind::Fail});
                break;
            case 'R':
                ++p;
                script.events.push_back({Event::Kind::Reset});
                break;
            case 'E':
                ++p;
                script.events.push_back({Event::Kind::Expect, 0, TakeText(p, end)});
                break;
            default:
                script.events.push_back({Event::Kind::Byte, static_cast<char>(b)});
                break;
        }
    }
    return script;
}

// Plays the script one read at a time. Steps of the runner (expect, reset) happen between reads,
// as they do on the real link. At the end of the script the link closes.
class ScriptPort final : public Port {
  public:
    ScriptPort(const Script& script, LinkState* state) : script_(script), state_(state) {}

    void Purge() override {}
    int Write(const void*, uint32_t count) override { return static_cast<int>(count); }
    int Read(void* buffer, uint32_t count) override {
        // The reader must never read ahead: a line is logged as soon as its LF arrives.
        FUZZ_CHECK(count == 1, "reads are one byte at a time");
        ++reads;
        while (pos_ < script_.events.size()) {
            const Event& e = script_.events[pos_++];
            switch (e.kind) {
                case Event::Kind::Expect:
                    if (state_) state_->SetExpected(e.expected);
                    continue;
                case Event::Kind::Reset:
                    if (state_) state_->Publish(Verdict::Waiting);
                    continue;
                case Event::Kind::Timeout:
                    lastFailed = false;
                    return 0;
                case Event::Kind::Fail:
                    lastFailed = true;
                    return -1;
                case Event::Kind::Byte:
                    lastFailed = false;
                    *static_cast<char*>(buffer) = e.byte;
                    ++bytes;
                    return 1;
            }
        }
        if (state_) state_->SetLinkOpen(false);
        lastFailed = false;
        return 0;
    }
    bool Done() const { return pos_ >= script_.events.size(); }

    size_t reads = 0;
    size_t bytes = 0;
    bool lastFailed = false;

  private:
    const Script& script_;
    LinkState* state_;
    size_t pos_ = 0;
};

// What the rules say the stream gives: the logged texts, and the result flag at the end.
struct Model {
    std::vector<std::string> lines;  // as delivered, before a NUL cuts them
    std::string log;
    Verdict flag = Verdict::Waiting;
};

bool Contains(std::string_view line, std::string_view text) {
    return std::search(line.begin(), line.end(), text.begin(), text.end()) != line.end();
}

Verdict Judge(std::string_view text, std::string_view expected, Verdict flag) {
    const std::string_view success = expected.empty() ? std::string_view("OK\r") : expected;
    for (std::string_view failure : {"+KHTTP_ERROR", "ERROR\r", "NO CARRIER\r", "ABORT\r"}) {
        if (Contains(text, failure)) return Verdict::Failure;
    }
    return Contains(text, success) ? Verdict::Success : flag;
}

Model Expect(const Script& script) {
    Model m;
    std::string_view expected = script.firstExpected;
    std::string partial;
    for (const Event& e : script.events) {
        switch (e.kind) {
            case Event::Kind::Expect:
                expected = e.expected;
                break;
            case Event::Kind::Reset:
                m.flag = Verdict::Waiting;
                break;
            case Event::Kind::Timeout:
            case Event::Kind::Fail:
                partial.clear();
                break;
            case Event::Kind::Byte:
                if (partial.size() >= 2 && e.byte == '\n') {
                    std::string line = partial;
                    line += partial.back() == '\r' ? "\n" : "\r\n";
                    const std::string text = line.substr(0, line.find('\0'));
                    m.lines.push_back(line);
                    m.log += text;
                    m.flag = Judge(text, expected, m.flag);
                    partial.clear();
                } else {
                    partial += e.byte;
                    if (partial.size() == 80) partial.clear();
                }
                break;
        }
    }
    return m;
}

// ReadLine call by call: each result against the model, and nothing written past the 82 bytes a
// line may fill.
void CheckReadLine(const Script& script, const Model& model) {
    constexpr size_t kLineRoom = 82;
    LineBuffer untouched;
    untouched.fill('\xA5');
    ScriptPort port(script, nullptr);
    LineBuffer buffer = untouched;
    size_t next = 0;
    while (!port.Done()) {
        // Only the line's room can have been written since the last refill.
        std::memcpy(buffer.data(), untouched.data(), kLineRoom);
        const size_t bytesBefore = port.bytes;
        const ReadLineResult r = ReadLine(port, buffer);
        const size_t consumed = port.bytes - bytesBefore;
        FUZZ_CHECK(consumed <= static_cast<size_t>(kMaxLineBytes), "at most 80 bytes per call");
        FUZZ_CHECK(std::memcmp(buffer.data() + kLineRoom, untouched.data() + kLineRoom,
                               buffer.size() - kLineRoom) == 0,
                   "a line fills at most 82 bytes of the buffer");
        if (r.code < 0) {
            FUZZ_CHECK(r.portFailed == port.lastFailed, "a failed read is told from a time-out");
            continue;
        }
        FUZZ_CHECK(r.code == 0, "ReadLine returns 0 or E_FAIL");
        FUZZ_CHECK(next < model.lines.size(), "no line that the rules do not give");
        const std::string& want = model.lines[next++];
        FUZZ_CHECK(want.size() <= 81, "a line is at most 81 characters");
        FUZZ_CHECK(std::memcmp(buffer.data(), want.data(), want.size()) == 0 &&
                       buffer[want.size()] == '\0',
                   "the line is the bytes received, ending CR LF, NUL-terminated");
        const std::string_view text = LineText(buffer);
        FUZZ_CHECK(text == std::string_view(want).substr(0, want.find('\0')),
                   "a NUL cuts the line's text");
        FUZZ_CHECK(text.size() <= 81, "line text at most 81 characters");
        FUZZ_CHECK(want.ends_with("\r\n"), "a returned line ends in CR LF");
    }
    FUZZ_CHECK(next == model.lines.size(), "every line the rules give is returned");
}

// The real monitor over the same script, with its pauses set to zero.
void CheckMonitor(const Script& script, const Model& model) {
    LinkState state;
    state.SetLinkOpen(true);
    state.SetExpected(script.firstExpected);
    TrafficLog log;
    ScriptPort port(script, &state);
    MonitorTiming timing;
    timing.afterLineMs = 0;
    timing.pauseTextMs = 0;
    timing.beforeSuccessMs = 0;
    timing.afterFailedReadMs = 0;
    ReceiveMonitor(state, port, log, timing);
    FUZZ_CHECK(port.Done(), "the monitor reads until the link closes");
    FUZZ_CHECK(log.Snapshot() == model.log, "the log holds exactly the lines, NUL-cut");
    FUZZ_CHECK(state.Result() == model.flag, "the result flag follows the last judged line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Script script = Parse(data, size);
    const Model model = Expect(script);
    CheckReadLine(script, model);
    CheckMonitor(script, model);
    return 0;
}
