#include "dialog/item_fields.h"

#include <algorithm>

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

// The label and the field of each entry a sequence may name.
struct EntryControls {
    Entry entry;
    int label, field;
    const char* labelText;  // for the item label only
};
constexpr EntryControls kEntryControls[] = {
    {Entry::Apn, kIdApnLabel, kIdApn, nullptr},
    {Entry::User, kIdUserLabel, kIdUser, nullptr},
    {Entry::Password, kIdPasswordLabel, kIdPassword, nullptr},
    {Entry::Phone, kIdItemLabel, kIdPhone, "電話番号"},
    {Entry::SmsNumber, kIdItemLabel, kIdSmsNumber, "SMS No."},
};

// The fields' row side by side: from the left edge to the buttons' column, labels above fields.
constexpr int kRowLeft = 5, kRowRight = 210, kGap = 5;
constexpr int kLabelTop = 40, kLabelHeight = 8, kFieldTop = 50, kFieldHeight = 14;

}  // namespace

SequenceFieldView SequenceFields(std::span<const Entry> fields) {
    SequenceFieldView view;
    std::vector<const EntryControls*> used;
    bool sharesItemLabel = false;
    for (const EntryControls& c : kEntryControls) {
        if (std::find(fields.begin(), fields.end(), c.entry) == fields.end()) continue;
        used.push_back(&c);
        if (c.labelText != nullptr) {
            view.itemLabel = c.labelText;
            sharesItemLabel = true;
        }
    }
    for (const EntryControls* c : used) view.shown.push_back(c->label);
    for (const EntryControls* c : used) view.shown.push_back(c->field);
    if (!sharesItemLabel || used.size() < 2) return view;
    const int n = static_cast<int>(used.size());
    const int width = (kRowRight - kRowLeft - kGap * (n - 1)) / n;
    for (int i = 0; i < n; ++i) {
        const int x = kRowLeft + i * (width + kGap);
        view.places.push_back({used[i]->label, {x, kLabelTop, width, kLabelHeight}});
        view.places.push_back({used[i]->field, {x, kFieldTop, width, kFieldHeight}});
    }
    return view;
}

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
