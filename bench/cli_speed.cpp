// How close the command line comes to what the line and the protocol allow: runs
// quorvane-cli read-all and write-all against a simulated tracker throttled to
// 115200 baud and prints, for each, the wall time, the time from the first request
// to the completion notice, the pure wire time of every byte exchanged, the floor
// (wire time plus the 30 ms pause that ends each answer) and the ratio to it.
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

double TimingOf(const std::string& err) {
    const auto at = err.rfind("timing: ");
    return at == std::string::npos ? -1.0 : std::stod(err.substr(at + 8));
}

void Report(const char* name, const ProcessResult& r, double wall, const Exchange& traffic) {
    const double wire = static_cast<double>(traffic.bytes) / kBytesPerSecond;
    const double floor = wire + kAnswerPause * traffic.answers;
    const double operation = TimingOf(r.err);
    std::printf("%-9s exit %d  wall %.3f s  request-to-completion %.3f s  wire %.3f s (%zu bytes)  "
                "floor %.3f s  ratio %.3f\n",
                name, r.exitCode, wall, operation, wire, traffic.bytes, floor, operation / floor);
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
        auto start = std::chrono::steady_clock::now();
        ProcessResult read = RunProcess({cli, "--timing", "--port", port, "read-all", settings});
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        Report("read-all", read, wall, ReadAllTraffic());

        start = std::chrono::steady_clock::now();
        ProcessResult write = RunProcess({cli, "--timing", "--port", port, "--load", settings, "write-all"});
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        Report("write-all", write, wall, WriteAllTraffic());
        if (read.exitCode != 0 || write.exitCode != 0) {
            std::fprintf(stderr, "a run failed:\n%s%s", read.err.c_str(), write.err.c_str());
            return 1;
        }
    }
    std::filesystem::remove(settings);
    return 0;
}
