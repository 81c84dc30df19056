// Runs the project's programs as child processes for end-to-end tests: one to
// completion with its output captured, or one in the background (the simulated
// tracker) whose first output line is read.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorvane::test_support {

struct ProcessResult {
    int exitCode = -1;  // -1 when it had to be killed
    std::string out;
    std::string err;
};

namespace detail {

inline std::vector<char*> Argv(std::vector<std::string>& args) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

inline pid_t Spawn(std::vector<std::string> args, int outFd, int errFd) {
    std::vector<char*> argv = Argv(args);
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, 0);
        dup2(outFd, 1);
        dup2(errFd, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

}  // namespace detail

// Runs `args` (args[0] is the program's path) to its end, at most `limit` long.
inline ProcessResult RunProcess(std::vector<std::string> args,
                                std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    int outPipe[2];
    int errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = detail::Spawn(std::move(args), outPipe[1], errPipe[1]);
    close(outPipe[1]);
    close(errPipe[1]);

    ProcessResult result;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, 2, static_cast<int>(left.count())) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
    for (pollfd& f : fds) {
        if (f.fd >= 0) close(f.fd);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// A program left running in the background until destroyed (SIGTERM, then reaped).
class BackgroundProcess {
public:
    explicit BackgroundProcess(std::vector<std::string> args) {
        int outPipe[2];
        if (pipe(outPipe) != 0) throw std::runtime_error("pipe failed");
        const int devNull = open("/dev/null", O_WRONLY);
        pid_ = detail::Spawn(std::move(args), outPipe[1], devNull);
        close(outPipe[1]);
        close(devNull);
        out_ = outPipe[0];
    }
    ~BackgroundProcess() {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        close(out_);
    }
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    // The first line the program prints, waiting at most `limit`; empty on failure.
    std::string FirstLine(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::string line;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (line.find('\n') == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd fd{out_, POLLIN, 0};
            if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0) return {};
            char c[256];
            const ssize_t n = read(out_, c, sizeof c);
            if (n <= 0) return {};
            line.append(c, static_cast<std::size_t>(n));
        }
        return line.substr(0, line.find('\n'));
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

}  // namespace quorvane::test_support
