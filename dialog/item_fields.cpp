#include "dialog/item_fields.h"

#include "resources/main_dialog.h"
#include "sequencer/test_items.h"

namespace karvex {

namespace {

using namespace res;

constexpr int kNetworkFields[] = {kIdApnLabel, kIdUserLabel, kIdPasswordLabel,
                                  kIdApn,      kIdUser,      kIdPassword};
constexpr int kGpsFields[] = {kIdUserLabel, kIdPasswordLabel, kIdUser, kIdPassword};
constexpr int kPhoneFields[] = {kIdItemLabel, kIdPhone};
constexpr int kSmsNumberFields[] = {kIdItemLabel, kIdSmsNumber};

constexpr std::array<ItemFields, kTestItemCount> kItems{{
    {"初期化とAPN登録", nullptr, kNetworkFields},
    {"通信モジュールのリビジョンの読み出し", nullptr, {}},
    {"電波受信強度RSSI取得", nullptr, {}},
    {"時刻サーバから日時の取得・表示・モジュールRTCへ時刻設定", nullptr, {}},
    {"モジュールRTCから時刻取得・表示", nullptr, {}},
    {"SMSショートメッセージメール送信", "電話番号", kPhoneFields},
    {"SMSショートメッセージメール受信確認", nullptr, {}},
    {"SMSショートメッセージメール受信", "取得SMS No.", kSmsNumberFields},
    {"SMSショートメッセージメールの削除", "削除SMS No.", kSmsNumberFields},
    {"GPS Assisted GPS利用設定", nullptr, kGpsFields},
    {"GPS測位開始", nullptr, {}},
    {"GPS測位の終了", nullptr, {}},
}};
// Every item has its row: a missing one would be left empty, not refused.
static_assert(kItems.back().caption != nullptr);

constexpr int kDependent[] = {kIdApnLabel, kIdUserLabel, kIdPasswordLabel, kIdItemLabel, kIdApn,
                              kIdUser,     kIdPassword,  kIdSmsNumber,     kIdPhone};

constexpr int kInputs[] = {kIdExecute,   kIdTestItem, kIdApn,    kIdUser,  kIdPassword,
                           kIdSmsNumber, kIdPhone,    kIdTolva1, kIdTolva2};

}  // namespace

const std::array<ItemFields, kTestItemCount>& TestItemFields() {
    return kItems;
}
std::span<const int> ItemDependentControls() {
    return kDependent;
}
std::span<const int> InputControls() {
    return kInputs;
}

}  // namespace karvex
