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
const std::string kAnotherUser = "setpriv --reuid=65534 --regid=65534 --clear-groups";

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
        std::string invocation = script;
        if (invocation.empty()) {
            // Another user may not reach into the checkout (a clone in a private folder, as
            // `mktemp -d` makes it): that user runs a copy in the test's open folder.
            fs::path own = KARVEX_SOURCE_DIR "/scripts/attach-board.sh";
            if (!prefix.empty()) {
                fs::copy_file(own, dir_ / "attach-board.sh", fs::copy_options::overwrite_existing);
                own = dir_ / "attach-board.sh";
                fs::permissions(own, fs::perms(0755));
            }
            invocation = own.string() + " --dir " + (dir_ / "dosdevices").string();
        }
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
        {"rfc2217://bench7 3", "is no network port"},
        {"rfc2217://bench7:65536 3", "is no network port"},
        {"ftp://bench7:21 3", "is no network port"},
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

TEST_F(AttachBoard, LinksABoardOnAnotherMachineByItsAddress) {
    for (const std::string address : {"rfc2217://bench7:4001", "tcp://[::1]:4002"}) {
        const Result r = Run(address + " 5");
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(LinkTarget(5), address);
    }
}

// Installed as <prefix>/bin/karvex-attach-board (outside any checkout), the script links where
// the installed program looks: the user's configuration folder, made private; never as root.
// In a checkout, it links where karvex-run of every build of it looks.
TEST_F(AttachBoard, LinksWhereTheProgramLooksAndNeverAsRootIntoAHomeFolder) {
    const fs::path bin = dir_ / "usr" / "bin";
    fs::create_directories(bin);
    fs::copy_file(KARVEX_SOURCE_DIR "/scripts/attach-board.sh", bin / "karvex-attach-board");
    const fs::path home = dir_ / "home";
    ASSERT_EQ(chmod(device_.c_str(), 0666), 0);  // for whoever runs the script
    const std::string user = getuid() == 0 ? kAnotherUser : "";
    struct Case {
        const char* name;
        std::string environment;
        fs::path folder;
    } cases[] = {
        {"XDG_CONFIG_HOME set", "XDG_CONFIG_HOME=" + (dir_ / "cfg").string(),
         dir_ / "cfg" / "karvex" / "dosdevices"},
        {"a relative XDG_CONFIG_HOME counts as unset", "XDG_CONFIG_HOME=cfg",
         home / ".config" / "karvex" / "dosdevices"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Result r =
            Run(device_ + " 7", user + " env HOME=" + home.string() + " " + c.environment,
                (bin / "karvex-attach-board").string());
        EXPECT_EQ(r.status, 0) << r.output;
        std::error_code ec;
        EXPECT_EQ(fs::read_symlink(c.folder / "com7", ec).string(), device_);
        EXPECT_EQ(
            fs::status(c.folder).permissions() & (fs::perms::group_all | fs::perms::others_all),
            fs::perms::none);
    }
    EXPECT_FALSE(fs::exists(dir_ / "dosdevices"));
    if (getuid() == 0) {
        const Result r = Run(device_ + " 7", "env XDG_CONFIG_HOME=" + (dir_ / "root").string(),
                             (bin / "karvex-attach-board").string());
        EXPECT_EQ(r.status, 1) << r.output;
        EXPECT_NE(r.output.find("as root this would write into"), std::string::npos) << r.output;
        EXPECT_FALSE(fs::exists(dir_ / "root"));
    }
    const fs::path src = dir_ / "src";
    fs::create_directories(src / "scripts");
    std::ofstream(src / "CMakeLists.txt");
    fs::copy_file(KARVEX_SOURCE_DIR "/scripts/attach-board.sh", src / "scripts/attach-board.sh");
    EXPECT_EQ(Run(device_ + " 7", "", (src / "scripts/attach-board.sh").string()).status, 0);
    std::error_code ec;
    const std::string run = (src / "build/asan/cli").string();
    EXPECT_EQ(fs::read_symlink(karvex::ResolveDevicePath("\\\\.\\COM7", run), ec), device_);
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

    const fs::path lock = locks_.Path() / ("LCK.." + device_.substr(5).replace(3, 1, "_"));
    std::ofstream(lock) << "      " << pid << "\n";
    r = Run(device_ + " 4");
    EXPECT_EQ(r.status, 3) << r.output;
    EXPECT_NE(r.output.find("locked by " + comm + " (PID " + pid + ")"), std::string::npos)
        << r.output;
    if (getuid() != 0) return;
    // Another user's view: kill -0 fails (EPERM), and a 0600 lock cannot be read.
    fs::permissions(locks_.Path(), fs::perms::all | fs::perms::sticky_bit);  // as /run/lock is
    fs::permissions(dir_ / "dosdevices", fs::perms::all);
    for (const auto& [mode, says] :
         {std::pair(fs::perms(0644), "locked by " + comm),
          std::pair(fs::perms(0600), std::string("nobody cannot read"))}) {
        fs::permissions(lock, mode);
        r = Run(device_ + " 4", kAnotherUser);
        EXPECT_EQ(r.status, 3) << r.output;
        EXPECT_NE(r.output.find(says), std::string::npos) << r.output;
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
    const Result r = Run(device_ + " 6", kAnotherUser);
    EXPECT_EQ(r.status, 3) << r.output;
    EXPECT_NE(r.output.find("may not read and write " + device_), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("sudo usermod -aG root"), std::string::npos) << r.output;
}

}  // namespace
