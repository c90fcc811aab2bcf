#include "sim/at_args.h"

namespace karvex::sim {

std::vector<std::string_view> SplitArgs(std::string_view args) {
    std::vector<std::string_view> fields;
    bool quoted = false;
    size_t start = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == '"') {
            quoted = !quoted;
        } else if (args[i] == ',' && !quoted) {
            fields.push_back(args.substr(start, i - start));
            start = i + 1;
        }
    }
    fields.push_back(args.substr(start));
    return fields;
}

std::optional<std::string_view> Unquote(std::string_view field) {
    while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
    while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
    if (field.size() < 2 || field.front() != '"' || field.back() != '"') return std::nullopt;
    field = field.substr(1, field.size() - 2);
    if (field.find('"') != std::string_view::npos) return std::nullopt;
    return field;
}

std::optional<int> ParseNumber(std::string_view field) {
    if (field.empty() || field.size() > 9) return std::nullopt;
    int value = 0;
    for (char c : field) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

namespace {
char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
}  // namespace

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (Upper(text[i]) != Upper(prefix[i])) return false;
    }
    return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && StartsWithNoCase(a, b);
}

}  // namespace karvex::sim
