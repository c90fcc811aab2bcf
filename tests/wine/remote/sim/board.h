// The simulated board, seen from a Windows test under Wine: the same interface as the native
// board's, each call a request to karvex-board-host (tests/wine/board_protocol.h), which runs the
// real board on a pseudo-terminal behind the prefix's dosdevices/comN. The tests' own sources are
// compiled unchanged against it. The host's time stamps come turned into this process's clock.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/board_records.h"

namespace karvex::sim {

class Board {
  public:
    // A fresh board behind the host's COM port. The host runs one board at a time: a second
    // Board replaces the first, whose handle then reaches the new one.
    Board();
    // The board of the outer host when two hosts are nested, for tests of two boards at once.
    struct Outer {};
    explicit Board(Outer);
    ~Board();
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    // \\.\COMn: what the program under test opens.
    std::string DevicePath() const;
    // The board served over the network by a real ser2net on the host's 127.0.0.1, started at the
    // first call: `kind` "rfc2217" or "tcp"; the address, e.g. rfc2217://127.0.0.1:40123.
    std::string NetworkAddress(const std::string& kind) const;

    void SetBehaviour(const std::string& commandPrefix, Behaviour behaviour);
    void ClearBehaviours();
    void Send(std::string_view bytes);
    void SetReading(bool reading);
    void Vanish();
    void Reappear();
    bool Vanished() const;

    std::vector<RxByte> ReceivedBytes() const;
    std::string Received() const;
    std::vector<RxCommand> Commands() const;
    std::vector<TxChunk> Sent() const;
    void ClearRecords();
    bool WaitForReceived(std::string_view needle, milliseconds timeout) const;
    bool WaitForCommands(size_t n, milliseconds timeout) const;

    bool Echo() const;
    std::string ClockValue() const;
    void SetTimeLine(std::string line);
    std::string OwnNumber() const;
    size_t StoredMessages() const;
    bool GpsRunning() const;
    void SetGpsInterval(milliseconds interval);
    void SetNetworkDelay(milliseconds delay);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace karvex::sim
