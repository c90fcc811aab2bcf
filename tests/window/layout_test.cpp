// The window as built from its description: places through the dialog-unit conversion, the
// frame, the font, the icon, the tab order and the version label.
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include "dialog/version_text.h"
#include "tests/window/window_rig.h"
#include "window/dialog_units.h"

namespace karvex::wt {
namespace {

TEST(DialogUnits, MulDivRoundsHalvesAwayFromZero) {
    struct Case {
        int a, b, c, want;
    };
    const Case cases[] = {
        {5, 6, 4, 8},
        {5, 7, 4, 9},
        {3, 6, 4, 5},
        {270, 7, 4, 473},
        {393, 13, 8, 639},
        {1, 1, 2, 1},
        {-1, 1, 2, -1},
        {-5, 6, 4, -8},
        {10, 0, 4, 0},
        {7, 3, 0, -1},
        {1000000, 3000, 7, 428571429},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.want) << c.a << "*" << c.b << "/" << c.c;
    }
}

TEST(DialogUnits, MapsEachEdgeSeparately) {
    const DialogBaseUnits six_twelve{6, 12};
    EXPECT_EQ(MapDialogRect({5, 70, 260, 310}, six_twelve), QRect(8, 105, 390, 465));
    EXPECT_EQ(MapDialogRect({65, 5, 85, 10}, six_twelve), QRect(98, 8, 128, 15));
    EXPECT_EQ(MapDialogSize(270, 393, six_twelve), QSize(405, 590));
}

TEST(DialogUnits, BaseUnitsFollowTheFontMetrics) {
    DialogRig rig;
    const QFontMetrics fm(rig.dlg->font());
    const int letters = fm.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    EXPECT_EQ(rig.dlg->BaseUnits().x, ((letters / 26) + 1) / 2);
    EXPECT_EQ(rig.dlg->BaseUnits().y, fm.height());
    EXPECT_GT(rig.dlg->BaseUnits().x, 3);
    EXPECT_GT(rig.dlg->BaseUnits().y, 8);
}

TEST(MainWindow, ControlsSitWhereTheDescriptionPlacesThem) {
    DialogRig rig;
    const DialogBaseUnits units = rig.dlg->BaseUnits();
    for (const ControlTemplate& c : MainDialog().controls) {
        SCOPED_TRACE(c.id);
        QWidget* w = rig.dlg->Control(c.id);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->objectName(), QString::number(c.id));
        EXPECT_EQ(w->parentWidget(), rig.dlg.get());
        const QRect want = MapDialogRect(c.rect, units);
        const QRect got = w->geometry();
        EXPECT_EQ(got.topLeft(), want.topLeft());
        EXPECT_EQ(got.width(), want.width());
        if (c.kind == ControlKind::ComboBox) {
            // The description's height includes the dropped-down list; the closed box is the
            // platform's height for the font, and the list shows the rest in rows.
            EXPECT_LT(got.height(), want.height());
            EXPECT_GT(As<QComboBox>(*rig.dlg, c.id)->maxVisibleItems(), 10);
        } else {
            EXPECT_EQ(got.height(), want.height());
        }
    }
    EXPECT_EQ(rig.dlg->Control(1001), nullptr);
    EXPECT_EQ(rig.dlg->Control(1024), nullptr);
}

TEST(MainWindow, FrameTitleSizeAndIcon) {
    DialogRig rig;
    CModemTestDlg& dlg = *rig.dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Karvex"));
    EXPECT_EQ(dlg.parentWidget(), nullptr);
    EXPECT_TRUE(dlg.isWindow());
    const Qt::WindowFlags flags = dlg.windowFlags();
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Window);
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);

    const QSize client = MapDialogSize(270, 393, dlg.BaseUnits());
    EXPECT_EQ(dlg.size(), client);
    EXPECT_EQ(dlg.minimumSize(), client);
    EXPECT_EQ(dlg.maximumSize(), client);

    const QList<QSize> sizes = dlg.windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));

    // Opened centred on the screen.
    const QRect screen = dlg.screen()->availableGeometry();
    EXPECT_LE((dlg.frameGeometry().center() - screen.center()).manhattanLength(), 4);
}

TEST(MainWindow, FontIsTheDialogFaceOrAJapaneseStandIn) {
    DialogRig rig;
    const QFont font = rig.dlg->font();
    EXPECT_EQ(font.pointSize(), 9);
    EXPECT_FALSE(font.italic());
    EXPECT_EQ(font.weight(), QFont::Normal);
    const QString family = font.families().value(0);
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    if (QFontDatabase::families().contains(QStringLiteral("IPAPGothic"))) {
        EXPECT_TRUE(family == QStringLiteral("ＭＳ Ｐゴシック") || family == "IPAPGothic")
            << family.toStdString();
    } else if (!japanese.isEmpty()) {
        EXPECT_TRUE(japanese.contains(family)) << family.toStdString();
    }
    // The Japanese captions render with real glyphs, not boxes.
    EXPECT_TRUE(QFontMetrics(font).inFont(QChar(u'接')));
}

TEST(MainWindow, TabOrderIsTheDescriptionOrder) {
    DialogRig rig;
    // The focusable controls, in the description's order, form one chain.
    QList<QWidget*> wanted;
    for (const ControlTemplate& c : MainDialog().controls) {
        if ((c.style & kTabStop) != 0) {
            wanted.append(rig.dlg->Control(c.id));
        }
    }
    for (qsizetype i = 0; i + 1 < wanted.size(); ++i) {
        QWidget* next = wanted[i]->nextInFocusChain();
        while (next != wanted[i + 1] && !wanted.contains(next) && next != rig.dlg.get()) {
            next = next->nextInFocusChain();
        }
        EXPECT_EQ(next, wanted[i + 1]) << wanted[i]->objectName().toStdString();
    }
    // The log, first in tab order, has the focus when the window opens.
    EXPECT_EQ(rig.dlg->focusWidget(), rig.dlg->Control(kIdTrafficLog));
}

TEST(VersionLabel, FormatsThreeNumbersWithoutASecondSeparator) {
    struct Case {
        VersionNumbers v;
        const char* want;
    };
    const Case cases[] = {
        {{1, 0, 1, 0}, "Version 1.01"},
        {{1, 2, 10, 0}, "Version 1.210"},
        {{0, 0, 0, 7}, "Version 0.00"},
        {{65535, 65535, 65535, 65535}, "Version 65535.6553565535"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatVersionLabel(c.v), c.want);
    }
}

}  // namespace
}  // namespace karvex::wt
