// The first-start state and the item-dependent fields of each test item.
#include <QLabel>
#include <QRadioButton>

#include <set>

#include "dialog/item_fields.h"
#include "tests/window/window_rig.h"

namespace karvex::wt {
namespace {

std::set<int> VisibleDependents(const CModemTestDlg& dlg) {
    std::set<int> shown;
    for (int id : ItemDependentControls()) {
        if (dlg.Control(id)->isVisible()) {
            shown.insert(id);
        }
    }
    return shown;
}

void Select(CModemTestDlg& dlg, int item) {
    As<QComboBox>(dlg, kIdTestItem)->setCurrentIndex(item);
}

TEST(FirstStart, DefaultsWithoutASettingsFile) {
    DialogRig rig;  // no settings path: nothing read
    CModemTestDlg& dlg = *rig.dlg;
    EXPECT_TRUE(As<QRadioButton>(dlg, kIdTolva1)->isChecked());
    EXPECT_FALSE(As<QRadioButton>(dlg, kIdTolva2)->isChecked());
    auto* com = As<QComboBox>(dlg, kIdComPort);
    ASSERT_EQ(com->count(), 99);
    EXPECT_EQ(com->itemText(0), QStringLiteral("COM1"));
    EXPECT_EQ(com->itemText(98), QStringLiteral("COM99"));
    EXPECT_EQ(com->currentIndex(), 0);
    for (int id : {kIdApn, kIdUser, kIdPassword, kIdPhone}) {
        EXPECT_TRUE(As<QLineEdit>(dlg, id)->text().isEmpty()) << id;
    }
    EXPECT_EQ(As<QLineEdit>(dlg, kIdSmsNumber)->text(), QStringLiteral("1"));
    EXPECT_EQ(As<QLineEdit>(dlg, kIdPassword)->echoMode(), QLineEdit::Normal);
    auto* items = As<QComboBox>(dlg, kIdTestItem);
    ASSERT_EQ(items->count(), 12);
    EXPECT_EQ(items->currentIndex(), 0);
    EXPECT_EQ(VisibleDependents(dlg), (std::set<int>{kIdApnLabel, kIdUserLabel, kIdPasswordLabel,
                                                     kIdApn, kIdUser, kIdPassword}));
    EXPECT_EQ(Enables(dlg), ExpectedEnables(LinkView::Closed));
    EXPECT_EQ(Caption(dlg), QStringLiteral("接続"));
    EXPECT_FALSE(dlg.LinkOpen());
    EXPECT_TRUE(dlg.SettingsPath().isEmpty());
    EXPECT_TRUE(LogText(dlg).isEmpty());
    EXPECT_EQ(As<QLabel>(dlg, kIdVersion)->text(), QStringLiteral("Version 1.01"));
}

TEST(FirstStart, ItemCaptionsInOrder) {
    DialogRig rig;
    const char* const want[] = {
        "初期化とAPN登録",
        "通信モジュールのリビジョンの読み出し",
        "電波受信強度RSSI取得",
        "時刻サーバから日時の取得・表示・モジュールRTCへ時刻設定",
        "モジュールRTCから時刻取得・表示",
        "SMSショートメッセージメール送信",
        "SMSショートメッセージメール受信確認",
        "SMSショートメッセージメール受信",
        "SMSショートメッセージメールの削除",
        "GPS Assisted GPS利用設定",
        "GPS測位開始",
        "GPS測位の終了",
    };
    auto* items = As<QComboBox>(*rig.dlg, kIdTestItem);
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(items->itemText(i), QString::fromUtf8(want[i])) << i;
    }
}

TEST(ItemFields, EachItemShowsExactlyItsFields) {
    struct Case {
        int item;
        std::set<int> shown;
        const char* label;  // the item label's text when it is shown
    };
    const std::set<int> network{kIdApnLabel, kIdUserLabel, kIdPasswordLabel,
                                kIdApn,      kIdUser,      kIdPassword};
    const std::set<int> none;
    const Case cases[] = {
        {0, network, nullptr},
        {1, none, nullptr},
        {2, none, nullptr},
        {3, none, nullptr},
        {4, none, nullptr},
        {5, {kIdItemLabel, kIdPhone}, "電話番号"},
        {6, none, nullptr},
        {7, {kIdItemLabel, kIdSmsNumber}, "取得SMS No."},
        {8, {kIdItemLabel, kIdSmsNumber}, "削除SMS No."},
        {9, {kIdUserLabel, kIdPasswordLabel, kIdUser, kIdPassword}, nullptr},
        {10, none, nullptr},
        {11, none, nullptr},
    };
    DialogRig rig;
    CModemTestDlg& dlg = *rig.dlg;
    // Visit every item from every other item, so no rule depends on the one before.
    for (const Case& from : cases) {
        for (const Case& to : cases) {
            Select(dlg, from.item);
            Select(dlg, to.item);
            ASSERT_EQ(VisibleDependents(dlg), to.shown) << from.item << " -> " << to.item;
            if (to.label != nullptr) {
                EXPECT_EQ(As<QLabel>(dlg, kIdItemLabel)->text(), QString::fromUtf8(to.label));
            }
        }
    }
    // No selection at all: all nine hidden.
    Select(dlg, -1);
    EXPECT_TRUE(VisibleDependents(dlg).empty());
}

TEST(ItemFields, TextsSurviveSwitchingItems) {
    DialogRig rig;
    CModemTestDlg& dlg = *rig.dlg;
    Select(dlg, 5);
    As<QLineEdit>(dlg, kIdPhone)->setText(QStringLiteral("09012345678"));
    Select(dlg, 8);
    As<QLineEdit>(dlg, kIdSmsNumber)->setText(QStringLiteral("3"));
    Select(dlg, 5);
    EXPECT_EQ(As<QLineEdit>(dlg, kIdPhone)->text(), QStringLiteral("09012345678"));
    Select(dlg, 7);
    EXPECT_EQ(As<QLineEdit>(dlg, kIdSmsNumber)->text(), QStringLiteral("3"));
}

}  // namespace
}  // namespace karvex::wt
