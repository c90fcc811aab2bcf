// karvex-run's reports as a reader meets them: the HTML report loaded in headless Chromium (its
// DOM after load, and what it wrote to its console), the trace's JSON lines with their bytes.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <vector>

#include "tests/cli/cli_process.h"

namespace karvex::clitest {

struct Page {
    bool loaded = false;
    std::string dom;
    std::vector<std::string>
        console;  // the page's console messages (a blocked fetch, a script error)
};

// Loads `html` in a fresh headless Chromium with no network, no sandbox (CI runs as root) and a
// profile of its own in `scratch`.
inline Page LoadInChromium(const fs::path& html, const fs::path& scratch) {
    const fs::path profile = scratch / "chromium-profile";
    const fs::path dom = scratch / "dom.html", log = scratch / "chromium.log";
    const std::string command =
        "timeout 60 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
        "--disable-background-networking --disable-component-update --disable-sync "
        "--enable-logging=stderr --v=0 --user-data-dir='" +
        profile.string() + "' --dump-dom 'file://" + html.string() + "' >'" + dom.string() +
        "' 2>'" + log.string() + "'";
    Page page;
    page.loaded = std::system(command.c_str()) == 0;
    page.dom = ReadAll(dom);
    for (const std::string& line : Lines(ReadAll(log))) {
        if (line.find(":CONSOLE") != std::string::npos) page.console.push_back(line);
    }
    return page;
}

// The attributes of each element <tag ...> of `markup` whose class is `cls`, in document order.
inline std::vector<std::map<std::string, std::string>> Elements(const std::string& markup,
                                                                const std::string& tag,
                                                                const std::string& cls) {
    std::vector<std::map<std::string, std::string>> found;
    const std::regex element("<" + tag + "\\b([^>]*)>");
    const std::regex attribute("([\\w-]+)=\"([^\"]*)\"");
    for (auto e = std::sregex_iterator(markup.begin(), markup.end(), element);
         e != std::sregex_iterator(); ++e) {
        std::map<std::string, std::string> attributes;
        const std::string text = (*e)[1];
        for (auto a = std::sregex_iterator(text.begin(), text.end(), attribute);
             a != std::sregex_iterator(); ++a) {
            attributes[(*a)[1]] = (*a)[2];
        }
        if (attributes["class"] == cls) found.push_back(std::move(attributes));
    }
    return found;
}

// The lines of a trace file, parsed.
inline std::vector<nlohmann::json> TraceRecords(const fs::path& file) {
    std::vector<nlohmann::json> records;
    for (const std::string& line : Lines(ReadAll(file))) {
        records.push_back(nlohmann::json::parse(line));
    }
    return records;
}

// A trace string's bytes: each code point of the decoded string is one byte.
inline std::string Bytes(const nlohmann::json& text) {
    std::string bytes;
    const std::string utf8 = text.get<std::string>();
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else {  // U+0080..U+00FF: two bytes in UTF-8
            bytes += static_cast<char>(((c & 0x03) << 6) | (utf8[++i] & 0x3F));
        }
    }
    return bytes;
}

}  // namespace karvex::clitest
