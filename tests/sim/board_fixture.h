// A simulated board with the program's side of its device already open.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sim/board.h"
#include "tests/sim/device.h"

namespace karvex::simtest {

inline constexpr const char* kTimeLine = "Sat Mar  7 09:05:30 2026 JST";

class BoardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        board.SetNetworkDelay(Ms(20));
        board.SetTimeLine(kTimeLine);
        device = std::make_unique<Device>(board.DevicePath());
        ASSERT_TRUE(device->IsOpen()) << board.DevicePath();
    }

    // Sends `command` and collects the answer: `expected` bytes' worth, and whatever follows
    // within a short quiet span (so that an answer that is too long shows up too).
    std::string Exchange(const std::string& command, size_t expected) {
        EXPECT_TRUE(device->Write(command));
        std::string got = device->ReadCount(expected, Ms(3000));
        return got + device->ReadFor(Ms(40));
    }
    std::string Exchange(const std::string& command, const std::string& expected) {
        return Exchange(command, expected.size());
    }
    // Sends `command` and reads `expected` bytes, without waiting for a quiet span.
    std::string Ask(const std::string& command, size_t expected) {
        EXPECT_TRUE(device->Write(command));
        return device->ReadCount(expected, Ms(3000));
    }
    void EchoOff() { ASSERT_EQ(Exchange("ATE0\r", 11), "ATE0\r\r\nOK\r\n"); }

    sim::Board board;
    std::unique_ptr<Device> device;
};

}  // namespace karvex::simtest
