#include "dialog/log_text.h"

namespace karvex {

namespace {

bool IsLead(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool IsTrail(unsigned char b) {
    return b >= 0x40 && b <= 0xFC && b != 0x7F;
}

bool IsControl(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

}  // namespace

LogText::LogText(Cp932CharDecoder decoder)
    : decoder_(decoder), singles_(256, 0), pairs_(256 * 256, 0) {}

char16_t LogText::Decoded(std::string_view character, char16_t& cached) {
    if (cached == 0) {
        const char16_t c = decoder_ != nullptr ? decoder_(character) : kReplacement;
        // A converter that gives a control character (some do for bytes CP932 leaves undefined)
        // would let line noise through after all.
        cached = c == 0 || IsControl(c) ? kReplacement : c;
    }
    return cached;
}

void LogText::Line(std::string_view bytes, bool complete, std::u16string& out) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == '\r') {
            continue;
        }
        if (b == '\t') {
            out += u'\t';
        } else if (b < 0x80) {
            out += IsControl(b) ? kReplacement : static_cast<char16_t>(b);
        } else if (!IsLead(b)) {
            out += Decoded(bytes.substr(i, 1), singles_[b]);
        } else if (i + 1 == bytes.size()) {
            if (complete) out += kReplacement;  // else: its trail byte is still to come
        } else if (const auto t = static_cast<unsigned char>(bytes[i + 1]); IsTrail(t)) {
            out += Decoded(bytes.substr(i, 2), pairs_[b * 256 + t]);
            ++i;
        } else {
            out += kReplacement;  // a stray lead byte; the byte after it is read on its own
        }
    }
}

}  // namespace karvex
