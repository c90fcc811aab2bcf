#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>

#include "cli/platform.h"
#include "cli/reports.h"
#include "cli/run_plan.h"
#include "dialog/settings_file.h"
#include "link/com_name.h"
#include "link/port.h"
#include "sequencer/sequence_file.h"

namespace karvex::cli {
namespace {

constexpr std::array<std::string_view, kTestItemCount> kItemNames = {
    "init",      "revision", "rssi",       "network-time", "clock",     "sms-send",
    "sms-check", "sms-read", "sms-delete", "agps",         "gps-start", "gps-stop"};

// "0-11": the items' numbers as the usage text gives them.
const std::string kItemRange = "0-" + std::to_string(kTestItemCount - 1);

// The items that change nothing on the board or the network: revision, RSSI, clock, SMS check.
constexpr std::array<int, 4> kAllSafe = {1, 2, 4, 6};

struct UsageError {
    std::string text;
};

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

BoardTarget Target(const std::string& name) {
    const int n = ComNumber(name);
    return {name, n > 0 ? ComDevicePath(n) : name};
}

bool IsSequence(const RunPlan& plan, int index) {
    return index >= kTestItemCount &&
           static_cast<size_t>(index - kTestItemCount) < plan.sequences.size();
}

void AddItems(const std::string& token, RunPlan& plan) {
    std::vector<int>& items = plan.items;
    // "1, 2" splits into "1" and " 2": blanks around a name are no part of it.
    const size_t first = token.find_first_not_of(" \t");
    const size_t last = token.find_last_not_of(" \t");
    const std::string name =
        first == std::string::npos ? std::string() : Lower(token.substr(first, last - first + 1));
    if (name == "all-safe") {
        items.insert(items.end(), kAllSafe.begin(), kAllSafe.end());
        return;
    }
    for (int i = 0; i < kTestItemCount; ++i) {
        if (name == kItemNames[static_cast<size_t>(i)] || name == std::to_string(i)) {
            items.push_back(i);
            return;
        }
    }
    for (size_t i = 0; i < plan.sequences.size(); ++i) {
        if (name == Lower(plan.sequences[i]->name)) {
            items.push_back(kTestItemCount + static_cast<int>(i));
            return;
        }
    }
    throw UsageError{"unknown item \"" + token + "\" (" + kItemRange +
                     ", a name, all-safe, or the name of a --sequence file)"};
}

// Loads the --sequence files. A file that does not load, or whose name --items could not tell
// from another item, is a usage error: nothing is opened before every file is good.
void LoadSequences(const std::vector<std::string>& paths, RunPlan& plan) {
    for (const std::string& path : paths) {
        SequenceLoad load = LoadSequenceFile(path);
        if (!load.sequence) throw UsageError{"--sequence " + load.error.Text()};
        const std::string& name = load.sequence->name;
        const std::string lower = Lower(name);
        bool taken = lower == "all-safe" || name.find(',') != std::string::npos;
        for (int i = 0; i < kTestItemCount; ++i) {
            taken =
                taken || lower == kItemNames[static_cast<size_t>(i)] || lower == std::to_string(i);
        }
        for (const auto& other : plan.sequences) taken = taken || Lower(other->name) == lower;
        if (taken) {
            throw UsageError{"--sequence " + path + ": the name \"" + name +
                             "\" is taken by an item or another file, or holds a comma; rename "
                             "the file"};
        }
        plan.sequences.push_back(std::move(load.sequence));
    }
}

// The window's settings file, read as the window reads it, its texts kept as the CP932 bytes
// they are.
Settings ReadSettings(const std::string& path) {
    Settings s;
    const int result = LoadSettings(path, s, SettingsText::kCp932);
    if (result == kSettingsTooShort) {
        throw UsageError{"the settings file " + path + " has fewer than six lines"};
    }
    if (result < 0) throw UsageError{"cannot read the settings file " + path};
    return s;
}

// The option's text as CP932, or a usage error naming the option.
std::string Field(const std::string& option, const std::string& utf8) {
    std::optional<std::string> bytes = Utf8ToCp932(utf8);
    if (!bytes) throw UsageError{option + ": the text cannot be sent in CP932"};
    return *bytes;
}

// "90m", "12h", "1h30m", "500ms", "1.5s": numbers each with its unit (ms, s, m, h, d).
std::chrono::milliseconds Duration(const std::string& option, const std::string& text) {
    static constexpr std::pair<std::string_view, double> kUnits[] = {
        {"ms", 1}, {"s", 1e3}, {"m", 60e3}, {"h", 3600e3}, {"d", 86400e3}};
    const UsageError bad{option + ": \"" + text + "\" is no duration (e.g. 30s, 90m, 12h, 1h30m)"};
    double ms = 0;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = at;
        while (end < text.size() &&
               (std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '.')) {
            ++end;
        }
        size_t unitEnd = end;
        while (unitEnd < text.size() && std::isalpha(static_cast<unsigned char>(text[unitEnd]))) {
            ++unitEnd;
        }
        const std::string number = text.substr(at, end - at);
        const std::string unit = Lower(text.substr(end, unitEnd - end));
        const auto known = std::find_if(std::begin(kUnits), std::end(kUnits),
                                        [&](const auto& u) { return u.first == unit; });
        if (number.empty() || number.find('.') != number.rfind('.') || number == "." ||
            known == std::end(kUnits)) {
            throw bad;
        }
        ms += std::stod(number) * known->second;
        at = unitEnd;
    }
    // More than 0 and less than a year: anything else is a typing error.
    if (!(ms >= 1) || ms > 365 * 86400e3) throw bad;
    return std::chrono::milliseconds(static_cast<long long>(ms));
}

}  // namespace

