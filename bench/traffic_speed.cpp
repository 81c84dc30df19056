// Whether recording the line's traffic keeps up with the fastest Read All and costs
// it nothing noticeable. Prints figures:
//  - the recorder alone: rows per second recorded and formatted as text lines, with
//    a full ring (every row drops the oldest);
//  - Read All against an unthrottled simulated tracker on a pseudo-terminal (as fast
//    as the machine goes, far faster than 115200 baud), through the window's logic,
//    with recording off, on, and on with every row written to a trace file.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "app/form1.h"
#include "model/memory_form.h"
#include "blocks/memory_map.h"
#include "link/engine.h"
#include "link/frame.h"
#include "link/traffic.h"
#include "serial/mailbox.h"
#include "sim/pty_tracker.h"
#include "tests/support/recording_ui.h"

namespace {

using namespace quorvane;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }

void RecorderAlone() {
    // The frames of one Read All, as the editor records them.
    std::vector<std::vector<std::uint8_t>> frames;
    for (BlockId id : {BlockId::DeviceId, BlockId::Gprs, BlockId::Main, BlockId::MainExt, BlockId::Interface,
                       BlockId::Temperature, BlockId::Sms, BlockId::GeoFence, BlockId::Event}) {
        const BlockInfo& block = Block(id);
        const std::uint16_t length = block.readLength;
        const std::vector<std::uint8_t> request = {block.area, static_cast<std::uint8_t>(block.readOffset >> 8),
                                                   static_cast<std::uint8_t>(block.readOffset),
                                                   static_cast<std::uint8_t>(length >> 8),
                                                   static_cast<std::uint8_t>(length)};
        frames.push_back(MakeFrame(0x59, request));
        std::vector<std::uint8_t> answer = request;
        answer.resize(request.size() + length, 0x41);
        frames.push_back(MakeFrame(0x59, answer));
    }
    TrafficRecorder recorder;
    recorder.SetEnabled(true);
    std::size_t characters = 0;
    recorder.Subscribe([&](const TrafficRow& row) { characters += FormatTrafficLine(row).size(); });
    const int rounds = 2000;
    const auto start = Clock::now();
    for (int r = 0; r < rounds; ++r) {
        for (std::size_t i = 0; i < frames.size(); ++i) {
            recorder.RecordFrame(i % 2 == 0 ? TrafficDirection::Sent : TrafficDirection::Received, frames[i]);
        }
    }
    const double seconds = Seconds(start);
    const double rows = static_cast<double>(rounds) * static_cast<double>(frames.size());
    std::printf("recorder alone: %.0f rows in %.3f s = %.0f rows/s (%.1f MB of text lines), ring %zu rows\n", rows,
                seconds, rows / seconds, static_cast<double>(characters) / 1e6, recorder.Rows().size());
    std::printf("  the Device ID and Read All reads are %zu rows; at 115200 baud they take about 1 s\n", frames.size());
}

struct Run {
    double median = 0;
    double best = 0;
};

Run ReadAll(int mode, int runs) {
    sim::PtyTracker tracker({});
    MemoryForm form;
    test_support::RecordingUi ui;
    QueueMailbox mailbox;
    const auto dir = std::filesystem::temp_directory_path() / "qv-traffic-bench";
    std::filesystem::create_directories(dir);
    TForm1 window(form, ui, mailbox, dir.string() + "/");
    window.Watch().SetPortSource(std::make_shared<FunctionPortSource>([] { return std::vector<PortInfo>{}; }));
    window.FormCreate();
    std::ofstream trace;
    if (mode >= 1) window.Traffic().SetEnabled(true);
    if (mode == 2) {
        trace.open(dir / "trace.txt");
        window.Traffic().Subscribe([&](const TrafficRow& row) { trace << FormatTrafficLine(row) << '\n' << std::flush; });
    }
    form.SetText("ComboBox1", tracker.SlavePath());
    window.Guard([&] { window.OpenPortClick(); });
    const auto waitFor = [&](auto done) {
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        while (!done() && Clock::now() < deadline) {
            mailbox.WaitFor(std::chrono::milliseconds(1));
            mailbox.Drain();
        }
        return done();
    };
    for (int k = 0; k < kConnectPollReload; ++k) window.Timer1Timer();
    if (!waitFor([&] {
            const auto& s = window.Engine().State();
            return ui.StatusText(0) == "Connected" && s.OperationState == OpIdle && s.TimeoutCount == 0;
        })) {
        std::printf("no connection\n");
        return {};
    }
    std::vector<double> times;
    for (int r = 0; r < runs; ++r) {
        const std::size_t before = ui.Notices().size();
        std::optional<OperationResult> result;
        const int hook = window.Engine().AddResultHook([&](const OperationResult& r) {
            if (!result) result = r;
        });
        const auto start = Clock::now();
        window.Guard([&] { window.Click("ReadAllClick"); });
        const bool ended = waitFor([&] { return ui.Notices().size() > before; });
        window.Engine().RemoveResultHook(hook);
        if (!ended || !result || result->op != Operation::ReadAll || result->outcome != Outcome::Completed) {
            std::printf("Read All failed\n");
            return {};
        }
        times.push_back(Seconds(start));
    }
    window.Guard([&] { window.OpenPortClick(); });
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front()};
}

}  // namespace

int main() {
    RecorderAlone();
    const int runs = 30;
    const char* names[] = {"recording off", "recording on", "on + trace file"};
    Run results[3];
    for (int mode = 0; mode < 3; ++mode) {
        results[mode] = ReadAll(mode, runs);
        std::printf("Read All, unthrottled, %-16s median %.2f ms, best %.2f ms (%d runs)\n", names[mode],
                    results[mode].median * 1e3, results[mode].best * 1e3, runs);
    }
    if (results[0].median > 0) {
        std::printf("ratio on/off %.3f, trace/off %.3f\n", results[1].median / results[0].median,
                    results[2].median / results[0].median);
    }
    return 0;
}
