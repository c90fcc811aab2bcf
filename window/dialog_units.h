// Dialog units: a dialog description gives places and sizes in units of the dialog font, a quarter
// of its average character width across and an eighth of its character height down.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

#include "resources/main_dialog.h"

namespace karvex {

struct DialogBaseUnits {
    int x = 0;  // average character width in pixels
    int y = 0;  // character height in pixels
};

// The average width is measured the way Windows does it: the width of "A".."Z" "a".."z" in the
// font, w, gives ((w / 26) + 1) / 2.
DialogBaseUnits BaseUnitsFor(const QFont& font);

// a * b / c rounded to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c);

QRect MapDialogRect(const res::DialogRect& rect, const DialogBaseUnits& units);
QSize MapDialogSize(int w, int h, const DialogBaseUnits& units);

}  // namespace karvex
