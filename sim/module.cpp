#include "sim/module.h"

#include "sim/at_args.h"

namespace karvex::sim {

namespace {
constexpr std::string_view kRevision = "R5.5.24.0.201704131036";
constexpr std::string_view kSignalQuality = "+CSQ: 18,99";

Response Answer(std::string_view bytes) {
    return {std::string(bytes), {}};
}
Response Info(std::string_view line) {
    return {Line(line) + std::string(kOk), {}};
}
}  // namespace

std::string Line(std::string_view text) {
    return "\r\n" + std::string(text) + "\r\n";
}

// The commands the module knows. The name is matched without regard to case; the handler gets the
// text after the '='. Anything else answers ERROR.
const Module::Entry Module::kCommands[] = {
    {"AT", &Module::Ok},
    {"ATE0", &Module::EchoOff},
    {"ATE", &Module::EchoOff},
    {"ATE1", &Module::EchoOn},
    {"AT&K0", &Module::Ok},
    {"AT&K3", &Module::Ok},
    {"AT+KSLEEP=", &Module::Sleep},
    {"AT+GPSAUTOINIT=", &Module::Flag},
    {"AT+CGATT=", &Module::Attach},
    {"AT+CGATT?", &Module::AttachQuery},
    {"AT+KCNXCFG=", &Module::WithArgs},
    {"AT+CGDCONT=", &Module::WithArgs},
    {"AT+KCNXPROFILE=", &Module::WithArgs},
    {"AT+CGMR", &Module::Revision},
    {"AT+CSQ", &Module::SignalQuality},
    {"AT+KHTTPCFG=", &Module::HttpConfig},
    {"AT+KHTTPGET=", &Module::HttpGet},
    {"AT+KHTTPCLOSE=", &Module::HttpClose},
    {"AT+KHTTPDEL=", &Module::HttpDelete},
    {"AT+CCLK?", &Module::ClockQuery},
    {"AT+CCLK=", &Module::ClockSet},
    {"AT+CMGF=", &Module::MessageFormat},
    {"AT+CMGF?", &Module::MessageFormatQuery},
    {"AT+CMGS=", &Module::SendMessage},
    {"AT+CPMS=", &Module::PreferredStorage},
    {"AT+CMGR=", &Module::ReadMessage},
    {"AT+CMGD=", &Module::DeleteMessage},
    {"AT+WPPP=", &Module::WithArgs},
    {"AT+CMOLR=", &Module::WithArgs},
    {"AT+GPSNMEA=", &Module::WithArgs},
    {"AT+GPSSTART=", &Module::GpsStart},
    {"AT+GPSSTOP", &Module::GpsStop},
};

Module::Module() = default;

Response Module::Execute(std::string_view command, Clock::time_point now) {
    const size_t equals = command.find('=');
    const std::string_view name =
        equals == std::string_view::npos ? command : command.substr(0, equals + 1);
    const std::string_view args =
        equals == std::string_view::npos ? std::string_view{} : command.substr(equals + 1);
    for (const Entry& entry : kCommands) {
        if (EqualsNoCase(name, entry.name)) return (this->*entry.handler)(args, now);
    }
    return Answer(kError);
}

std::string Module::TimeLine() const {
    return timeLine_.empty() ? JapanTimeLine(std::chrono::system_clock::now()) : timeLine_;
}

Response Module::Ok(std::string_view, Clock::time_point) {
    return Answer(kOk);
}

Response Module::EchoOff(std::string_view, Clock::time_point) {
    echo_ = false;
    return Answer(kOk);
}

Response Module::EchoOn(std::string_view, Clock::time_point) {
    echo_ = true;
    return Answer(kOk);
}

Response Module::Sleep(std::string_view args, Clock::time_point) {
    const auto mode = ParseNumber(args);
    return Answer(mode && *mode <= 2 ? kOk : kError);
}

Response Module::Flag(std::string_view args, Clock::time_point) {
    const auto flag = ParseNumber(args);
    return Answer(flag && *flag <= 1 ? kOk : kError);
}

Response Module::Attach(std::string_view args, Clock::time_point) {
    const auto state = ParseNumber(args);
    if (!state || *state > 1) return Answer(kError);
    attached_ = *state == 1;
    return Answer(kOk);
}

Response Module::AttachQuery(std::string_view, Clock::time_point) {
    return Info(attached_ ? "+CGATT: 1" : "+CGATT: 0");
}

// Configuration commands whose values the simulation does not use: any non-empty argument list.
Response Module::WithArgs(std::string_view args, Clock::time_point) {
    return Answer(args.empty() ? kError : kOk);
}

Response Module::Revision(std::string_view, Clock::time_point) {
    return Info(kRevision);
}

Response Module::SignalQuality(std::string_view, Clock::time_point) {
    return Info(kSignalQuality);
}

Response Module::ClockQuery(std::string_view, Clock::time_point now) {
    return Info("+CCLK: \"" + clock_.Value(now) + "\"");
}

Response Module::ClockSet(std::string_view args, Clock::time_point now) {
    const auto value = Unquote(args);
    return Answer(value && clock_.Set(*value, now) ? kOk : kError);
}

Response Module::GpsStart(std::string_view args, Clock::time_point) {
    const auto mode = ParseNumber(args);  // 0 auto, 1 hot, 2 warm, 3 cold start
    if (!mode || *mode > 3) return Answer(kError);
    gpsRunning_ = true;
    return {std::string(kOk), {{milliseconds{0}, Line("+GPSEVSTART: 1")}}};
}

Response Module::GpsStop(std::string_view, Clock::time_point) {
    gpsRunning_ = false;
    return {std::string(kOk), {{milliseconds{0}, Line("+GPSEVSTOP: 1")}}};
}

}  // namespace karvex::sim
