// How the traffic log's bytes look on screen, one line at a time, the same on every front end.
//
// Lines are broken at each LF (never the second byte of a CP932 character, so an LF always ends
// a line). A CR shows nothing: the CR of CR LF, and a CR on its own (as after an echoed command),
// as in the platform's edit control. Other control bytes, which the module never sends on purpose
// (line noise), show as U+FFFD so that they cannot disturb the layout; a tab stays a tab. The rest
// is CP932: ASCII as it is, other characters through the platform's own converter.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace karvex {

// The platform's CP932 conversion of one character of one or two bytes (never ASCII); U+FFFD when
// the bytes are no character. Asked once per character code.
using Cp932CharDecoder = char16_t (*)(std::string_view character);

class LogText {
  public:
    explicit LogText(Cp932CharDecoder decoder);

    // Appends to `out` what one line shows. `bytes` is the line without its LF. `complete` is
    // false for the log's last line, which may still grow: a lead byte at its end then waits for
    // its trail byte and shows nothing yet; in a complete line it shows as U+FFFD.
    void Line(std::string_view bytes, bool complete, std::u16string& out);

    static constexpr char16_t kReplacement = 0xFFFD;

  private:
    char16_t Decoded(std::string_view character, char16_t& cached);

    Cp932CharDecoder decoder_;
    std::vector<char16_t> singles_;  // by byte; 0 = not asked yet
    std::vector<char16_t> pairs_;    // by lead and trail byte; 0 = not asked yet
};

}  // namespace karvex
