// Builds the controls of a dialog description as Qt widgets on a dialog.
#pragma once

#include <QWidget>

#include <map>

#include "resources/main_dialog.h"
#include "window/dialog_units.h"

namespace karvex {

// The widget of each control identifier. Each widget also carries its identifier as its object
// name ("1004") and as the property "controlId".
using ControlMap = std::map<int, QWidget*>;

inline constexpr const char* kControlIdProperty = "controlId";

// Creates every control of `tpl` as a child of `dialog`, in the description's order (which is also
// the tab order), placed through the dialog-unit conversion with `units`. Every control is visible
// and enabled, as the description leaves them.
ControlMap BuildControls(QWidget& dialog, const res::DialogTemplate& tpl,
                         const DialogBaseUnits& units);

}  // namespace karvex