std::string ItemName(const RunPlan& plan, int index) {
    if (IsSequence(plan, index)) return plan.sequences[index - kTestItemCount]->name;
    return index >= 0 && index < kTestItemCount
               ? std::string(kItemNames[static_cast<size_t>(index)])
               : "?";
}

TestInputs InputsFor(const RunPlan& plan, int index) {
    TestInputs inputs = plan.inputs;
    inputs.item = index;
    if (IsSequence(plan, index)) inputs.sequence = plan.sequences[index - kTestItemCount];
    return inputs;
}

std::variant<RunPlan, int> ParseCommandLine(int argc, char** argv) {
    CLI::App app{"Runs the board's test items without the window, on one or more boards at once.",
                 "karvex-run"};
    std::vector<std::string> ports, itemTokens, sequencePaths;
    std::string model, settingsPath;
    std::optional<std::string> apn, user, password, phone, smsNumber, runFor, every;
    std::optional<int> repeat;
    RunPlan plan;
    app.add_option("--port", ports,
                   "COMn (resolved as in the window), a device path, or a board on another "
                   "machine (rfc2217://host:port, tcp://host:port); repeat for more boards");
    app.add_option("--items", itemTokens,
                   "items by number (" + kItemRange +
                       ") or name, in order; all-safe = revision,rssi,clock,sms-check; "
                       "a --sequence file by its name")
        ->delimiter(',');
    app.add_option("--sequence", sequencePaths,
                   "load a sequence file (TOML); repeat for more. Without --items the files run "
                   "in the order given");
    app.add_option("--model", model, "board model: tolva-1 (default) or tolva-2")
        ->check(CLI::IsMember({"tolva-1", "tolva-2"}, CLI::ignore_case));
    app.add_option("--settings", settingsPath,
                   "take the model, port and fields from the window's settings file");
    app.add_option("--apn", apn, "access point name (item init)");
    app.add_option("--user", user, "user name (items init, agps)");
    app.add_option("--password", password, "password (items init, agps)");
    app.add_option("--phone", phone, "destination phone number (item sms-send)");
    app.add_option("--sms-number", smsNumber, "stored message number (items sms-read, sms-delete)");
    app.add_flag("--stop-on-failure", plan.stopOnFailure,
                 "stop a board's run at its first item that does not pass");
    app.add_option("--junit", plan.junitPath, "write a JUnit XML report to FILE");
    app.add_flag("--json", plan.json, "one JSON object per line and item on stdout");
    app.add_option("--log-dir", plan.logDir, "save each board's traffic log per item in DIR");
    app.add_option("--trace-dir", plan.traceDir,
                   "write each board's timed traffic and steps as JSON Lines in DIR");
    app.add_option("--html", plan.htmlPath,
                   "write a self-contained HTML report (summary, timeline, reply times) to FILE");
    app.add_option("--repeat", repeat, "run the items N times over (rounds)")
        ->check(CLI::Range(1, 100000000));
    app.add_option("--for", runFor, "start rounds until DURATION has passed (90m, 12h, 1h30m)");
    app.add_option("--every", every, "from the start of one round to the next (30s, 5m)");
    // "/x" is a value (a path), never an option, on Windows as elsewhere.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", "karvex-run " KARVEX_RUN_VERSION);

    try {
        app.parse(argc, argv);
        LoadSequences(sequencePaths, plan);
        for (const std::string& token : itemTokens) AddItems(token, plan);
        if (itemTokens.empty()) {
            if (plan.sequences.empty()) throw UsageError{"--items is required"};
            for (size_t i = 0; i < plan.sequences.size(); ++i) {
                plan.items.push_back(kTestItemCount + static_cast<int>(i));
            }
        }
        for (size_t i = 0; i < plan.sequences.size(); ++i) {
            const int index = kTestItemCount + static_cast<int>(i);
            if (std::find(plan.items.begin(), plan.items.end(), index) == plan.items.end()) {
                throw UsageError{"--sequence " + plan.sequences[i]->path + " is not among --items"};
            }
        }
        if (!settingsPath.empty()) {
            const Settings s = ReadSettings(settingsPath);
            plan.inputs.tolva2 = s.tolva2;
            if (ports.empty() && s.port >= 1 && s.port <= kComPortCount) {
                ports.push_back(ComName(static_cast<int>(s.port)));
            }
            plan.inputs.apn = s.apn;
            plan.inputs.user = s.user;
            plan.inputs.password = s.password;
            plan.inputs.phone = s.phone;
        }
        if (!model.empty()) plan.inputs.tolva2 = Lower(model) == "tolva-2";
        if (apn) plan.inputs.apn = Field("--apn", *apn);
        if (user) plan.inputs.user = Field("--user", *user);
        if (password) plan.inputs.password = Field("--password", *password);
        if (phone) plan.inputs.phone = Field("--phone", *phone);
        if (smsNumber) plan.inputs.smsNumber = Field("--sms-number", *smsNumber);
        if (runFor) plan.runFor = Duration("--for", *runFor);
        if (every) plan.every = Duration("--every", *every);
        // --for or --every alone count no rounds: time (or Ctrl-C) ends the run.
        plan.repeat = repeat ? *repeat : (runFor || every ? 0 : 1);
        if (ports.empty()) throw UsageError{"no port: give --port (or --settings with a COM port)"};
        for (const std::string& port : ports) {
            plan.boards.push_back(Target(port));
            plan.boards.back().index = static_cast<int>(plan.boards.size()) - 1;
        }

        // The window's own checks, before anything is opened or sent.
        for (const int item : plan.items) {
            std::string message;
            if (!BuildTestItem(InputsFor(plan, item), message)) {
                throw UsageError{"item " + std::to_string(item) + " (" + ItemName(plan, item) +
                                 "): " + message};
            }
        }
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? 0 : 2;
    } catch (const UsageError& e) {
        std::cerr << "karvex-run: " << e.text << "\n";
        return 2;
    }
    return plan;
}

}  // namespace karvex::cli
