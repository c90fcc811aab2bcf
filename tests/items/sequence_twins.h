// The example sequence files that are twins of built-in items (examples/sequences/NN-name.toml is
// the twin of item NN), loaded as the window loads them.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dialog/strict_cp932.h"
#include "sequencer/sequence_file.h"
#include "tests/items/item_expectations.h"

namespace karvex::testing {

// Every item that is a plain step list: all but the network-time item.
inline constexpr int kTwinItems[] = {0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11};

inline std::string TwinPath(int item) {
    static const char* const kNames[] = {
        "00-init",      "01-revision", "02-rssi",       "",        "04-clock",     "05-sms-send",
        "06-sms-check", "07-sms-read", "08-sms-delete", "09-agps", "10-gps-start", "11-gps-stop"};
#ifdef _WIN32
    const std::string root = "Z:";  // the source tree through Wine's drive for /
#else
    const std::string root;
#endif
    return root + KARVEX_EXAMPLES_DIR + "/" + kNames[item] + ".toml";
}

inline std::shared_ptr<const Sequence> LoadTwin(int item) {
    SequenceLoad load = LoadSequenceFile(TwinPath(item), StrictCp932FromUtf8);
    EXPECT_NE(load.sequence, nullptr) << load.error.Text();
    return load.sequence;
}

// The standard inputs with the twin of `item` to run instead of the item.
inline TestInputs TwinInputs(int item, bool tolva2 = false) {
    TestInputs in = StandardInputs(item, tolva2);
    in.sequence = LoadTwin(item);
    in.item = kTestItemCount;  // the first entry after the built-in items
    return in;
}

}  // namespace karvex::testing
