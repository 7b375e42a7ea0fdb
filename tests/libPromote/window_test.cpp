// The progress window: the lines a promotion sends to the window named by
// the port file, the start of the window program when there is no port file
// (once, also when two processes start at the same moment), starts that
// fail, port files that are not to be trusted, and a window that has gone.
#include "libant.h"
#include "promote_env.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

extern char **environ;

namespace {

using namespace promote_test;
using namespace std::chrono_literals;

class Window : public PromoteTest {
protected:
    void SetUp() override
    {
        PromoteTest::SetUp();
        pro_SetKestrunWait(200);
    }
    void TearDown() override
    {
        // Ends every window these tests started.
        std::ifstream pids(root.file("window.pids"));
        for (pid_t pid; pids >> pid;)
            kill(pid, SIGTERM);
        pro_SetKestrunWait(2000);
        PromoteTest::TearDown();
    }

    std::string PortFile() const { return root.file("tmp") + "/" + GetUserName() + ".NamedPipe"; }
    void WritePortFile(const std::string &text, mode_t mode = 0600) const
    {
        kombra_test::WriteFile(PortFile(), text);
        chmod(PortFile().c_str(), mode);
    }
    // A port nothing listens on.
    static int FreePort()
    {
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
        socklen_t size = sizeof a;
        getsockname(s, reinterpret_cast<sockaddr *>(&a), &size);
        close(s);
        return ntohs(a.sin_port);
    }
    // Starts the stand-in window by hand (it notes its process id itself).
    void StartWindow() const
    {
        const std::string program = kombra_test::ToolsDir() + "/standins/kestrun_standin";
        char *argv[] = {const_cast<char *>("Kestrun"), nullptr};
        pid_t pid = 0;
        ASSERT_EQ(0, posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ));
        std::this_thread::sleep_for(100ms);
        int status = 0;
        ASSERT_EQ(0, waitpid(pid, &status, WNOHANG)) << "the window ended at once";
    }
    // The lines the window received, once there are count of them (at most 5 s).
    std::vector<std::string> Received(size_t count) const
    {
        std::vector<std::string> lines;
        for (int i = 0; i < 500; ++i) {
            lines.clear();
            std::ifstream in(root.file("window.log"));
            for (std::string line; std::getline(in, line);)
                lines.push_back(line);
            if (lines.size() >= count)
                break;
            std::this_thread::sleep_for(10ms);
        }
        return lines;
    }
    size_t WindowsStarted() const
    {
        std::ifstream in(root.file("window.pids"));
        size_t n = 0;
        for (std::string line; std::getline(in, line);)
            ++n;
        return n;
    }
    static std::string Line(char state, char outcome, int index, const char *name, const char *server)
    {
        char text[256];
        std::snprintf(text, sizeof text, "List %c %8ld %3d %c - %s from %s", state, static_cast<long>(getpid()), index,
                      outcome, name, server);
        return text;
    }

    kombra_test::ScopedEnv windowLog{"KOMBRA_STANDIN_WINDOW_LOG", root.file("window.log")};
    kombra_test::ScopedEnv windowPids{"KOMBRA_STANDIN_PIDFILE", root.file("window.pids")};
    kombra_test::ScopedEnv idle{"KOMBRA_STANDIN_IDLE_MS", "3000"};
};

// One entry fetched at the second server.
TEST_F(Window, PromotionSendsItsLinesToTheWindowOfThePortFile)
{
    WritePortFile(std::to_string(FreePort()) + "\n");
    StartWindow();
    Configure({"srvA", "srvB"});
    OnServer("srvB", "CP3DRH20030321400H");
    OpenCatalog();
    Promote p("UNKNOWN", sFalse);
    p.SetBTime(2003, 32, H(14, 30));
    p.SetETime(2003, 32, H(14, 40));
    p.AddSource(kKey);
    ASSERT_EQ(1, p.BuildDBList(PRO_HEADER, OFFLINE, 1000));
    EXPECT_EQ(1, p.PromoteList());
    const char *name = "CP3DRH20030321400H";
    EXPECT_EQ((std::vector<std::string>{"PercentSetup   1", Line('+', 'P', 0, name, "srvA"),
                                        Line('-', 'E', 0, name, "srvA"), Line('+', 'P', 0, name, "srvB"),
                                        Line('-', 'C', 0, name, "srvB"), "PercentDec"}),
              Received(6));
    EXPECT_EQ(1u, WindowsStarted());  // the one started by hand
}

