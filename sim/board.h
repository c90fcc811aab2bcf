// The simulated evaluation board: a pseudo-terminal pair whose slave side the program opens like a
// serial device, and a thread that answers on the master side the way the board's module does.
//
// Every received byte is recorded with a monotonic time stamp, and so is every chunk sent. Per
// command, a behaviour can replace the normal answer (late, slow, silent, ERROR, garbage, ...).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/board_records.h"

namespace karvex::sim {

class Board {
  public:
    Board();  // opens the pair in raw mode and starts answering
    ~Board();
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    // The slave device the program opens, e.g. /dev/pts/7.
    std::string DevicePath() const;
    // Places (or re-points) <dir>/dosdevices/com<n> at the device; false on failure.
    bool LinkCom(const std::string& dir, int n);

    // Behaviour for commands whose text starts with `commandPrefix` (longest prefix wins).
    void SetBehaviour(const std::string& commandPrefix, Behaviour behaviour);
    void ClearBehaviours();

    // Sends bytes to the program now, unsolicited.
    void Send(std::string_view bytes);
    // Stops or resumes reading what the program writes (to fill the device's buffer); in force
    // when it returns: the board reads nothing more once it has been told to stop.
    void SetReading(bool reading);

    // The device disappears (master closed: the program's reads and writes fail) / comes back as a
    // new device, with any dosdevices link re-pointed at it.
    void Vanish();
    void Reappear();
    bool Vanished() const;

    // What arrived, with time stamps.
    std::vector<RxByte> ReceivedBytes() const;
    std::string Received() const;
    std::vector<RxCommand> Commands() const;
    std::vector<TxChunk> Sent() const;
    void ClearRecords();
    // Waits until `needle` has arrived (anywhere in Received()).
    bool WaitForReceived(std::string_view needle, milliseconds timeout) const;
    // Waits until at least `n` commands have arrived.
    bool WaitForCommands(size_t n, milliseconds timeout) const;

    // Module state.
    bool Echo() const;
    std::string ClockValue() const;  // what AT+CCLK? reports now, e.g. 26/03/07,09:05:30+09
    // The time line the time service serves ("Sat Mar  7 09:05:30 2026 JST"); empty: the current
    // time in Japan.
    void SetTimeLine(std::string line);
    std::string OwnNumber() const;  // an SMS sent to this number arrives in the store
    size_t StoredMessages() const;
    bool GpsRunning() const;
    // Interval of the NMEA sentences while GPS runs (default 1000 ms; 0: as fast as possible).
    void SetGpsInterval(milliseconds interval);
    // Delay of the network's answer to an SMS (default 300 ms) and of +KHTTP_IND (default 200 ms).
    void SetNetworkDelay(milliseconds delay);

    // Called on the board's thread with every chunk received (true) or sent (false), e.g. to log
    // the traffic. It must not call back into the board.
    using TrafficObserver = std::function<void(bool received, std::string_view bytes)>;
    void SetObserver(TrafficObserver observer);
    // Records are kept by default; a long-running board turns them off to bound its memory.
    void SetRecording(bool recording);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace karvex::sim
