// The example sequence files that are twins of built-in items: examples/sequences/NN-name.toml is
// the twin of item NN. Loaded as the window loads its folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "sequencer/sequence_file.h"
#include "tests/items/item_expectations.h"

namespace karvex::testing {

// Every item that is a plain step list: all but the network-time item.
inline constexpr int kTwinItems[] = {0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11};

inline std::shared_ptr<const Sequence> LoadTwin(int item) {
    const std::string dir = KARVEX_EXAMPLES_DIR;
    SequenceFolder folder;
    LoadSequenceFolder(dir, folder);
    EXPECT_TRUE(folder.refused.empty()) << folder.refused.front().Text();
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "%02d-", item);
    for (const auto& sequence : folder.loaded) {
        if (sequence->name.starts_with(prefix)) return sequence;
    }
    ADD_FAILURE() << "no twin of item " << item << " in " << dir;
    return nullptr;
}

// The standard inputs with the twin of `item` to run instead of the item.
inline TestInputs TwinInputs(int item, bool tolva2 = false) {
    TestInputs in = StandardInputs(item, tolva2);
    in.sequence = LoadTwin(item);
    in.item = kTestItemCount;  // the first entry after the built-in items
    return in;
}

}  // namespace karvex::testing