// No port file and nothing on the default port: the port file gets it, the
// window program is started and reached there.
TEST_F(Window, StartsTheWindowOnTheDefaultPort)
{
    kombra_test::ScopedEnv home("KOMBRA_HOME", root.file("home"));
    std::filesystem::create_directories(root.path() / "home/bin");
    std::filesystem::create_symlink(kombra_test::ToolsDir() + "/standins/kestrun_standin", root.file("home/bin/Kestrun"));
    testing::internal::CaptureStderr();
    const int fd = _StartKestrun();
    const std::string errors = testing::internal::GetCapturedStderr();
    ASSERT_GT(fd, 0) << errors;
    EXPECT_NE(std::string::npos, errors.find("KESTRUN - connect1"));
    EXPECT_EQ("11012\n", kombra_test::ReadFile(PortFile()));
    struct stat st {};
    ASSERT_EQ(0, stat(PortFile().c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
    EXPECT_EQ(3, send(fd, "hi\n", 3, MSG_NOSIGNAL));
    close(fd);
    EXPECT_EQ((std::vector<std::string>{"hi"}), Received(1));
    EXPECT_EQ(1u, WindowsStarted());
}

// Two processes starting at the same moment start one window and both reach it.
TEST_F(Window, TwoProcessesStartOneWindow)
{
    kombra_test::ScopedEnv home("KOMBRA_HOME", root.file("home"));
    std::filesystem::create_directories(root.path() / "home/bin");
    std::filesystem::create_symlink(kombra_test::ToolsDir() + "/standins/kestrun_standin", root.file("home/bin/Kestrun"));
    pid_t children[2];
    for (int i = 0; i < 2; ++i) {
        children[i] = fork();
        ASSERT_GE(children[i], 0);
        if (children[i] == 0) {
            const int fd = _StartKestrun();
            const std::string line = "child " + std::to_string(i) + "\n";
            const bool sent = fd > 0 && send(fd, line.data(), line.size(), MSG_NOSIGNAL) ==
                                            static_cast<ssize_t>(line.size());
            _exit(sent ? 0 : 1);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto lines = Received(2);
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ((std::vector<std::string>{"child 0", "child 1"}), lines);
    EXPECT_EQ(1u, WindowsStarted());
}

// A window program that cannot be run: no window, no port file left, and no
// wait, now or for the next request (a wait here would outlast the test's
// time limit, and try to reach the window).
TEST_F(Window, FailedStartsLeaveNoPortFileAndNoWait)
{
    pro_SetKestrunWait(3600000);
    std::filesystem::create_directories(root.path() / "home/bin");
    kombra_test::WriteFile(root.file("home/bin/Kestrun"), "not a program");
    chmod(root.file("home/bin/Kestrun").c_str(), 0644);
    const std::optional<std::string> homes[] = {std::nullopt, root.file("nowhere"), root.file("home")};
    for (const auto &home : homes) {
        kombra_test::ScopedEnv env("KOMBRA_HOME", home);
        for (int again = 0; again < 2; ++again) {
            testing::internal::CaptureStderr();
            EXPECT_EQ(0, _StartKestrun());
            const std::string errors = testing::internal::GetCapturedStderr();
            EXPECT_EQ(std::string::npos, errors.find("Attempt 1 failed")) << errors;
            EXPECT_NE(std::string::npos, errors.find("ERROR - Couldn't execute Kestrun")) << errors;
            EXPECT_NE(std::string::npos, errors.find("KESTRUN: ")) << errors;
            EXPECT_FALSE(std::filesystem::exists(PortFile()));
        }
    }
    EXPECT_EQ(0u, WindowsStarted());
}

// Port files that are links, writable by others, or hold no port of 1 to
// 65535: no window, nothing started, and fd 0 is never closed.
TEST_F(Window, UntrustedPortFilesGiveNoWindow)
{
    kombra_test::ScopedEnv home("KOMBRA_HOME", root.file("home"));
    const struct {
        const char *text;
        mode_t mode;
    } files[] = {{"11012\n", 0666}, {"abc\n", 0600}, {"70000\n", 0600}, {"0\n", 0600}, {"", 0600}, {"123456789012\n", 0600}};
    for (const auto &f : files) {
        WritePortFile(f.text, f.mode);
        testing::internal::CaptureStderr();
        EXPECT_EQ(0, _StartKestrun()) << f.text;
        testing::internal::GetCapturedStderr();
        std::filesystem::remove(PortFile());
    }
    kombra_test::WriteFile(root.file("elsewhere"), "11012\n");
    chmod(root.file("elsewhere").c_str(), 0600);
    std::filesystem::create_symlink(root.file("elsewhere"), PortFile());
    testing::internal::CaptureStderr();
    EXPECT_EQ(0, _StartKestrun());
    testing::internal::GetCapturedStderr();

    OpenCatalog();
    Promote p("UNKNOWN", sFalse);
    testing::internal::CaptureStderr();
    EXPECT_EQ(1, p.PromoteList());  // nothing listed: only the window's set-up and close
    testing::internal::GetCapturedStderr();
    EXPECT_NE(-1, fcntl(0, F_GETFD));
    EXPECT_EQ(0u, WindowsStarted());
}

// A window that closes its end: the lines are lost, the process goes on.
TEST_F(Window, AGoneWindowDoesNotEndTheProcess)
{
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr *>(&a), sizeof a));
    socklen_t size = sizeof a;
    getsockname(listener, reinterpret_cast<sockaddr *>(&a), &size);
    listen(listener, 4);
    WritePortFile(std::to_string(ntohs(a.sin_port)) + "\n");
    std::thread closer([listener] {
        const int client = accept(listener, nullptr, nullptr);
        close(client);
    });
    struct sigaction old {}, dfl {};
    dfl.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &dfl, &old);
    Configure({"srvA"});
    OnServer("srvA", "CP3DRH20030321400H");
    OpenCatalog();
    Promote p("UNKNOWN", sFalse);
    p.SetBTime(2003, 32, H(14, 30));
    p.SetETime(2003, 32, H(14, 40));
    p.AddSource(kKey);
    ASSERT_EQ(1, p.BuildDBList(PRO_HEADER, OFFLINE, 1000));
    EXPECT_EQ(1, p.PromoteList());
    closer.join();
    sigaction(SIGPIPE, &old, nullptr);
    close(listener);
}

}  // namespace
