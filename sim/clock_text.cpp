#include "sim/clock_text.h"

#include <array>
#include <cstdio>

namespace karvex::sim {

using namespace std::chrono;

namespace {

constexpr std::array<const char*, 7> kWeekdays{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr hours kJapanOffset{9};

struct Fields {
    year_month_day date;
    hh_mm_ss<seconds> time;
};

Fields Split(sys_seconds when) {
    const sys_days day = floor<days>(when);
    return {year_month_day{day}, hh_mm_ss<seconds>{when - day}};
}

// Two digits at `pos`, or -1.
int TwoDigits(std::string_view text, size_t pos) {
    const char a = text[pos];
    const char b = text[pos + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9') return -1;
    return (a - '0') * 10 + (b - '0');
}

}  // namespace

std::string JapanTimeLine(system_clock::time_point when) {
    const Fields f = Split(floor<seconds>(when) + kJapanOffset);
    const weekday wd{sys_days{f.date}};
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %2u %02d:%02d:%02d %04d JST",
                  kWeekdays[wd.c_encoding()], kMonths[unsigned{f.date.month()} - 1],
                  unsigned{f.date.day()}, static_cast<int>(f.time.hours().count()),
                  static_cast<int>(f.time.minutes().count()),
                  static_cast<int>(f.time.seconds().count()), int{f.date.year()});
    return text;
}

ModuleClock::ModuleClock()
    : base_(floor<seconds>(system_clock::now()) + kJapanOffset),
      setAt_(Clock::now()),
      zone_("+36") {}

bool ModuleClock::Set(std::string_view value, Clock::time_point now) {
    // yy/MM/dd,hh:mm:ss±zz
    constexpr std::string_view kLayout = "00/00/00,00:00:00+00";
    if (value.size() != kLayout.size()) return false;
    for (size_t i = 0; i < kLayout.size(); ++i) {
        if (kLayout[i] != '0' && kLayout[i] != '+' && value[i] != kLayout[i]) return false;
    }
    const int yy = TwoDigits(value, 0), mo = TwoDigits(value, 3), dd = TwoDigits(value, 6);
    const int hh = TwoDigits(value, 9), mi = TwoDigits(value, 12), ss = TwoDigits(value, 15);
    const int zz = TwoDigits(value, 18);
    const char sign = value[17];
    if (yy < 0 || mo < 0 || dd < 0 || hh < 0 || mi < 0 || ss < 0 || zz < 0) return false;
    if ((sign != '+' && sign != '-') || zz > 96) return false;  // zone: quarter hours, +-24 h
    if (hh > 23 || mi > 59 || ss > 59) return false;
    const year_month_day date{year{2000 + yy}, month{static_cast<unsigned>(mo)},
                              day{static_cast<unsigned>(dd)}};
    if (!date.ok()) return false;
    base_ = sys_days{date} + hours{hh} + minutes{mi} + seconds{ss};
    setAt_ = now;
    zone_ = std::string(value.substr(17));
    return true;
}

std::string ModuleClock::Value(Clock::time_point now) const {
    const auto elapsed = now > setAt_ ? floor<seconds>(now - setAt_) : seconds{0};
    const Fields f = Split(base_ + elapsed);
    char text[40];
    std::snprintf(text, sizeof text, "%02d/%02u/%02u,%02d:%02d:%02d%s", int{f.date.year()} % 100,
                  unsigned{f.date.month()}, unsigned{f.date.day()},
                  static_cast<int>(f.time.hours().count()),
                  static_cast<int>(f.time.minutes().count()),
                  static_cast<int>(f.time.seconds().count()), zone_.c_str());
    return text;
}

}  // namespace karvex::sim
