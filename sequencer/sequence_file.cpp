#include "sequencer/sequence_file.h"

// toml++ without exceptions (a parse reports its error as a value), header-only, parser only.
#define TOML_EXCEPTIONS 0
#define TOML_HEADER_ONLY 1
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

namespace karvex {
namespace {

namespace fs = std::filesystem;

struct Name {
    std::string_view text;
    Entry entry;
};
// The window's order, which is also the order its fields are checked and shown in.
constexpr std::array<Name, 5> kFieldNames = {{{"apn", Entry::Apn},
                                              {"user", Entry::User},
                                              {"password", Entry::Password},
                                              {"phone", Entry::Phone},
                                              {"sms-number", Entry::SmsNumber}}};
constexpr std::string_view kFieldList = "apn, user, password, phone, sms-number";

constexpr std::array<std::string_view, 5> kFileKeys = {"title", "fields", "models", "trim", "step"};
constexpr std::array<std::string_view, 7> kStepKeys = {"send", "pause", "timeout", "expect",
                                                       "fail", "wait",  "models"};

std::optional<Entry> FieldNamed(std::string_view name) {
    for (const Name& n : kFieldNames) {
        if (n.text == name) return n.entry;
    }
    return std::nullopt;
}

template <size_t N>
std::string Listed(const std::array<std::string_view, N>& names) {
    std::string list;
    for (const std::string_view name : names)
        list += (list.empty() ? "" : ", ") + std::string(name);
    return list;
}

// The code point that starts at `text[at]` and its length in bytes (the text is valid UTF-8:
// the parser refuses anything else).
std::pair<char32_t, size_t> CodePointAt(std::string_view text, size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length && at + i < text.size(); ++i) {
        value = (value << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
    }
    return {value, length};
}

// Collects the first thing wrong in a file; every check returns false once there is one.
class Checker {
  public:
    Checker(std::string path, const Cp932Encoder& toCp932)
        : path_(std::move(path)), toCp932_(toCp932) {}

    bool Fail(const toml::source_region& where, std::string what) {
        if (!error_) {
            const bool known = where.begin.line > 0;
            error_ = SequenceError{path_, known ? static_cast<uint32_t>(where.begin.line) : 1,
                                   known ? static_cast<uint32_t>(where.begin.column) : 1,
                                   std::move(what)};
        }
        return false;
    }
    const std::optional<SequenceError>& Error() const { return error_; }

    // No key beyond `allowed`: a misspelt key must not silently drop what it was meant to say.
    template <size_t N>
    bool OnlyKeys(const toml::table& table, const std::array<std::string_view, N>& allowed,
                  std::string_view where) {
        const toml::key* first = nullptr;
        for (auto&& [key, node] : table) {
            if (std::find(allowed.begin(), allowed.end(), key.str()) != allowed.end()) continue;
            const auto at = [](const toml::key* k) {
                return std::pair(k->source().begin.line, k->source().begin.column);
            };
            if (first == nullptr || at(&key) < at(first)) first = &key;
        }
        if (first == nullptr) return true;
        return Fail(first->source(), "unknown key \"" + std::string(first->str()) + "\" " +
                                         std::string(where) + " (" + Listed(allowed) + ")");
    }

