// CP932 through the API's own conversion, without best-fit.
#include "link/cp932.h"
#include "link/utf16_win.h"
// (keeps this order)
#include <windows.h>

namespace karvex {

namespace {
constexpr UINT kCp932 = 932;
}

bool Cp932Available() {
    return IsValidCodePage(kCp932) != 0;
}

std::string Cp932FromUtf8(std::string_view utf8, bool* unmappable) {
    // Bytes that are not UTF-8 come out as U+FFFD, which CP932 cannot hold either.
    const std::wstring wide = Utf16FromUtf8(utf8);
    std::string out;
    out.reserve(wide.size() * 2);
    bool replaced = false;
    // One code point at a time, so that each character CP932 cannot hold (a surrogate pair
    // included) becomes exactly one '?'. No best-fit mapping: an "é" is not sent as "e".
    for (size_t i = 0; i < wide.size();) {
        const bool pair =
            IS_HIGH_SURROGATE(wide[i]) && i + 1 < wide.size() && IS_LOW_SURROGATE(wide[i + 1]);
        const int len = pair ? 2 : 1;
        if (wide[i] < 0x80) {
            out.push_back(static_cast<char>(wide[i]));
            ++i;
            continue;
        }
        char bytes[8];
        BOOL usedDefault = FALSE;
        const int n = WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, wide.data() + i, len, bytes,
                                          sizeof bytes, "?", &usedDefault);
        if (n <= 0 || usedDefault) {
            out.push_back('?');
            replaced = true;
        } else {
            out.append(bytes, static_cast<size_t>(n));
        }
        i += static_cast<size_t>(len);
    }
    if (unmappable != nullptr) *unmappable = replaced;
    return out;
}

std::string Utf8FromCp932(std::string_view bytes) {
    if (bytes.empty()) return {};
    // Text that decodes whole (the usual case) takes one call.
    const int whole = MultiByteToWideChar(kCp932, MB_ERR_INVALID_CHARS, bytes.data(),
                                          static_cast<int>(bytes.size()), nullptr, 0);
    if (whole > 0) {
        std::wstring wide(static_cast<size_t>(whole), L'\0');
        MultiByteToWideChar(kCp932, MB_ERR_INVALID_CHARS, bytes.data(),
                            static_cast<int>(bytes.size()), wide.data(), whole);
        return Utf8FromUtf16(wide);
    }
    // Otherwise character by character, so that a byte or pair that does not decode becomes
    // U+FFFD and the text after it still decodes.
    std::wstring wide;
    wide.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<BYTE>(bytes[i]);
        const bool pair = IsDBCSLeadByteEx(kCp932, lead) && i + 1 < bytes.size();
        wchar_t ch[2];
        int n = MultiByteToWideChar(kCp932, MB_ERR_INVALID_CHARS, bytes.data() + i, pair ? 2 : 1,
                                    ch, 2);
        size_t used = pair ? 2 : 1;
        if (n <= 0 && pair) {
            used = 1;  // the lead byte alone; what follows it is decoded on its own
        }
        if (n <= 0) {
            ch[0] = 0xFFFD;
            n = 1;
        }
        wide.append(ch, static_cast<size_t>(n));
        i += used;
    }
    return Utf8FromUtf16(wide);
}

}  // namespace karvex
