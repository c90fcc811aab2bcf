// The module's HTTP client: a session is configured, answers GET requests with the server's
// response followed by the end-of-data marker, and is closed and deleted.
#include "sim/at_args.h"
#include "sim/module.h"

namespace karvex::sim {

namespace {
constexpr std::string_view kTimePath = "/cgi-bin/time";
constexpr std::string_view kEndOfData = "--EOF--Pattern--";

std::string HttpResponse(std::string_view status, std::string_view body) {
    return "HTTP/1.1 " + std::string(status) +
           "\r\n"
           "Content-Type: text/plain\r\n"
           "Content-Length: " +
           std::to_string(body.size()) +
           "\r\n"
           "Connection: close\r\n"
           "\r\n" +
           std::string(body);
}
}  // namespace

Module::HttpSession* Module::Session(std::string_view field) {
    const auto id = ParseNumber(field);
    if (!id || *id < 1 || static_cast<size_t>(*id) > sessions_.size()) return nullptr;
    auto& session = sessions_[static_cast<size_t>(*id) - 1];
    return session ? &*session : nullptr;
}

// AT+KHTTPCFG=<cnx>,"<host>",<port>[,...]: a new session; ready once the connection is up.
Response Module::HttpConfig(std::string_view args, Clock::time_point) {
    const auto fields = SplitArgs(args);
    if (fields.size() < 3 || !ParseNumber(fields[0])) return {std::string(kError), {}};
    const auto host = Unquote(fields[1]);
    const auto port = ParseNumber(fields[2]);
    if (!host || host->empty() || !port || *port < 1 || *port > 65535) {
        return {std::string(kError), {}};
    }
    for (size_t i = 0; i < sessions_.size(); ++i) {
        if (sessions_[i]) continue;
        sessions_[i] = HttpSession{std::string(*host), true};
        const std::string id = std::to_string(i + 1);
        return {Line("+KHTTPCFG: " + id) + std::string(kOk),
                {{httpDelay_, Line("+KHTTP_IND: " + id + ",1")}}};
    }
    return {std::string(kError), {}};  // every session in use
}

// AT+KHTTPGET=<session>,"<path>": the server's response as received, then the marker, then OK.
Response Module::HttpGet(std::string_view args, Clock::time_point) {
    const auto fields = SplitArgs(args);
    HttpSession* session = fields.size() >= 2 ? Session(fields[0]) : nullptr;
    const auto path = fields.size() >= 2 ? Unquote(fields[1]) : std::nullopt;
    if (!session || !session->open || !path) return {std::string(kError), {}};

    const bool found = *path == kTimePath;
    const std::string status = found ? "200 OK" : "404 Not Found";
    const std::string body = found ? TimeLine() + "\r\n" : "Not Found\r\n";
    const std::string indication = "+KHTTP_IND: " + std::string(fields[0]) + ",3,0," +
                                   (found ? "200,\"OK\"" : "404,\"Not Found\"");
    return {
        Line("CONNECT") + HttpResponse(status, body) + std::string(kEndOfData) + std::string(kOk),
        {{httpDelay_, Line(indication)}}};
}

Response Module::HttpClose(std::string_view args, Clock::time_point) {
    HttpSession* session = Session(args);
    if (!session) return {std::string(kError), {}};
    session->open = false;
    return {std::string(kOk), {}};
}

Response Module::HttpDelete(std::string_view args, Clock::time_point) {
    if (!Session(args)) return {std::string(kError), {}};
    sessions_[static_cast<size_t>(*ParseNumber(args)) - 1].reset();
    return {std::string(kOk), {}};
}

}  // namespace karvex::sim
