#include "dialog/log_save.h"

#include <ctime>

#include "link/log_file.h"
#include "link/program_path.h"

namespace karvex {

LogSaver::LogSaver(const TrafficLog& log, std::function<std::string()> portName,
                   std::string firstFolder)
    : log_(log), portName_(std::move(portName)), folder_(std::move(firstFolder)) {}

std::string LogSaver::SuggestedPath() const {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return JoinPath(folder_, LogFileName(portName_(), local));
}

std::string LogSaver::Save(const std::string& path) {
    if (path.empty()) {
        return {};
    }
    if (std::string folder = FolderOf(path); !folder.empty()) {
        folder_ = std::move(folder);
    }
    // What the log holds when the operator confirms: lines that arrived while the file dialog
    // was open are kept too.
    const std::string reason = SaveLogFile(path, log_.Snapshot());
    if (reason.empty()) {
        return {};
    }
    return "ログを保存できませんでした。\n" + path + "\n" + reason;
}

}  // namespace karvex