    // `text` as CP932, with control bytes other than `allowed` refused.
    std::optional<std::string> Cp932(const toml::node& node, std::string_view key,
                                     std::string_view text, std::string_view allowed) {
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if ((byte < 0x20 || byte == 0x7F) && allowed.find(c) == std::string_view::npos) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "0x%02X", byte);
                Fail(node.source(), std::string(key) + " holds the control byte " + hex +
                                        (key == "send" ? ", which a command never sends (only "
                                                         "0x1A, which ends an SMS text)"
                                                       : ""));
                return std::nullopt;
            }
        }
        std::optional<std::string> bytes = toCp932_(text);
        if (bytes) return bytes;
        // Name the first character that cannot go: CP932 has no state, so one at a time is exact.
        for (size_t at = 0; at < text.size();) {
            const auto [value, length] = CodePointAt(text, at);
            if (!toCp932_(text.substr(at, length))) {
                char code[16];
                std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(value));
                Fail(node.source(), std::string(key) + " holds \"" +
                                        std::string(text.substr(at, length)) + "\" (" + code +
                                        "), which CP932 cannot hold");
                return std::nullopt;
            }
            at += length;
        }
        Fail(node.source(), std::string(key) + " cannot be converted to CP932");
        return std::nullopt;
    }

    std::optional<std::string_view> String(const toml::node& node, std::string_view key) {
        if (const auto* s = node.as_string()) return std::string_view(s->get());
        Fail(node.source(), std::string(key) + " must be a text in quotes");
        return std::nullopt;
    }

    std::optional<uint32_t> Milliseconds(const toml::node& node, std::string_view key) {
        const auto* n = node.as_integer();
        if (n == nullptr) {
            Fail(node.source(), std::string(key) + " must be a whole number of milliseconds");
            return std::nullopt;
        }
        if (n->get() < 1 || n->get() > kMaxStepMs) {
            Fail(node.source(), std::string(key) + " must be 1 to " + std::to_string(kMaxStepMs) +
                                    " ms, not " + std::to_string(n->get()));
            return std::nullopt;
        }
        return static_cast<uint32_t>(n->get());
    }

    std::optional<bool> Boolean(const toml::node& node, std::string_view key) {
        if (const auto* b = node.as_boolean()) return b->get();
        Fail(node.source(), std::string(key) + " must be true or false");
        return std::nullopt;
    }

    // A list of texts (as they stand in the file).
    std::optional<std::vector<std::pair<std::string_view, const toml::node*>>> Strings(
        const toml::node& node, std::string_view key) {
        const auto* array = node.as_array();
        if (array == nullptr) {
            Fail(node.source(), std::string(key) + " must be a list of texts, e.g. [\"a\", \"b\"]");
            return std::nullopt;
        }
        std::vector<std::pair<std::string_view, const toml::node*>> out;
        for (const toml::node& element : *array) {
            const auto text = String(element, key);
            if (!text) return std::nullopt;
            out.emplace_back(*text, &element);
        }
        return out;
    }

    std::optional<uint8_t> Models(const toml::node& node) {
        const auto names = Strings(node, "models");
        if (!names) return std::nullopt;
        uint8_t models = 0;
        for (const auto& [name, element] : *names) {
            if (name == "tolva-1") {
                models |= kModelTolva1;
            } else if (name == "tolva-2") {
                models |= kModelTolva2;
            } else {
                Fail(element->source(),
                     "unknown model \"" + std::string(name) + "\" (tolva-1, tolva-2)");
                return std::nullopt;
            }
        }
        if (models == 0) {
            Fail(node.source(), "models must name tolva-1, tolva-2 or both");
            return std::nullopt;
        }
        return models;
    }

    // An expected or failure reply: as the monitor compares it, in CP932.
    std::optional<std::string> Reply(const toml::node& node, std::string_view key,
                                     std::string_view text) {
        if (text.empty()) {
            Fail(node.source(), std::string(key) + " must not be empty" +
                                    (key == "expect" ? " (leave it out for the default \"OK\")"
                                                     : " (it would match every line)"));
            return std::nullopt;
        }
        std::optional<std::string> bytes = Cp932(node, key, text, "\t\r\n");
        if (bytes && bytes->size() > kMaxReplyBytes) {
            Fail(node.source(), std::string(key) + " is " + std::to_string(bytes->size()) +
                                    " bytes in CP932; a reply text holds at most " +
                                    std::to_string(kMaxReplyBytes));
            return std::nullopt;
        }
        return bytes;
    }

    // A command with its placeholders: the pieces, and the entries named in `named`.
    bool Send(const toml::node& node, std::string_view text, SequenceStep& step,
              std::vector<std::pair<Entry, toml::source_region>>& named) {
        if (text.empty()) return Fail(node.source(), "send is empty");
        if (text.front() == '*') {
            return Fail(node.source(), "send must not begin with '*' (that marks a pause)");
        }
        std::string literal;
        size_t length = 0;
        const auto flush = [&]() {
            if (literal.empty()) return true;
            const std::optional<std::string> bytes = Cp932(node, "send", literal, "\x1A");
            if (!bytes) return false;
            length += bytes->size();
            step.send.push_back({*bytes, std::nullopt});
            literal.clear();
            return true;
        };
        for (size_t at = 0; at < text.size(); ++at) {
            const bool doubled = at + 1 < text.size() && text[at + 1] == text[at];
            if (text[at] != '{' || doubled) {
                literal += text[at];
                if (doubled && (text[at] == '{' || text[at] == '}')) ++at;  // "{{" is "{"
                continue;
            }
            const size_t close = text.find('}', at);
            if (close == std::string_view::npos) {
                return Fail(node.source(),
                            "send has a '{' that opens no placeholder (write {{ for a brace)");
            }
            const std::string_view name = text.substr(at + 1, close - at - 1);
            const std::optional<Entry> entry = FieldNamed(name);
            if (!entry) {
                return Fail(node.source(), "unknown placeholder {" + std::string(name) + "} (" +
                                               std::string(kFieldList) + ")");
            }
            if (at == 0) {
                // The runner takes a command that is empty or begins with '*' for the end of the
                // list or a pause; an entry in front could make it either.
                return Fail(node.source(), "send must begin with text, not with a placeholder");
            }
            if (!flush()) return false;
            step.send.push_back({{}, *entry});
            named.emplace_back(*entry, node.source());
            at = close;
        }
        if (!flush()) return false;
        if (length >= kCommandFieldSize) {
            return Fail(node.source(), "send is " + std::to_string(length) +
                                           " bytes in CP932 even with empty fields; a command "
                                           "holds at most " +
                                           std::to_string(kCommandFieldSize - 1));
        }
        return true;
    }

  private:
    std::string path_;
    const Cp932Encoder& toCp932_;
    std::optional<SequenceError> error_;
};

