// The twelve test items as the window shows them: the caption in the test-item drop-down and the
// item-dependent controls that appear while the item is selected.
#pragma once

#include <array>
#include <span>
#include <vector>

#include "resources/main_dialog.h"
#include "sequencer/test_items.h"

namespace karvex {

struct ItemFields {
    const char* caption;         // UTF-8
    const char* itemLabel;       // text given to the item label before it is shown; null: not shown
    std::span<const int> shown;  // controls shown, in this order
};

// Index i is test item i.
const std::array<ItemFields, kTestItemCount>& TestItemFields();

// A user's sequence in the same controls: the fields it names with their labels. Each field keeps
// its place from the description, unless the phone or SMS number comes with another field: the
// two overlap the others there, so then all of them stand side by side in the fields' row, each
// under its label.
struct SequenceFieldView {
    const char* itemLabel = nullptr;  // text of the item label (phone, SMS number), or null
    std::vector<int> shown;           // labels first, then fields, in the window's order
    struct Place {
        int id;
        res::DialogRect rect;
    };
    std::vector<Place> places;  // controls moved from their place in the description
};
SequenceFieldView SequenceFields(std::span<const Entry> fields);

// The nine item-dependent controls, in the order they are hidden.
std::span<const int> ItemDependentControls();

// The nine input controls that EnableInputs switches together, in order.
std::span<const int> InputControls();

}  // namespace karvex
