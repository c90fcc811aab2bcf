#include "window/dialog_units.h"

#include <QFontMetrics>
#include <QString>

#include <cstdint>
#include <cstdlib>

namespace karvex {

DialogBaseUnits BaseUnitsFor(const QFont& font) {
    const QFontMetrics metrics(font);
    const int w = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return DialogBaseUnits{((w / 26) + 1) / 2, metrics.height()};
}

int MulDiv(int a, int b, int c) {
    if (c == 0) {
        return -1;
    }
    const int64_t product = static_cast<int64_t>(a) * b;
    const int64_t half = std::llabs(c) / 2;
    const bool negative = (product < 0) != (c < 0);
    const int64_t magnitude = (std::llabs(product) + half) / std::llabs(c);
    return static_cast<int>(negative ? -magnitude : magnitude);
}

QRect MapDialogRect(const res::DialogRect& rect, const DialogBaseUnits& units) {
    return QRect(MulDiv(rect.x, units.x, 4), MulDiv(rect.y, units.y, 8), MulDiv(rect.w, units.x, 4),
                 MulDiv(rect.h, units.y, 8));
}

QSize MapDialogSize(int w, int h, const DialogBaseUnits& units) {
    return QSize(MulDiv(w, units.x, 4), MulDiv(h, units.y, 8));
}

}  // namespace karvex
