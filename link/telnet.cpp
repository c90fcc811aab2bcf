#include "link/telnet.h"

namespace karvex::telnet {

void AppendEscaped(std::string& out, std::string_view data) {
    for (const char c : data) {
        out.push_back(c);
        if (static_cast<uint8_t>(c) == kIac) out.push_back(c);
    }
}

std::string Negotiation(uint8_t verb, uint8_t option) {
    return {static_cast<char>(kIac), static_cast<char>(verb), static_cast<char>(option)};
}

std::string ComPortRequest(ComRequest request, std::string_view value) {
    std::string out = {static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(kComPort),
                       static_cast<char>(request)};
    AppendEscaped(out, value);
    out.push_back(static_cast<char>(kIac));
    out.push_back(static_cast<char>(kSe));
    return out;
}

std::string BaudValue(uint32_t baud) {
    return {static_cast<char>(baud >> 24), static_cast<char>(baud >> 16),
            static_cast<char>(baud >> 8), static_cast<char>(baud)};
}

bool Decoder::Next(std::string_view& bytes, std::string& data, Command& command) {
    while (!bytes.empty()) {
        const char c = bytes.front();
        bytes.remove_prefix(1);
        const auto b = static_cast<uint8_t>(c);
        switch (state_) {
            case State::Data:
                if (b == kIac) {
                    state_ = State::Iac;
                } else {
                    data.push_back(c);
                }
                break;
            case State::Iac:
                if (b == kIac) {
                    data.push_back(c);  // a doubled 0xFF is one data byte
                    state_ = State::Data;
                } else if (b >= kWill && b <= kDont) {
                    pending_ = Command{b, 0, {}};
                    state_ = State::Verb;
                } else if (b == kSb) {
                    pending_ = Command{kSb, 0, {}};
                    state_ = State::SbOption;
                } else {
                    state_ = State::Data;  // NOP, GA, DM and the like carry nothing for us
                }
                break;
            case State::Verb:
                pending_.option = b;
                command = std::move(pending_);
                state_ = State::Data;
                return true;
            case State::SbOption:
                pending_.option = b;
                state_ = State::Sb;
                break;
            case State::Sb:
                if (b == kIac) {
                    state_ = State::SbIac;
                } else {
                    pending_.payload.push_back(c);
                }
                break;
            case State::SbIac:
                if (b == kIac) {
                    pending_.payload.push_back(c);
                    state_ = State::Sb;
                } else {
                    // IAC SE ends the subnegotiation; any other command ends it as well.
                    command = std::move(pending_);
                    state_ = State::Data;
                    return true;
                }
                break;
        }
    }
    return false;
}

}  // namespace karvex::telnet
