// CP932 through iconv. glibc's CP932 is Microsoft's table, but its encoder also takes a few
// characters one way only (U+00A5 to 0x5C, U+203E to 0x7E, the JIS forms of the wave dash and a
// few symbols): each character is therefore encoded on its own and kept only when its bytes
// decode back to it, as the Windows encoder without best-fit keeps it.
#include <iconv.h>

#include <cerrno>

#include "link/cp932.h"

namespace karvex {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// One converter each way per thread: a converter keeps state and cannot be shared, and opening
// one for every call would cost more than the conversion.
struct Converters {
    iconv_t encode = iconv_open("CP932", "UTF-8");
    iconv_t decode = iconv_open("UTF-8", "CP932");
    Converters() = default;
    Converters(const Converters&) = delete;
    Converters& operator=(const Converters&) = delete;
    ~Converters() {
        if (encode != kNoConverter) iconv_close(encode);
        if (decode != kNoConverter) iconv_close(decode);
    }
};

Converters& ThreadConverters() {
    thread_local Converters converters;
    return converters;
}

// Converts as much of `in` as `cd` takes, appending to `out` and removing it from `in`. False
// when it stopped at a sequence that does not convert (or is cut off at the end).
bool Convert(iconv_t cd, std::string_view& in, std::string& out) {
    if (cd == kNoConverter) return in.empty();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // a fresh start
    char buffer[256];
    while (!in.empty()) {
        char* from = const_cast<char*>(in.data());
        size_t left = in.size();
        char* to = buffer;
        size_t room = sizeof buffer;
        const size_t result = iconv(cd, &from, &left, &to, &room);
        out.append(buffer, static_cast<size_t>(to - buffer));
        in.remove_prefix(in.size() - left);
        if (result == static_cast<size_t>(-1) && errno != E2BIG) return false;
    }
    return true;
}

// The length of the UTF-8 character that starts at `text[at]` when its bytes are a lead byte and
// the trail bytes it asks for; 0 otherwise (what the sequence means is left to the converter).
size_t CharacterLength(std::string_view text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
    }
    return length;
}

// The CP932 bytes of one non-ASCII character, when it has a form that decodes back to it.
bool EncodeOne(std::string_view character, std::string& out) {
    Converters& c = ThreadConverters();
    std::string bytes;
    std::string_view in = character;
    if (!Convert(c.encode, in, bytes) || bytes.empty()) return false;
    std::string back;
    in = bytes;
    if (!Convert(c.decode, in, back) || back != character) return false;
    out += bytes;
    return true;
}

}  // namespace

bool Cp932Available() {
    const Converters& c = ThreadConverters();
    return c.encode != kNoConverter && c.decode != kNoConverter;
}

std::string Cp932FromUtf8(std::string_view utf8, bool* unmappable) {
    std::string out;
    out.reserve(utf8.size());
    bool replaced = false;
    for (size_t at = 0; at < utf8.size();) {
        if (static_cast<unsigned char>(utf8[at]) < 0x80) {
            out.push_back(utf8[at++]);
            continue;
        }
        // A byte that starts no character is one '?' and takes nothing after it along.
        const size_t length = CharacterLength(utf8, at);
        if (length == 0 || !EncodeOne(utf8.substr(at, length), out)) {
            out.push_back('?');
            replaced = true;
        }
        at += length == 0 ? 1 : length;
    }
    if (unmappable != nullptr) *unmappable = replaced;
    return out;
}

std::string Utf8FromCp932(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    Converters& c = ThreadConverters();
    if (c.decode == kNoConverter) {
        for (const char byte : bytes) {
            if (static_cast<unsigned char>(byte) < 0x80) {
                out.push_back(byte);
            } else {
                out += kReplacement;
            }
        }
        return out;
    }
    while (!Convert(c.decode, bytes, out)) {
        // The converter stopped before the byte it could not take: that byte alone is replaced.
        out += kReplacement;
        bytes.remove_prefix(1);
    }
    return out;
}

}  // namespace karvex
