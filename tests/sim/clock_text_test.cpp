// The time service's line (Japan time, fixed English names) and the module's running clock.
#include <gtest/gtest.h>
#include <locale.h>

#include "sim/clock_text.h"

namespace karvex::simtest {
namespace {

using namespace std::chrono;

system_clock::time_point Utc(int y, unsigned mo, unsigned d, int h, int mi, int s) {
    return sys_days{year{y} / month{mo} / day{d}} + hours{h} + minutes{mi} + seconds{s};
}

struct LineCase {
    system_clock::time_point utc;
    const char* line;
};

TEST(JapanTimeLine, AsctimeLayoutInJapan) {
    const LineCase cases[] = {
        {Utc(2026, 3, 7, 0, 5, 30), "Sat Mar  7 09:05:30 2026 JST"},
        {Utc(2026, 11, 16, 14, 59, 58), "Mon Nov 16 23:59:58 2026 JST"},
        {Utc(2026, 12, 31, 15, 0, 0), "Fri Jan  1 00:00:00 2027 JST"},  // a new year in Japan
        {Utc(2028, 2, 28, 20, 0, 0), "Tue Feb 29 05:00:00 2028 JST"},
        {Utc(2026, 3, 6, 23, 59, 59) + milliseconds(999), "Sat Mar  7 08:59:59 2026 JST"},
    };
    for (const LineCase& c : cases) EXPECT_EQ(sim::JapanTimeLine(c.utc), c.line);
}

TEST(JapanTimeLine, IgnoresLocaleAndZone) {
    setenv("TZ", "America/New_York", 1);
    setlocale(LC_ALL, "fr_FR.UTF-8");  // may be missing; then nothing changes
    EXPECT_EQ(sim::JapanTimeLine(Utc(2026, 3, 7, 0, 5, 30)), "Sat Mar  7 09:05:30 2026 JST");
    setlocale(LC_ALL, "C");
    unsetenv("TZ");
}

TEST(ModuleClock, RunsOnFromTheValueSet) {
    struct Case {
        const char* set;
        seconds later;
        const char* shows;
    };
    const Case cases[] = {
        {"26/03/07,09:05:30+09", seconds{0}, "26/03/07,09:05:30+09"},
        {"26/03/07,09:05:30+09", seconds{31}, "26/03/07,09:06:01+09"},
        {"26/12/31,23:59:59-04", seconds{1}, "27/01/01,00:00:00-04"},
        {"28/02/28,23:00:00+36", hours{1}, "28/02/29,00:00:00+36"},
        {"99/12/31,23:59:59+00", seconds{1}, "00/01/01,00:00:00+00"},
    };
    for (const Case& c : cases) {
        sim::ModuleClock clock;
        const auto t = sim::Clock::now();
        ASSERT_TRUE(clock.Set(c.set, t)) << c.set;
        EXPECT_EQ(clock.Value(t + c.later + milliseconds(500)), c.shows) << c.set;
    }
}

TEST(ModuleClock, RefusesMalformedValuesAndKeepsTheOld) {
    const char* bad[] = {
        "",
        "26/03/07,09:05:30",
        "26/03/07,09:05:30+0",
        "26/03/07,09:05:30+099",
        "26/03/07 09:05:30+09",
        "26-03-07,09:05:30+09",
        "26/00/07,09:05:30+09",
        "26/04/31,09:05:30+09",
        "26/03/07,24:00:00+09",
        "26/03/07,09:05:60+09",
        "26/03/07,09:05:30*09",
        "26/03/07,09:05:30+97",
        "2a/03/07,09:05:30+09",
        "26/03/ 7,09:05:30+09",
    };
    sim::ModuleClock clock;
    const auto t = sim::Clock::now();
    ASSERT_TRUE(clock.Set("26/03/07,09:05:30+09", t));
    for (const char* value : bad) {
        EXPECT_FALSE(clock.Set(value, t)) << value;
        EXPECT_EQ(clock.Value(t), "26/03/07,09:05:30+09") << value;
    }
}

}  // namespace
}  // namespace karvex::simtest
