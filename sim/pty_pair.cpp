#include "sim/pty_pair.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace karvex::sim {

namespace {
bool MakeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

std::string Failed(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}
}  // namespace

bool OpenPtyPair(PtyPair& pair, std::string& error) {
    PtyPair opened;
    opened.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (opened.master < 0) {
        error = Failed("posix_openpt");
        return false;
    }
    char name[128];
    if (grantpt(opened.master) != 0 || unlockpt(opened.master) != 0 ||
        ptsname_r(opened.master, name, sizeof name) != 0) {
        error = Failed("pseudo-terminal set-up");
        ClosePtyPair(opened);
        return false;
    }
    opened.path = name;
    opened.keeper = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (opened.keeper < 0) {
        error = Failed("open slave");
        ClosePtyPair(opened);
        return false;
    }
    opened.closes = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (opened.closes < 0 ||
        inotify_add_watch(opened.closes, name, IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        error = Failed("inotify");
        ClosePtyPair(opened);
        return false;
    }
    const int flags = fcntl(opened.master, F_GETFL);
    if (flags < 0 || fcntl(opened.master, F_SETFL, flags | O_NONBLOCK) != 0 ||
        !MakeRaw(opened.keeper) || !MakeRaw(opened.master)) {
        error = Failed("raw mode");
        ClosePtyPair(opened);
        return false;
    }
    pair = std::move(opened);
    return true;
}

void ClosePtyPair(PtyPair& pair) {
    if (pair.closes >= 0) close(pair.closes);
    if (pair.keeper >= 0) close(pair.keeper);
    if (pair.master >= 0) close(pair.master);
    pair.keeper = -1;
    pair.master = -1;
    pair.closes = -1;
}

void ReleaseExclusive(const PtyPair& pair) {
    char events[1024];
    while (read(pair.closes, events, sizeof events) > 0) {
    }
    if (pair.keeper >= 0) ioctl(pair.keeper, TIOCNXCL);
}

}  // namespace karvex::sim
