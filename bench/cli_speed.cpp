// How close the command line comes to what the line and the protocol allow: runs
// quorvane-cli read-all and write-all against a simulated tracker throttled to
// 115200 baud and prints, for each, the wall time, the time from the first request
// to the completion notice, the pure wire time of every byte exchanged, the floor
// (wire time plus the 30 ms pause that ends each answer) and the ratio to it.
// Two more rows measure what the write checks add: write-all --verify (the write,
// then one read of every block written) and diff tracker FILE (one read of every
// block); the verification's share is its time beyond the plain write-all of the
// same round, set against the floor of the read it adds.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "blocks/memory_map.h"
#include "link/frame.h"
#include "tests/support/child_process.h"

namespace {

using quorvane::Block;
using quorvane::BlockId;
using quorvane::test_support::BackgroundProcess;
using quorvane::test_support::ProcessResult;
using quorvane::test_support::RunProcess;

constexpr double kBytesPerSecond = 11520.0;  // 115200 baud, 10 bits a byte
constexpr double kAnswerPause = 0.030;       // the receive side's end-of-block silence
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

double Floor(const Exchange& traffic) {
    return static_cast<double>(traffic.bytes) / kBytesPerSecond + kAnswerPause * traffic.answers;
}

// Returns the request-to-completion time.
double Report(const char* name, const ProcessResult& r, double wall, const Exchange& traffic) {
    const double wire = static_cast<double>(traffic.bytes) / kBytesPerSecond;
    const double floor = Floor(traffic);
    const double operation = TimingOf(r.err);
    std::printf("%-18s exit %d  wall %.3f s  request-to-completion %.3f s  wire %.3f s (%zu bytes)  "
                "floor %.3f s  ratio %.3f\n",
                name, r.exitCode, wall, operation, wire, traffic.bytes, floor, operation / floor);
    return operation;
}

ProcessResult Timed(const std::vector<std::string>& args, double& wall) {
    const auto start = std::chrono::steady_clock::now();
    ProcessResult r = RunProcess(args);
    wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return r;
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
        std::printf("%-18s write %.3f s (plain write-all %.3f s); verification %.3f s, its read's floor %.3f s, "
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
    std::filesystem::remove(settings);
    return 0;
}
