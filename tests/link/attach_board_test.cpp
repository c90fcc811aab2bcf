// scripts/attach-board.sh against pseudo-terminals: the link it writes and the sentence for each
// thing that commonly keeps a board from opening.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "link/serial_port.h"
#include "support/lock_dir.h"
#include "support/pty_pair.h"

namespace {

namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string output;
};

class AttachBoard : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/karvex-attach-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        fs::create_directories(dir_ / "by-id");
        fs::permissions(dir_, fs::perms::all);  // a user without rights writes links here too
        termios raw = karvex::testing::RawSettings();
        int slave = -1;
        char name[256] = {};
        ASSERT_EQ(openpty(&master_, &slave, name, &raw, nullptr), 0);
        ::close(slave);  // nobody holds the device; the master keeps it in existence
        device_ = name;
    }
    void TearDown() override {
        ::close(master_);
        fs::remove_all(dir_);
    }

    // Runs the script as `prefix` (e.g. another user) with the test's folders; `script` empty: the
    // checkout's script, told to link into the test's folder.
    Result Run(const std::string& args, const std::string& prefix = "",
               const std::string& script = "") const {
        const std::string invocation = script.empty() ? KARVEX_SOURCE_DIR
                                                            "/scripts/attach-board.sh --dir " +
                                                            (dir_ / "dosdevices").string()
                                                      : script;
        const std::string command = prefix + " env KARVEX_LOCK_DIR=" + locks_.Path().string() +
                                    " KARVEX_BY_ID_DIR=" + (dir_ / "by-id").string() +
                                    " KARVEX_MODEM_MANAGER=" + ManagerName() + " " + invocation +
                                    " " + args + " 2>&1";
        Result result;
        FILE* out = popen(command.c_str(), "r");
        if (out == nullptr) return result;
        char buffer[4096];
        for (size_t n; (n = fread(buffer, 1, sizeof buffer, out)) > 0;)
            result.output.append(buffer, n);
        const int status = pclose(out);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return result;
    }
    // A name of this test's own for the modem manager, so that parallel runs and a real manager
    // on the machine never show up in each other's results.
    static std::string ManagerName() { return "mm-" + std::to_string(getpid()); }
    std::string LinkTarget(int n) const {
        std::error_code ec;
        return fs::read_symlink(dir_ / "dosdevices" / ("com" + std::to_string(n)), ec).string();
    }

    karvex::testing::ScopedLockDir locks_;
    fs::path dir_;
    int master_ = -1;
    std::string device_;
};

TEST_F(AttachBoard, RefusesWhatIsNoSerialDeviceAndLinksNothing) {
    struct Case {
        std::string args;
        std::string says;
    };
    const Case cases[] = {
        {"/dev/karvex-no-such-board 3", "/dev/karvex-no-such-board does not exist"},
        {"/etc/hostname 3", "is no serial device"},
        {device_ + " 100", "give 1 to 99"},
        {device_ + " 0", "give 1 to 99"},
    };
    for (const Case& c : cases) {
        const Result r = Run(c.args);
        EXPECT_EQ(r.status, 1) << c.args << "\n" << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.args << "\n" << r.output;
        EXPECT_FALSE(fs::exists(dir_ / "dosdevices")) << c.args;
    }
}

TEST_F(AttachBoard, LinksAFreeDeviceByItsStableNameWhenItHasOne) {
    Result r = Run(device_ + " 3");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(LinkTarget(3), device_);
    const fs::path byId = dir_ / "by-id" / "usb-Maker_Board_0001-if00-port0";
    fs::create_symlink(device_, byId);
    r = Run(device_ + " 3");  // the link is replaced
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(LinkTarget(3), byId.string());
}

// The script links where the programs that open COMn look (the test checks with their own
// resolver): installed as <prefix>/bin/karvex-attach-board, in the user's configuration folder,
// made private, and never as root; in a checkout, where every build of it looks.
TEST_F(AttachBoard, LinksWhereTheProgramsLookAndRootNeverIntoAHomeFolder) {
    const fs::path bin = dir_ / "usr" / "bin";
    fs::create_directories(bin);
    fs::create_directories(dir_ / "usr" / "share" / "karvex");
    fs::copy_file(KARVEX_SOURCE_DIR "/scripts/attach-board.sh", bin / "karvex-attach-board");
    const fs::path src = dir_ / "src";
    fs::create_directories(src / "scripts");
    std::ofstream(src / "CMakeLists.txt");
    fs::copy_file(KARVEX_SOURCE_DIR "/scripts/attach-board.sh", src / "scripts/attach-board.sh");
    const fs::path home = dir_ / "home";
    setenv("HOME", home.c_str(), 1);
    ASSERT_EQ(chmod(device_.c_str(), 0666), 0);  // whoever runs the script may use it
    const bool root = getuid() == 0;
    const std::string user = root ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
    struct Case {
        const char* name;
        std::string prefix;  // who runs the script
        fs::path script;
        std::string xdg;   // XDG_CONFIG_HOME, unset when empty
        fs::path program;  // the folder of a program that opens COM7
        fs::path folder;   // where the link goes; empty: refused
        bool privateFolder;
    } cases[] = {
        {"installed, as root", "", bin / "karvex-attach-board", "", bin, "", false},
        {"XDG_CONFIG_HOME set", user, bin / "karvex-attach-board", (dir_ / "cfg").string(), bin,
         dir_ / "cfg" / "karvex" / "dosdevices", true},
        {"a relative XDG_CONFIG_HOME counts as unset", user, bin / "karvex-attach-board", "cfg",
         bin, home / ".config" / "karvex" / "dosdevices", true},
        {"a checkout, for karvex-run of another build", "", src / "scripts/attach-board.sh", "",
         src / "build/asan/cli", src / "build/default/window/dosdevices", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.folder.empty() && !root) continue;  // (we are that user)
        c.xdg.empty() ? unsetenv("XDG_CONFIG_HOME") : setenv("XDG_CONFIG_HOME", c.xdg.c_str(), 1);
        const Result r = Run(device_ + " 7",
                             c.prefix + " env HOME=" + home.string() + " XDG_CONFIG_HOME=" + c.xdg,
                             c.script.string());
        if (c.folder.empty()) {
            EXPECT_EQ(r.status, 1) << r.output;
            EXPECT_NE(r.output.find("as root this would write into"), std::string::npos);
            EXPECT_FALSE(fs::exists(home)) << r.output;
            continue;
        }
        EXPECT_EQ(r.status, 0) << r.output;
        const fs::path link = c.folder / "com7";
        EXPECT_EQ(karvex::ResolveDevicePath("\\\\.\\COM7", c.program.string()), link.string());
        std::error_code ec;
        EXPECT_EQ(fs::read_symlink(link, ec).string(), device_);
        if (c.privateFolder) {
            EXPECT_EQ(
                fs::status(c.folder).permissions() & (fs::perms::group_all | fs::perms::others_all),
                fs::perms::none);
        }
    }
    EXPECT_FALSE(fs::exists(dir_ / "dosdevices"));
}

