// Turns the traffic log's bytes into display text, chunk by chunk.
#pragma once

#include <QString>
#include <QStringDecoder>

#include <string_view>

namespace karvex {

// CP932 is decoded statefully, so a double-byte character split between two chunks still comes
// out whole. Line breaks are the LF of CR LF; a CR on its own (as after an echoed command) shows
// nothing, as in the platform's edit control. Other control bytes, which the module never sends
// on purpose (line noise), show as U+FFFD so that they cannot disturb the view's layout.
class LogTextDecoder {
  public:
    LogTextDecoder();
    QString Decode(std::string_view bytes);
    void Reset();

  private:
    QStringDecoder decoder_;
};

}  // namespace karvex
