// How close the command line comes to what the line allows: runs quorvane-cli
// read-all and write-all against a simulated tracker throttled to 115200 baud and
// prints, for each, the wall time, the time from the first request to the
// completion notice, the pure wire time of every byte exchanged and the ratio of
// the two (the target is 1.05 at most). Two more rows measure what the write checks
// add: write-all --verify (the write, then one read of every block written) and
// diff tracker FILE (one read of every block); the verification's share is its time
// beyond the plain write-all of the same round, set against the wire time of the
// read it adds. Then eight throttled trackers on eight ports, each given write-all
// (with --verify) by one quorvane-cli: the wall time against one tracker's, and the
// CPU time and peak memory of that process; then the same for 64 and 256 trackers,
// simulated inside this program (one thread each) so that the machine runs one
// station process and one tracker process.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "blocks/memory_map.h"
#include "link/frame.h"
#include "sim/pty_tracker.h"
#include "tests/support/child_process.h"

namespace {

using quorvane::Block;
using quorvane::BlockId;
using quorvane::test_support::BackgroundProcess;
using quorvane::test_support::ProcessResult;
using quorvane::test_support::RunProcess;

constexpr double kBytesPerSecond = 11520.0;  // 115200 baud, 10 bits a byte
constexpr std::size_t kRequestHeader = 5;    // area, offset, length

const BlockId kSteps[] = {BlockId::Gprs,        BlockId::Main, BlockId::MainExt,  BlockId::Interface,
                          BlockId::Temperature, BlockId::Sms,  BlockId::GeoFence, BlockId::Event};

struct Exchange {
    std::size_t bytes = 0;
    int answers = 0;
};

Exchange ReadAllTraffic() {
    Exchange e;
    for (BlockId id : kSteps) {
        e.bytes += quorvane::kFrameOverhead + kRequestHeader;                         // request
        e.bytes += quorvane::kFrameOverhead + kRequestHeader + Block(id).readLength;  // answer
        ++e.answers;
    }
    return e;
}

Exchange WriteAllTraffic() {
    Exchange e;
    for (BlockId id : kSteps) {
        e.bytes += quorvane::kFrameOverhead + kRequestHeader + Block(id).writeLength;  // request
        e.bytes += quorvane::kFrameOverhead + 2;                                       // acknowledgement
        ++e.answers;
    }
    return e;
}

// Every "timing: SECONDS" line, in order (a command, then its verification).
std::vector<double> Timings(const std::string& err) {
    std::vector<double> t;
    for (std::size_t at = err.find("timing: "); at != std::string::npos; at = err.find("timing: ", at + 8))
        t.push_back(std::stod(err.substr(at + 8)));
    return t;
}

double TimingOf(const std::string& err) {
    double total = 0;
    for (double t : Timings(err)) total += t;
    return Timings(err).empty() ? -1.0 : total;
}

Exchange operator+(Exchange a, const Exchange& b) {
    a.bytes += b.bytes;
    a.answers += b.answers;
    return a;
}

// What the line allows: every byte's wire time; an answer is acted on when its last
// byte is in.
double Floor(const Exchange& traffic) { return static_cast<double>(traffic.bytes) / kBytesPerSecond; }

// Returns the request-to-completion time.
double Report(const char* name, const ProcessResult& r, double wall, const Exchange& traffic) {
    const double wire = Floor(traffic);
    const double operation = TimingOf(r.err);
    std::printf("%-18s exit %d  wall %.3f s  request-to-completion %.3f s  wire %.3f s (%zu bytes)  "
                "ratio %.3f\n",
                name, r.exitCode, wall, operation, wire, traffic.bytes, operation / wire);
    return operation;
}

ProcessResult Timed(const std::vector<std::string>& args, double& wall) {
    const auto start = std::chrono::steady_clock::now();
    ProcessResult r = RunProcess(args);
    wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return r;
}

struct Usage {
    int exitCode = -1;
    double wall = 0;
    double cpu = 0;       // user + system, seconds
    long peakKiB = 0;     // largest resident set
};

// Runs `args` with its output discarded and measures it.
Usage Measure(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Usage u;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) return u;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    u.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    u.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    u.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    u.peakKiB = usage.ru_maxrss;
    return u;
}

