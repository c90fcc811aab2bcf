#include "dialog/settings_file.h"

#include <cstdlib>
#include <iterator>

#include "link/ascii_trim.h"
#include "link/cp932.h"
#include "link/regular_file.h"

namespace karvex {

namespace {

constexpr int kLineCount = 6;

// Removes the line end: the LF and a CR just before it. A last line without LF keeps all its bytes.
std::string_view WithoutLineEnd(std::string_view line) {
    if (line.ends_with('\n')) {
        line.remove_suffix(1);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
    }
    return line;
}

// A field's text cannot hold a NUL; as in a C string, it ends the value.
std::string_view UpToNul(std::string_view bytes) {
    return bytes.substr(0, bytes.find('\0'));
}

// `text` without the characters at either end for which `strip` holds.
template <typename Predicate>
std::string_view TrimmedBy(std::string_view text, Predicate strip) {
    while (!text.empty() && strip(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && strip(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// A line break inside a value would end its line early and shift every later value by one line,
// so that the next load would lose the last one; it is stored as a space instead.
std::string OneLine(std::string_view bytes) {
    std::string line(bytes);
    for (char& c : line) {
        if (c == '\n') {
            c = ' ';
        }
    }
    return line;
}

}  // namespace

int ParseSettings(std::string_view bytes, Settings& out, SettingsText text) {
    // Every line is taken whole, however long, so a long value never shifts the ones after it.
    std::string lines[kLineCount];
    for (std::string& line : lines) {
        // The end of the bytes: even an empty line has its LF.
        if (bytes.empty()) {
            return kSettingsTooShort;
        }
        const size_t lf = bytes.find('\n');
        const size_t length = lf == std::string_view::npos ? bytes.size() : lf + 1;
        line = UpToNul(WithoutLineEnd(bytes.substr(0, length)));
        bytes.remove_prefix(length);
    }

    Settings loaded;
    // Only the first character counts; "0", an empty line or anything else is the first model.
    loaded.tolva2 = lines[0].starts_with('1');
    // strtol takes leading white space, a sign and digits, and gives 0 when there are none; an
    // overflow gives LONG_MAX or LONG_MIN, which select no port either.
    loaded.port = std::strtol(lines[1].c_str(), nullptr, 10);
    std::string* texts[] = {&loaded.apn, &loaded.user, &loaded.password, &loaded.phone};
    for (size_t i = 0; i < std::size(texts); ++i) {
        std::string& line = lines[i + 2];
        *texts[i] = text == SettingsText::kUtf8 ? Utf8FromCp932(line) : std::move(line);
    }
    out = std::move(loaded);
    return 0;
}

int LoadSettings(std::string_view path, Settings& out, SettingsText text) {
    const std::string unquoted(TrimmedBy(path, [](char c) { return c == '"'; }));
    std::string bytes;
    if (unquoted.empty() || !ReadRegularFile(unquoted, bytes)) {
        return kSettingsCannotOpen;
    }
    return ParseSettings(bytes, out, text);
}

std::string SettingsFileBytes(const Settings& values) {
    std::string content = values.tolva2 ? "1\r\n" : "0\r\n";
    content += std::to_string(values.port) + "\r\n";
    for (const std::string* text : {&values.apn, &values.user, &values.password, &values.phone}) {
        content += OneLine(TrimAsciiSpace(Cp932FromUtf8(*text))) + "\r\n";
    }
    return content;
}

}  // namespace karvex
