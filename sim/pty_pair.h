// A pseudo-terminal pair in raw mode: the master side is the board, the slave side the device
// the program opens.
#pragma once

#include <string>

namespace karvex::sim {

struct PtyPair {
    int master = -1;  // non-blocking, close-on-exec
    // A slave descriptor the board keeps open and never reads: while the program has the device
    // closed, the master then sees no hang-up (which poll would report without end).
    int keeper = -1;
    std::string path;  // the slave device, e.g. /dev/pts/7
    // Readable (inotify) when someone closes the slave. The keeper holds the terminal open, so
    // the kernel never clears an exclusive-use flag (TIOCEXCL) that the program set; the board
    // clears it on each close (ReleaseExclusive), as the last close of a real device would.
    int closes = -1;

    bool IsOpen() const { return master >= 0; }
};

// Opens a new pair; on failure nothing stays open and `error` tells why.
bool OpenPtyPair(PtyPair& pair, std::string& error);
void ClosePtyPair(PtyPair& pair);
// Drains the close notifications and makes the device openable again for everyone.
void ReleaseExclusive(const PtyPair& pair);

}  // namespace karvex::sim
