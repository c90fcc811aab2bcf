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

    bool IsOpen() const { return master >= 0; }
};

// Opens a new pair; on failure nothing stays open and `error` tells why.
bool OpenPtyPair(PtyPair& pair, std::string& error);
void ClosePtyPair(PtyPair& pair);

}  // namespace karvex::sim
