// The cellular module's command interpreter and state: echo, text mode, clock, SMS store, HTTP
// sessions, GPS. It does no I/O: each command gives the bytes to send right after the echo and the
// unsolicited lines that follow later. Not thread-safe on its own; the board guards it.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/board.h"
#include "sim/clock_text.h"

namespace karvex::sim {

// An unsolicited answer that follows a command after `after` (counted from the end of its reply).
struct Deferred {
    milliseconds after{0};
    std::string bytes;
};

struct Response {
    std::string reply;  // sent right after the echo
    std::vector<Deferred> later;
};

class Module {
  public:
    Module();

    // One command line, without its CR.
    Response Execute(std::string_view command, Clock::time_point now);

    // While true, the bytes after an AT+CMGS prompt are message text up to 0x1A (send) or ESC
    // (cancel), not a command line.
    bool TakingText() const { return pendingSms_.has_value(); }
    Response FinishText(std::string_view text, bool send, Clock::time_point now);

    bool Echo() const { return echo_; }
    std::string ClockValue(Clock::time_point now) const { return clock_.Value(now); }
    void SetTimeLine(std::string line) { timeLine_ = std::move(line); }
    std::string TimeLine() const;  // what the time service answers now
    std::string OwnNumber() const { return "09012345678"; }
    size_t StoredMessages() const;
    bool GpsRunning() const { return gpsRunning_; }
    void SetNetworkDelay(milliseconds delay) { smsDelay_ = httpDelay_ = delay; }

    static constexpr size_t kStoreSize = 30;  // slots of the SIM message store

  private:
    using Handler = Response (Module::*)(std::string_view args, Clock::time_point now);
    struct Entry {
        std::string_view name;  // the command up to and including '=' or '?', or all of it
        Handler handler;
    };
    static const Entry kCommands[];

    enum class SmsStatus { RecUnread, RecRead };
    struct Sms {
        SmsStatus status;
        std::string number;  // sender
        std::string stamp;   // service centre time stamp, "yy/MM/dd,hh:mm:ss+zz"
        std::string text;
    };
    struct HttpSession {
        std::string host;
        bool open = true;  // false after AT+KHTTPCLOSE
    };

    // Basic and network commands (module.cpp).
    Response Ok(std::string_view, Clock::time_point);
    Response EchoOff(std::string_view, Clock::time_point);
    Response EchoOn(std::string_view, Clock::time_point);
    Response Sleep(std::string_view args, Clock::time_point);
    Response Flag(std::string_view args, Clock::time_point);
    Response Attach(std::string_view args, Clock::time_point);
    Response AttachQuery(std::string_view, Clock::time_point);
    Response WithArgs(std::string_view args, Clock::time_point);
    Response Revision(std::string_view, Clock::time_point);
    Response SignalQuality(std::string_view, Clock::time_point);
    Response ClockQuery(std::string_view, Clock::time_point now);
    Response ClockSet(std::string_view args, Clock::time_point now);
    Response GpsStart(std::string_view args, Clock::time_point);
    Response GpsStop(std::string_view, Clock::time_point);
    // HTTP client (module_http.cpp).
    Response HttpConfig(std::string_view args, Clock::time_point);
    Response HttpGet(std::string_view args, Clock::time_point);
    Response HttpClose(std::string_view args, Clock::time_point);
    Response HttpDelete(std::string_view args, Clock::time_point);
    HttpSession* Session(std::string_view field);
    // Short messages (module_sms.cpp).
    Response MessageFormat(std::string_view args, Clock::time_point);
    Response MessageFormatQuery(std::string_view, Clock::time_point);
    Response SendMessage(std::string_view args, Clock::time_point);
    Response PreferredStorage(std::string_view args, Clock::time_point);
    Response ReadMessage(std::string_view args, Clock::time_point);
    Response DeleteMessage(std::string_view args, Clock::time_point);
    bool IsOwnNumber(std::string_view number) const;
    bool Store(Sms sms);

    bool echo_ = true;
    bool attached_ = true;
    bool textMode_ = false;  // AT+CMGF=1
    bool gpsRunning_ = false;
    ModuleClock clock_;
    std::string timeLine_;  // empty: the current time in Japan
    milliseconds smsDelay_{300};
    milliseconds httpDelay_{200};
    int nextReference_ = 1;                  // <mr> of AT+CMGS, 0..255
    std::optional<std::string> pendingSms_;  // destination while the text is being typed
    std::array<std::optional<Sms>, kStoreSize> store_;
    std::array<std::optional<HttpSession>, 4> sessions_;  // session ids 1..4
};

// Framing of verbose result codes.
std::string Line(std::string_view text);  // "\r\n<text>\r\n"
inline constexpr std::string_view kOk = "\r\nOK\r\n";
inline constexpr std::string_view kError = "\r\nERROR\r\n";

}  // namespace karvex::sim
