// The twelve test items as constant data: each step's command format, time-out and expected reply,
// and which operator entries an item requires and fills in.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace karvex {

// What fills a "%s" of a command format.
enum class Entry : uint8_t { Apn, User, Password, Phone, SmsNumber, TimeHost };

struct StepTemplate {
    std::string_view format;    // each "%s" takes the next of `entries`; nothing else is converted
    uint32_t timeout;           // ms
    const char* expected = "";  // empty: the runner's default "OK\r"
    std::array<Entry, 3> entries{};  // in the order of the placeholders
    std::string_view tolva2{};       // the command on a Tolva-2 board; empty: the same
};

struct ItemTemplate {
    std::span<const StepTemplate> steps;
    // The entry that must not be empty (checked on the text as typed), or nothing.
    bool hasRequired = false;
    Entry required = Entry::Apn;
    const char* requiredMessage = "";  // UTF-8
    // True: white space is removed from both ends of every entry before it is filled in.
    bool trimEntries = false;
};

// The window's messages for an empty required entry (UTF-8).
inline constexpr const char* kApnRequired = "APN設定は必須です。";
inline constexpr const char* kPhoneRequired = "電話番号は必須です。";
inline constexpr const char* kNumberRequired = "番号は必須です。";

// The item at `index`, or nullptr outside 0..11.
const ItemTemplate* FindItem(int index);

// The item that goes on to set the module's clock from the time service's reply.
inline constexpr int kNetworkTimeItem = 3;

// Number of "%s" in a format.
constexpr int CountPlaceholders(std::string_view format) {
    int count = 0;
    for (size_t at = format.find("%s"); at != std::string_view::npos;
         at = format.find("%s", at + 2)) {
        ++count;
    }
    return count;
}

}  // namespace karvex