// write-all on one tracker, then on all of `ports` at once.
bool ManyTrackers(const std::string& cli, const std::vector<std::string>& ports, const std::string& settings,
                  bool verify) {
    std::vector<std::string> one = {cli, "--port", ports.front(), "--load", settings};
    std::vector<std::string> all = {cli};
    for (const std::string& p : ports) all.insert(all.end(), {"--port", p});
    all.insert(all.end(), {"--load", settings});
    for (auto* args : {&one, &all}) {
        if (verify) args->push_back("--verify");
        args->push_back("write-all");
    }
    const Usage single = Measure(one);
    const Usage many = Measure(all);
    std::printf("write-all%s  1 port: wall %.3f s, cpu %.3f s, peak %ld KiB  |  %zu ports: exit %d  wall %.3f s "
                "(%.2f x one)  cpu %.3f s  peak %ld KiB\n",
                verify ? " --verify" : "", single.wall, single.cpu, single.peakKiB, ports.size(), many.exitCode,
                many.wall, many.wall / single.wall, many.cpu, many.peakKiB);
    if (many.exitCode != 0) {
        // Once more with its output kept: the summary lines of the trackers that failed.
        const ProcessResult again = RunProcess(all);
        int shown = 0;
        std::size_t at = 0;
        while ((at = again.err.find(": failed: ", at)) != std::string::npos && shown < 5) {
            const std::size_t begin = again.err.rfind('\n', at) + 1;
            const std::size_t end = again.err.find('\n', at);
            std::printf("  %s\n", again.err.substr(begin, end - begin).c_str());
            at = end;
            ++shown;
        }
        const std::size_t summary = again.err.rfind(" completed, ");
        if (summary != std::string::npos) {
            const std::size_t begin = again.err.rfind('\n', summary) + 1;
            std::printf("  again: %s\n", again.err.substr(begin, again.err.find('\n', summary) - begin).c_str());
        }
    }
    return single.exitCode == 0 && many.exitCode == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path bin = std::filesystem::absolute(argv[0]).parent_path().parent_path();
    const std::string sim = argc > 1 ? argv[1] : (bin / "sim" / "quorvane-sim").string();
    const std::string cli = argc > 2 ? argv[2] : (bin / "cli" / "quorvane-cli").string();
    const int rounds = argc > 3 ? std::stoi(argv[3]) : 3;

    BackgroundProcess tracker({sim, "--throttle"});
    const std::string port = tracker.FirstLine();
    if (port.empty()) {
        std::fprintf(stderr, "the simulated tracker did not start (%s)\n", sim.c_str());
        return 1;
    }
    const std::string settings =
        (std::filesystem::temp_directory_path() / ("qv-bench-" + std::to_string(getpid()) + ".ini")).string();

    std::printf("quorvane-cli against quorvane-sim --throttle (115200 baud), %d rounds\n", rounds);
    for (int round = 0; round < rounds; ++round) {
        double wall = 0;
        const ProcessResult read = Timed({cli, "--timing", "--port", port, "read-all", settings}, wall);
        Report("read-all", read, wall, ReadAllTraffic());

        const ProcessResult write = Timed({cli, "--timing", "--port", port, "--load", settings, "write-all"}, wall);
        const double plain = Report("write-all", write, wall, WriteAllTraffic());

        const ProcessResult verify =
            Timed({cli, "--timing", "--port", port, "--load", settings, "--verify", "write-all"}, wall);
        Report("write-all --verify", verify, wall, WriteAllTraffic() + ReadAllTraffic());
        const std::vector<double> phases = Timings(verify.err);
        const double check = phases.size() == 2 ? phases[1] : -1.0;
        std::printf("%-18s write %.3f s (plain write-all %.3f s); verification %.3f s, its read's wire time %.3f s, "
                    "ratio %.3f\n",
                    "", phases.empty() ? -1.0 : phases[0], plain, check, Floor(ReadAllTraffic()),
                    check / Floor(ReadAllTraffic()));

        const ProcessResult diff = Timed({cli, "--timing", "--port", port, "diff", "tracker", settings}, wall);
        Report("diff tracker FILE", diff, wall, ReadAllTraffic());

        for (const ProcessResult* r : {&read, &write, &verify, &diff}) {
            if (r->exitCode != 0) {
                std::fprintf(stderr, "a run failed:\n%s", r->err.c_str());
                return 1;
            }
        }
    }
    // Eight trackers at once; --verify when this command line has it.
    const bool verify = RunProcess({cli, "--help"}).out.find("--verify") != std::string::npos;
    std::vector<std::unique_ptr<BackgroundProcess>> trackers;
    std::vector<std::string> ports = {port};
    for (int i = 1; i < 8; ++i) {
        trackers.push_back(std::make_unique<BackgroundProcess>(std::vector<std::string>{sim, "--throttle"}));
        ports.push_back(trackers.back()->FirstLine());
        if (ports.back().empty()) {
            std::fprintf(stderr, "simulated tracker %d did not start\n", i + 1);
            return 1;
        }
    }
    bool ok = true;
    for (int round = 0; round < rounds; ++round) ok = ManyTrackers(cli, ports, settings, verify) && ok;
    trackers.clear();
    // Many more trackers, each a thread of this program on its own pseudo-terminal.
    const int most = argc > 4 ? std::stoi(argv[4]) : 256;
    for (const int count : {64, 256}) {
        if (count > most) break;
        std::vector<std::unique_ptr<quorvane::sim::PtyTracker>> simulated;
        std::vector<std::string> many = {port};
        for (int i = 1; i < count; ++i) {
            quorvane::sim::PtyTrackerOptions options;
            options.throttle = true;
            options.device.imei = std::to_string(869000000000000LL + i);
            simulated.push_back(std::make_unique<quorvane::sim::PtyTracker>(options));
            many.push_back(simulated.back()->SlavePath());
        }
        ok = ManyTrackers(cli, many, settings, verify) && ok;
    }
    std::filesystem::remove(settings);
    return ok ? 0 : 1;
}
