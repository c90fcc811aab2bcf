#include "window/dialog_font.h"

#include <QFontDatabase>
#include <QStringList>

namespace karvex {

namespace {

QString ChooseFamily(const QString& face) {
    const QStringList installed = QFontDatabase::families();
    for (const QString& wanted : {face, QStringLiteral("IPAPGothic")}) {
        if (installed.contains(wanted, Qt::CaseInsensitive)) {
            return wanted;
        }
    }
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    // Prefer a proportional gothic (sans-serif) face, as the dialog's font is one.
    for (const QString& family : japanese) {
        if (family.contains(QStringLiteral("Gothic"), Qt::CaseInsensitive) &&
            !QFontDatabase::isFixedPitch(family)) {
            return family;
        }
    }
    return japanese.isEmpty() ? QString() : japanese.front();
}

}  // namespace

QFont DialogFont(const QString& face, int points) {
    QFont font;
    const QString family = ChooseFamily(face);
    if (!family.isEmpty()) {
        font.setFamilies({family});
    }
    font.setPointSize(points);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

}  // namespace karvex
