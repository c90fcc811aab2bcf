// What one invocation of karvex-run is to do, as read from its command line.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "sequencer/test_items.h"
#include "sequencer/user_sequence.h"

namespace karvex::cli {

struct BoardTarget {
    std::string name;    // as given: "COM3" or a device path
    std::string device;  // what the port opens: "\\.\COM3" (resolved like the window's) or the path
    int index = 0;       // its place among the boards, from 0
};

struct RunPlan {
    std::vector<BoardTarget> boards;
    std::vector<int> items;  // in the order given; kTestItemCount + i is sequences[i]
    std::vector<std::shared_ptr<const Sequence>> sequences;  // from --sequence, in the order given
    TestInputs inputs;  // fields as CP932 bytes; `item` is set per run
    bool stopOnFailure = false;
    bool json = false;  // JSON lines on stdout (the human lines then go to stderr)
    std::string junitPath;
    std::string logDir;
    std::string traceDir;  // one JSON Lines trace per board
    std::string htmlPath;
    // Rounds: the items again and again. `repeat` 0 means no count (--for, --every or Ctrl-C end
    // the run); no round starts once `runFor` has passed since the start; `every` is from the
    // start of one round to the start of the next (0: at once).
    int repeat = 1;
    std::chrono::milliseconds runFor{0};
    std::chrono::milliseconds every{0};
    bool Repeating() const { return repeat != 1 || runFor.count() > 0 || every.count() > 0; }
};

// The short name of item `index` of `plan` ("init", "revision", ...), a sequence's being its
// file's name without ".toml".
std::string ItemName(const RunPlan& plan, int index);

// What running item `index` of `plan` takes: the plan's fields and, for a sequence, the sequence.
TestInputs InputsFor(const RunPlan& plan, int index);

// The parsed plan, or the exit status when the program is to end at once (0 after --help or
// --version, 2 after a usage error; the text is already written).
std::variant<RunPlan, int> ParseCommandLine(int argc, char** argv);

}  // namespace karvex::cli