// A pause sends nothing and a step not waited on judges nothing: these keys would have no use.
constexpr std::array<std::string_view, 4> kWaitKeys = {"timeout", "expect", "fail", "wait"};

bool ParseStep(Checker& check, const toml::table& table, SequenceStep& step,
               std::vector<std::pair<Entry, toml::source_region>>& named) {
    if (!check.OnlyKeys(table, kStepKeys, "in [[step]]")) return false;
    const toml::node* send = table.get("send");
    const toml::node* pause = table.get("pause");
    if (send == nullptr && pause == nullptr) {
        return check.Fail(table.source(), "a step needs send (a command) or pause (a delay)");
    }
    if (send != nullptr && pause != nullptr) {
        return check.Fail(pause->source(), "a step has send or pause, not both");
    }
    if (const toml::node* models = table.get("models")) {
        const auto m = check.Models(*models);
        if (!m) return false;
        step.models = *m;
    }
    if (pause != nullptr) {
        for (const std::string_view key : kWaitKeys) {
            if (const toml::node* extra = table.get(key)) {
                return check.Fail(extra->source(), "a pause sends nothing: " + std::string(key) +
                                                       " belongs to a step with send");
            }
        }
        const auto ms = check.Milliseconds(*pause, "pause");
        if (!ms) return false;
        step.pause = true;
        step.timeout = *ms;
        return true;
    }
    const auto text = check.String(*send, "send");
    if (!text || !check.Send(*send, *text, step, named)) return false;
    bool waited = true;
    if (const toml::node* wait = table.get("wait")) {
        const auto w = check.Boolean(*wait, "wait");
        if (!w) return false;
        waited = *w;
    }
    if (!waited) {
        for (const std::string_view key : {"timeout", "expect", "fail"}) {
            if (const toml::node* extra = table.get(key)) {
                return check.Fail(extra->source(), "wait = false: the step is not waited on, so " +
                                                       std::string(key) + " has no use");
            }
        }
        step.timeout = kNoWait;
        return true;
    }
    if (const toml::node* timeout = table.get("timeout")) {
        const auto ms = check.Milliseconds(*timeout, "timeout");
        if (!ms) return false;
        step.timeout = *ms;
    }
    if (const toml::node* expect = table.get("expect")) {
        const auto t = check.String(*expect, "expect");
        if (!t) return false;
        const auto bytes = check.Reply(*expect, "expect", *t);
        if (!bytes) return false;
        step.expected = *bytes;
    }
    if (const toml::node* fail = table.get("fail")) {
        const auto texts = check.Strings(*fail, "fail");
        if (!texts) return false;
        for (const auto& [t, element] : *texts) {
            const auto bytes = check.Reply(*element, "fail", t);
            if (!bytes) return false;
            step.failures.push_back(*bytes);
        }
    }
    return true;
}

bool ParseFile(Checker& check, const toml::table& root, Sequence& seq) {
    if (!check.OnlyKeys(root, kFileKeys, "at the top of the file")) return false;

    const toml::node* title = root.get("title");
    if (title == nullptr) return check.Fail(root.source(), "title is missing");
    const auto titleText = check.String(*title, "title");
    if (!titleText) return false;
    if (titleText->empty()) return check.Fail(title->source(), "title is empty");
    if (!check.Cp932(*title, "title", *titleText, {})) return false;
    seq.title = *titleText;

    std::vector<std::pair<Entry, toml::source_region>> named;
    if (const toml::node* fields = root.get("fields")) {
        const auto names = check.Strings(*fields, "fields");
        if (!names) return false;
        for (const auto& [name, element] : *names) {
            const std::optional<Entry> entry = FieldNamed(name);
            if (!entry) {
                return check.Fail(element->source(), "unknown field \"" + std::string(name) +
                                                         "\" (" + std::string(kFieldList) + ")");
            }
            named.emplace_back(*entry, element->source());
        }
    }
    if (const toml::node* models = root.get("models")) {
        const auto m = check.Models(*models);
        if (!m) return false;
        seq.models = *m;
    }
    if (const toml::node* trim = root.get("trim")) {
        const auto t = check.Boolean(*trim, "trim");
        if (!t) return false;
        seq.trim = *t;
    }

    const toml::node* steps = root.get("step");
    if (steps == nullptr) return check.Fail(root.source(), "the file has no [[step]]");
    const toml::array* list = steps->as_array();
    if (list == nullptr || !list->is_array_of_tables()) {
        return check.Fail(steps->source(), "step must be written as [[step]] tables");
    }
    for (const toml::node& node : *list) {
        if (!ParseStep(check, *node.as_table(), seq.steps.emplace_back(), named)) return false;
    }

    // The fields in the window's order. Phone and SMS number are labelled by the one item label,
    // so a sequence uses at most one of them.
    for (const Name& n : kFieldNames) {
        const auto it = std::find_if(named.begin(), named.end(),
                                     [&](const auto& e) { return e.first == n.entry; });
        if (it != named.end()) seq.fields.push_back(n.entry);
    }
    const auto phone = std::find_if(named.begin(), named.end(),
                                    [](const auto& e) { return e.first == Entry::Phone; });
    const auto number = std::find_if(named.begin(), named.end(),
                                     [](const auto& e) { return e.first == Entry::SmsNumber; });
    if (phone != named.end() && number != named.end()) {
        return check.Fail(std::max(phone, number)->second,
                          "phone and sms-number cannot both be used: the window has one label for "
                          "the two");
    }
    return true;
}

