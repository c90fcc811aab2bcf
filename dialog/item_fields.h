// The twelve test items as the window shows them: the caption in the test-item drop-down and the
// item-dependent controls that appear while the item is selected.
#pragma once

#include <array>
#include <span>

#include "sequencer/test_items.h"

namespace karvex {

struct ItemFields {
    const char* caption;         // UTF-8
    const char* itemLabel;       // text given to the item label before it is shown; null: not shown
    std::span<const int> shown;  // controls shown, in this order
};

// Index i is test item i.
const std::array<ItemFields, kTestItemCount>& TestItemFields();

// The nine item-dependent controls, in the order they are hidden.
std::span<const int> ItemDependentControls();

// The nine input controls that EnableInputs switches together, in order.
std::span<const int> InputControls();

}  // namespace karvex
