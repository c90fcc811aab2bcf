// The traffic log's context menu and its save as both front ends offer them: the texts, the name
// suggested for the file and the message a failed save shows. The menu itself, the file dialog
// and the message box are the toolkit's. No toolkit here.
#pragma once

#include <functional>
#include <string>

#include "link/traffic_log.h"

namespace karvex {

// The menu's entries (UTF-8), in this order, with a separator before the save.
inline constexpr const char* kLogMenuCopy = "コピー";
inline constexpr const char* kLogMenuSelectAll = "すべて選択";
inline constexpr const char* kLogMenuSave = "ログを保存…";

// The file dialog's title and the names of its two file types; each front end writes the
// patterns as its platform does.
inline constexpr const char* kLogSaveTitle = "ログを保存";
inline constexpr const char* kLogFileType = "ログ ファイル";
inline constexpr const char* kAllFileTypes = "すべてのファイル";

// "ログを保存…": offers a file name and writes the log's bytes exactly as logged (CP932, the
// line ends as received) to the file the operator chose.
class LogSaver {
  public:
    // `portName` gives the selected COM port's name ("" when none) for the file name;
    // `firstFolder` is where the first save of a session is offered ("": no folder).
    LogSaver(const TrafficLog& log, std::function<std::string()> portName, std::string firstFolder);

    // "<folder>/karvex-<port>-<yyyyMMdd-HHmmss>.log" at this moment, in the folder the last save
    // went to, else in the first folder.
    std::string SuggestedPath() const;

    // Writes what the log holds now to `path` (UTF-8; empty when the operator cancelled, which
    // does nothing) and offers its folder next time. Empty when it was saved; else the message
    // to show, with the path and the reason. A failed save changes nothing else.
    std::string Save(const std::string& path);

  private:
    const TrafficLog& log_;
    std::function<std::string()> portName_;
    std::string folder_;  // where the next save is offered
};

}  // namespace karvex
