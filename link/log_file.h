// Keeping the traffic log: its default file name and a save that writes exactly the logged bytes.
// No toolkit, so that every front end saves the same file the same way.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace karvex {

// "karvex-<port>-<yyyyMMdd-HHmmss>.log" for the local time `when`, e.g.
// "karvex-COM3-20261207-140512.log"; "karvex-<yyyyMMdd-HHmmss>.log" when no port is selected.
std::string LogFileName(std::string_view portName, const std::tm& when);

// Writes `bytes` unchanged to `path` through a temporary file in the same folder that is synced
// and then renamed over it, so that `path` is always either the old file or the whole new one,
// and a failed save leaves nothing behind. On POSIX a new file is readable by its owner only
// (item 0 logs the password it sends) and a replaced file keeps its permissions but setuid and
// setgid (a symbolic link at `path` is replaced as a missing file would be, its target left
// alone); on Windows the file gets the folder's inherited access rights. `path` is UTF-8 on
// Windows, with backslashes or slashes. Returns an empty string on success, else the reason (the
// system's text for the error, UTF-8 on Windows).
std::string SaveLogFile(const std::string& path, std::string_view bytes);

// A file that grows while a run goes on (karvex-run's traces): its first bytes are saved as
// SaveLogFile saves them (a new file, owner-only on POSIX, a link at the name replaced), and
// then it is only appended to. Each Append hands all its bytes to the system at the end of the
// file, so a program that is killed leaves every append that had returned; Sync makes them
// durable against a crash of the system too. One thread at a time.
class GrowingLogFile {
  public:
    GrowingLogFile() = default;
    ~GrowingLogFile();
    GrowingLogFile(const GrowingLogFile&) = delete;
    GrowingLogFile& operator=(const GrowingLogFile&) = delete;

    // Empty on success, else the reason (as SaveLogFile gives it); nothing is open then.
    std::string Create(const std::string& path, std::string_view first);
    std::string Append(std::string_view bytes);
    std::string Sync();

  private:
#ifdef _WIN32
    void* file_ = nullptr;  // HANDLE
#else
    int fd_ = -1;
#endif
};

}  // namespace karvex
