// The device going away and coming back, and the dosdevices links that name it.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/sim/board_fixture.h"

namespace karvex::simtest {
namespace {

namespace fs = std::filesystem;

class TempDir {
  public:
    TempDir() {
        char name[] = "/tmp/karvex-sim-XXXXXX";
        path_ = mkdtemp(name) ? name : "";
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string Link(int n) const { return path_ + "/dosdevices/com" + std::to_string(n); }

  private:
    std::string path_;
};

std::string Target(const std::string& link) {
    std::error_code ec;
    return fs::read_symlink(link, ec).string();
}

// The program's side sees the device fail: a hang-up or error on poll, and reads and writes that
// fail.
void ExpectGone(Device& device) {
    EXPECT_NE(device.PollEvents(Ms(1000)) & (POLLHUP | POLLERR), 0);
    char byte;
    EXPECT_LE(::read(device.fd(), &byte, 1), 0);
    EXPECT_EQ(::write(device.fd(), "AT\r", 3), -1);
}

TEST_F(BoardTest, VanishAndReappearRepointsTheLink) {
    TempDir dir;
    ASSERT_TRUE(board.LinkCom(dir.path(), 7));
    const std::string first = board.DevicePath();
    EXPECT_EQ(Target(dir.Link(7)), first);

    board.Vanish();
    EXPECT_TRUE(board.Vanished());
    ExpectGone(*device);

    board.Reappear();
    EXPECT_FALSE(board.Vanished());
    const std::string second = board.DevicePath();
    EXPECT_EQ(Target(dir.Link(7)), second);
    // The old descriptor stays dead; the name leads to a working device.
    EXPECT_EQ(::write(device->fd(), "AT\r", 3), -1);
    device->Close();
    Device again(dir.Link(7));
    ASSERT_TRUE(again.IsOpen());
    ASSERT_TRUE(again.Write("AT\r"));
    EXPECT_EQ(again.ReadCount(9, Ms(2000)), "AT\r\r\nOK\r\n");
}

TEST_F(BoardTest, VanishBehaviourDropsTheDeviceOnItsCommand) {
    board.SetBehaviour("AT+CGATT=1", {.kind = sim::Behaviour::Kind::Vanish});
    ASSERT_TRUE(device->Write("AT+CGATT=1\r"));
    ExpectGone(*device);
    EXPECT_TRUE(board.Vanished());
    EXPECT_TRUE(board.Received().ends_with("AT+CGATT=1\r"));
    board.Send("lost");  // nobody there: dropped, no harm
    board.Reappear();
    Device again(board.DevicePath());
    ASSERT_TRUE(again.Write("AT\r"));
    EXPECT_EQ(again.ReadCount(9, Ms(2000)), "AT\r\r\nOK\r\n");
}

TEST_F(BoardTest, MessageBeingTypedIsLostWithTheDevice) {
    EchoOff();
    Exchange("AT+CMGF=1\r", 6);
    ASSERT_EQ(Exchange("AT+CMGS=\"" + board.OwnNumber() + "\"\r", 4), "\r\n> ");
    ASSERT_TRUE(device->Write("half a mess"));
    ASSERT_TRUE(board.WaitForReceived("half a mess", Ms(2000)));
    board.Vanish();
    board.Reappear();
    Device again(board.DevicePath());
    ASSERT_TRUE(again.Write("age\x1A\rAT\r"));
    EXPECT_EQ(again.ReadCount(15, Ms(2000)), "\r\nERROR\r\n\r\nOK\r\n");
    EXPECT_EQ(board.StoredMessages(), 0u);
}

TEST_F(BoardTest, ReopenedManyTimes) {
    // The program closes and re-opens the device; the board notices nothing and keeps answering.
    device->Close();
    for (int i = 0; i < 20; ++i) {
        Device d(board.DevicePath());
        ASSERT_TRUE(d.IsOpen()) << "round " << i;
        ASSERT_TRUE(d.Write("AT\r"));
        ASSERT_EQ(d.ReadCount(9, Ms(2000)), "AT\r\r\nOK\r\n") << "round " << i;
    }
}

// A real device forgets its exclusive-use flag on its last close; the board, which holds the
// terminal open itself, clears it when the program closes, or a user without privileges could
// never open the device a second time (root is exempt from the flag, so check the flag itself).
TEST_F(BoardTest, ExclusiveUseEndsWithTheProgramsClose) {
    device->Close();
    int fd = ::open(board.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ioctl(fd, TIOCEXCL), 0);
    ::close(fd);  // without TIOCNXCL
    int exclusive = 1;
    const auto deadline = Steady::now() + Ms(2000);
    while (exclusive != 0 && Steady::now() < deadline) {
        std::this_thread::sleep_for(Ms(5));
        fd = ::open(board.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
        ::close(fd);
    }
    EXPECT_EQ(exclusive, 0);
}

TEST(BoardLinks, PlacedReplacedAndRemoved) {
    TempDir dir;
    {
        sim::Board board;
        // Something already stands at the name: it is replaced.
        fs::create_directories(dir.path() + "/dosdevices");
        fs::create_symlink("/dev/null", dir.Link(1));
        ASSERT_TRUE(board.LinkCom(dir.path(), 1));
        ASSERT_TRUE(board.LinkCom(dir.path(), 2));
        EXPECT_EQ(Target(dir.Link(1)), board.DevicePath());
        EXPECT_EQ(Target(dir.Link(2)), board.DevicePath());
        // Someone else re-points com2: the board leaves it be when it goes.
        fs::remove(dir.Link(2));
        fs::create_symlink("/dev/null", dir.Link(2));

        EXPECT_FALSE(board.LinkCom(dir.path(), 0));
        std::ofstream(dir.path() + "/plain") << "x";
        EXPECT_FALSE(board.LinkCom(dir.path() + "/plain", 1));  // not a directory
    }
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(dir.Link(1))));
    EXPECT_EQ(Target(dir.Link(2)), "/dev/null");
    // No temporary names left behind.
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path() + "/dosdevices")) {
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
}

}  // namespace
}  // namespace karvex::simtest
