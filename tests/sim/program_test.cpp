// The quorvane-sim program: its options, and a run from start to SIGTERM.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "sim/simulator.h"
#include "sim_test_support.h"

extern char** environ;

namespace quorvane::sim::test {
namespace {

using namespace std::chrono_literals;

class Program {
public:
    explicit Program(std::vector<std::string> args) {
        int out[2], err[2];
        if (::pipe(out) != 0 || ::pipe(err) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, err[0]);
        args.insert(args.begin(), QUORVANE_SIM_PATH);
        std::vector<char*> argv;
        argv.reserve(args.size() + 1);
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, QUORVANE_SIM_PATH, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~Program() {
        if (pid_ > 0 && exit_ < 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
        if (err_ >= 0) ::close(err_);
    }

    bool Started() const { return pid_ > 0; }
    // The first line of standard output, waiting at most 10 s.
    std::string FirstLine() {
        std::string line;
        const auto end = std::chrono::steady_clock::now() + 10s;
        char c = 0;
        while (std::chrono::steady_clock::now() < end) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            if (::read(out_, &c, 1) != 1 || c == '\n') break;
            line.push_back(c);
        }
        return line;
    }
    void Signal(int signal) { ::kill(pid_, signal); }
    // Waits for the end (at most 10 s); the exit code, or -1.
    int Wait() {
        const auto end = std::chrono::steady_clock::now() + 10s;
        while (exit_ < 0 && std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            ::poll(nullptr, 0, 10);  // between looks
        }
        return exit_;
    }
    std::string Drain(int fd) {
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
        return text;
    }
    std::string Out() { return Drain(out_); }
    std::string Err() { return Drain(err_); }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    int exit_ = -1;
};

TEST(Program, HelpShowsTheOptionsAndTheFaults) {
    Program help({"--help"});
    ASSERT_TRUE(help.Started());
    EXPECT_EQ(help.Wait(), 0);
    const std::string text = help.Out();
    for (const char* word : {"--link PATH", "--state FILE", "--throttle", "--auth CODE", "--model KR420|KR310",
                             "--firmware TEXT", "--imei", "--serial", "--fault NAME", "no-answer", "boot-text"}) {
        EXPECT_NE(text.find(word), std::string::npos) << word;
    }
}

TEST(Program, BadOptionsGiveTheUsageAndExitTwo) {
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},          {"--link"},           {"--auth", "x"},
        {"--auth", "4294967296"}, {"--model", "KR999"}, {"--firmware", "a,b"},
        {"--fault", "nope"},  {"--fault", "no-answer:0"}, {"--model", "KR310", "--firmware", "X"},
        {"--battery", "300"}, {"--throttle=yes"},   {"stray"},
    };
    for (const auto& args : bad) {
        Program program(args);
        ASSERT_TRUE(program.Started());
        EXPECT_EQ(program.Wait(), 2) << args[0];
        const std::string err = program.Err();
        EXPECT_NE(err.find("Usage: quorvane-sim"), std::string::npos) << args[0];
        EXPECT_TRUE(program.Out().empty()) << args[0];
    }
}

TEST(Program, RunsUntilSigtermWithItsOptions) {
    TempDir dir;
    const std::string link = dir.File("ttyQV");
    const std::string state = dir.File("tracker.state");
    Program program({"--model", "KR310", "--imei", "111", "--serial", "S1", "--auth", "-2", "--fault",
                     "no-answer@0x59", "--state", state, "--link=" + link});
    ASSERT_TRUE(program.Started());
    const std::string slave = program.FirstLine();
    ASSERT_TRUE(slave.starts_with("/dev/")) << slave << program.Err();
    EXPECT_EQ(std::filesystem::read_symlink(link), slave);
    EXPECT_TRUE(std::filesystem::exists(state));

    const int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    // The read goes unanswered; the connect with the code -2 (FE FF FF FF) is accepted.
    const Bytes requests = Frame(CmdReadBlock, B({1, 0, 16, 0, 15})) + Frame(CmdConnect, B({1, 0xFE, 0xFF, 0xFF, 0xFF}));
    ASSERT_EQ(::write(fd, requests.data(), requests.size()), static_cast<ssize_t>(requests.size()));
    Bytes answer;
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (answer.size() < 11 + 30 && std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        std::uint8_t buffer[256];
        const auto n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) answer.insert(answer.end(), buffer, buffer + n);
    }
    ::close(fd);
    ASSERT_GE(answer.size(), 41u);
    EXPECT_EQ(answer[4], CmdConnect);
    EXPECT_EQ(answer[6], 1);  // accepted
    EXPECT_EQ(std::string(answer.begin() + 10, answer.begin() + 30), "QV-KR310-V1.4.2,111,");

    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(Program, ABrokenStateFileIsAnError) {
    TempDir dir;
    const std::string state = dir.File("tracker.state");
    { std::FILE* f = std::fopen(state.c_str(), "w"); std::fputs("junk\n", f); std::fclose(f); }
    Program program({"--state", state});
    ASSERT_TRUE(program.Started());
    EXPECT_EQ(program.Wait(), 1);
    EXPECT_NE(program.Err().find("not a quorvane-sim state file"), std::string::npos);
}

}  // namespace
}  // namespace quorvane::sim::test