TEST_F(AttachBoard, NamesTheProgramThatHoldsTheDevice) {
    std::string comm;
    std::getline(std::ifstream("/proc/self/comm"), comm);
    const std::string pid = std::to_string(getpid());
    // An open descriptor of ours, then (closed again) a lock file naming us.
    const int fd = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    Result r = Run(device_ + " 4");
    ::close(fd);
    EXPECT_EQ(r.status, 3) << r.output;
    EXPECT_NE(r.output.find("open in another program: " + comm + " (PID " + pid + ")"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(LinkTarget(4), device_);  // linked all the same, for when it lets go

    // A lock file naming us, seen by us and, where we are root, by another user: for that user
    // kill -0 fails (EPERM), and a 0600 lock cannot be read.
    const fs::path lock = locks_.Path() / ("LCK.." + device_.substr(5).replace(3, 1, "_"));
    std::ofstream(lock) << "      " << pid << "\n";
    fs::permissions(locks_.Path(), fs::perms::all | fs::perms::sticky_bit);  // as /run/lock is
    fs::permissions(dir_ / "dosdevices", fs::perms::all);
    const std::string other = "setpriv --reuid=65534 --regid=65534 --clear-groups";
    const std::string lockedByUs = "locked by " + comm + " (PID " + pid + ")";
    const struct {
        std::string prefix;
        fs::perms mode;
        std::string says;
    } cases[] = {
        {"", fs::perms::owner_read | fs::perms::owner_write, lockedByUs},
        {other, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read,
         lockedByUs},
        {other, fs::perms::owner_read | fs::perms::owner_write, "which nobody cannot read"},
    };
    for (const auto& c : cases) {
        if (!c.prefix.empty() && getuid() != 0) continue;  // another user needs root here
        fs::permissions(lock, c.mode);
        r = Run(device_ + " 4", c.prefix);
        EXPECT_EQ(r.status, 3) << c.prefix << "\n" << r.output;
        EXPECT_NE(r.output.find(c.says), std::string::npos) << c.prefix << "\n" << r.output;
    }
}

TEST_F(AttachBoard, ARunningModemManagerGetsTheUdevRuleToLeaveTheDeviceAlone) {
    const fs::path fake = dir_ / ManagerName();
    fs::copy_file("/bin/sleep", fake);
    const pid_t manager = fork();
    if (manager == 0) {
        execl(fake.c_str(), fake.c_str(), "60", static_cast<char*>(nullptr));
        _exit(127);
    }
    // The process carries its name once exec is done.
    const std::string commPath = "/proc/" + std::to_string(manager) + "/comm";
    std::string comm;
    for (int i = 0; i < 2000 && comm != ManagerName(); ++i) {
        std::ifstream in(commPath);
        std::getline(in, comm);
        if (comm != ManagerName()) usleep(1000);
    }
    ASSERT_EQ(comm, ManagerName());
    const Result r = Run(device_ + " 5");
    kill(manager, SIGKILL);
    waitpid(manager, nullptr, 0);
    EXPECT_EQ(r.status, 3) << r.output;
    for (const std::string& says :
         {ManagerName() + " (PID " + std::to_string(manager) + ")",
          std::string("/etc/udev/rules.d/99-karvex-board.rules"),
          std::string("ENV{ID_MM_DEVICE_IGNORE}=\"1\""), std::string("udevadm control --reload")}) {
        EXPECT_NE(r.output.find(says), std::string::npos) << says << "\n" << r.output;
    }
}

TEST_F(AttachBoard, AUserWithoutAccessIsToldWhichGroupToJoin) {
    if (getuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0) {
        GTEST_SKIP() << "needs root and setpriv to run the script as a user without access";
    }
    ASSERT_EQ(chmod(device_.c_str(), 0660), 0);
    ASSERT_EQ(chown(device_.c_str(), 0, 0), 0);
    const Result r = Run(device_ + " 6", "setpriv --reuid=65534 --regid=65534 --clear-groups");
    EXPECT_EQ(r.status, 3) << r.output;
    EXPECT_NE(r.output.find("may not read and write " + device_), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("sudo usermod -aG root"), std::string::npos) << r.output;
}

}  // namespace
