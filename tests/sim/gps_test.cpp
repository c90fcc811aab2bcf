// GPS positioning: start and stop events, and NMEA sentences with valid checksums at the
// configured interval while it runs.
#include <vector>

#include "sim/nmea.h"
#include "tests/sim/board_fixture.h"

namespace karvex::simtest {
namespace {

// The sentences in `text`, each "$...*hh" without its line end.
std::vector<std::string> Sentences(const std::string& text) {
    std::vector<std::string> found;
    for (size_t at = text.find('$'); at != std::string::npos; at = text.find('$', at + 1)) {
        const size_t end = text.find("\r\n", at);
        if (end == std::string::npos) break;
        found.push_back(text.substr(at, end - at));
    }
    return found;
}

TEST_F(BoardTest, GpsEventsAndSentences) {
    board.SetGpsInterval(Ms(60));
    EchoOff();
    board.ClearRecords();
    ASSERT_TRUE(device->Write("AT+GPSSTART=0\r"));
    std::string got = device->ReadCount(200, Ms(3000));
    while (Sentences(got).size() < 4) {
        const std::string more = device->ReadCount(1, Ms(3000));
        ASSERT_FALSE(more.empty()) << got;
        got += more;
    }
    const std::string start = "\r\nOK\r\n\r\n+GPSEVSTART: 1\r\n\r\n+GPSEVPOS: 3\r\n\r\n$GPGGA,";
    EXPECT_EQ(got.substr(0, start.size()), start);
    EXPECT_EQ(got.find("+GPSEVPOS"), got.rfind("+GPSEVPOS"));  // reported once
    for (const std::string& s : Sentences(got)) {
        ASSERT_GT(s.size(), 4u);
        const std::string body = s.substr(1, s.size() - 4);
        EXPECT_EQ(s.substr(s.size() - 3), "*" + sim::NmeaChecksum(body)) << s;
        EXPECT_EQ(s.rfind("$GPGGA,", 0), 0u) << s;
    }
    // The sentences keep their interval: no two come in a burst. The board makes each one on its
    // 60 ms schedule but stamps it when the write happens, and a write held up by a loaded machine
    // brings the next stamp closer; half the interval leaves room for that and still fails a
    // board that sends them back to back.
    std::vector<sim::Clock::time_point> times;
    for (const auto& chunk : board.Sent()) {
        if (chunk.bytes.find("$GPGGA") != std::string::npos) times.push_back(chunk.at);
    }
    ASSERT_GE(times.size(), 3u);
    for (size_t i = 1; i < times.size(); ++i) EXPECT_GE(times[i] - times[i - 1], Ms(30)) << i;

    ASSERT_TRUE(device->Write("AT+GPSSTOP\r"));
    got = device->ReadUntil("+GPSEVSTOP: 1\r\n", Ms(3000));
    const size_t stop = got.find("\r\nOK\r\n\r\n+GPSEVSTOP: 1\r\n");
    ASSERT_NE(stop, std::string::npos) << got;
    EXPECT_EQ(got.find('$', stop), std::string::npos);
    EXPECT_EQ(device->ReadFor(Ms(200)), "");  // no more sentences
    EXPECT_FALSE(board.GpsRunning());
}

TEST(Nmea, ChecksumOfAKnownSentence) {
    EXPECT_EQ(sim::NmeaChecksum("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"),
              "47");
}

}  // namespace
}  // namespace karvex::simtest
