// Telnet with the COM port control option, as far as the network port speaks it: the bytes it
// sends (data with 0xFF doubled, option negotiation, COM port requests) and a decoder that splits
// what arrives into data bytes and commands. No I/O here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace karvex::telnet {

inline constexpr uint8_t kIac = 255;
inline constexpr uint8_t kDont = 254;
inline constexpr uint8_t kDo = 253;
inline constexpr uint8_t kWont = 252;
inline constexpr uint8_t kWill = 251;
inline constexpr uint8_t kSb = 250;
inline constexpr uint8_t kSe = 240;

inline constexpr uint8_t kBinary = 0;
inline constexpr uint8_t kSuppressGoAhead = 3;
inline constexpr uint8_t kComPort = 44;

// The COM port option's requests; the server answers each with the same number plus 100.
enum class ComRequest : uint8_t {
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
    PurgeData = 12,
};
inline constexpr uint8_t kServerAnswer = 100;
// Request values: 8 data bits; parity none; one stop bit; no flow control either way; purge the
// server's receive buffer.
inline constexpr uint8_t kDataBits8 = 8;
inline constexpr uint8_t kParityNone = 1;
inline constexpr uint8_t kStopBits1 = 1;
inline constexpr uint8_t kNoFlowControl = 1;
inline constexpr uint8_t kPurgeReceive = 1;

// `data` with every 0xFF doubled, appended to `out`.
void AppendEscaped(std::string& out, std::string_view data);
// IAC `verb` `option`.
std::string Negotiation(uint8_t verb, uint8_t option);
// IAC SB COM-PORT `request` `value` IAC SE, with 0xFF in the value doubled.
std::string ComPortRequest(ComRequest request, std::string_view value);
// A baud rate as the option carries it: four bytes, most significant first.
std::string BaudValue(uint32_t baud);

// A command taken out of the stream: a negotiation (verb WILL/WONT/DO/DONT and its option) or a
// subnegotiation (verb SB, the option, and its payload with doubled 0xFF undone).
struct Command {
    uint8_t verb = 0;
    uint8_t option = 0;
    std::string payload;
};

class Decoder {
  public:
    // Takes bytes from the front of `bytes`, appending data bytes to `data`, up to the end of the
    // next complete command: true with `command` set, or false when `bytes` ran out first. Data
    // and commands thus keep their order in the stream. A command or a doubled 0xFF cut between
    // two calls is completed by the next.
    bool Next(std::string_view& bytes, std::string& data, Command& command);

  private:
    enum class State { Data, Iac, Verb, SbOption, Sb, SbIac };
    State state_ = State::Data;
    Command pending_;
};

}  // namespace karvex::telnet