constexpr std::string_view kExtension = ".toml";

// Whether a file name ends in ".toml", in any case (Windows does not tell the cases apart).
bool HasTomlExtension(std::string_view name) {
    if (name.size() <= kExtension.size()) return false;
    const std::string_view tail = name.substr(name.size() - kExtension.size());
    return std::equal(tail.begin(), tail.end(), kExtension.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == b;
    });
}

// The file's name without its folder and without ".toml".
std::string NameOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (HasTomlExtension(name)) name.resize(name.size() - kExtension.size());
    return name;
}

fs::path PathOf(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

SequenceLoad Refused(const std::string& path, std::string what) {
    return {nullptr, SequenceError{path, 0, 0, std::move(what)}};
}

}  // namespace

std::string SequenceError::Text() const {
    if (line == 0) return file + ": " + what;
    return file + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + what;
}

SequenceLoad ParseSequence(std::string_view text, const std::string& path,
                           const Cp932Encoder& toCp932) {
    toml::parse_result parsed = toml::parse(text, std::string_view(path));
    if (!parsed) {
        const toml::parse_error& e = parsed.error();
        const bool known = e.source().begin.line > 0;
        return {nullptr,
                SequenceError{path, known ? static_cast<uint32_t>(e.source().begin.line) : 1,
                              known ? static_cast<uint32_t>(e.source().begin.column) : 1,
                              std::string(e.description())}};
    }
    auto seq = std::make_shared<Sequence>();
    seq->path = path;
    seq->name = NameOf(path);
    Checker check(path, toCp932);
    if (!ParseFile(check, parsed.table(), *seq)) return {nullptr, *check.Error()};
    return {std::move(seq), {}};
}

SequenceLoad LoadSequenceFile(const std::string& path, const Cp932Encoder& toCp932) {
    std::error_code error;
    const fs::path file = PathOf(path);
    if (!fs::is_regular_file(file, error)) {
        return Refused(path, fs::exists(file, error) ? "not a regular file" : "no such file");
    }
    const uintmax_t size = fs::file_size(file, error);
    if (error || size > kMaxSequenceFileBytes) {
        return Refused(path, error ? "cannot be read" : "larger than 1 MiB");
    }
    std::ifstream in(file, std::ios::binary);
    std::string text(static_cast<size_t>(size), '\0');
    if (!in.read(text.data(), static_cast<std::streamsize>(text.size()))) {
        return Refused(path, "cannot be read");
    }
    return ParseSequence(text, path, toCp932);
}

void LoadSequenceFolder(const std::string& dir, const Cp932Encoder& toCp932, SequenceFolder& into) {
    std::error_code error;
    const fs::path folder = PathOf(dir);
    if (!fs::is_directory(folder, error)) return;
    std::vector<std::pair<std::string, std::string>> files;  // file name, path (UTF-8)
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const std::string name = Utf8Of(it->path().filename());
        // Folders named *.toml are no files of ours; anything else ending so is tried.
        std::error_code kind;
        if (!HasTomlExtension(name) || it->is_directory(kind)) continue;
        files.emplace_back(name, Utf8Of(it->path()));
    }
    if (error) {
        into.refused.push_back({dir, 0, 0, "the folder cannot be read"});
        return;
    }
    std::sort(files.begin(), files.end());
    for (const auto& [name, path] : files) {
        SequenceLoad load = LoadSequenceFile(path, toCp932);
        if (load.sequence) {
            into.loaded.push_back(std::move(load.sequence));
        } else {
            into.refused.push_back(std::move(load.error));
        }
    }
}

}  // namespace karvex
