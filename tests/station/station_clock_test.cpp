// A station driven by a clock of the test's own: a tracker that never answers the
// connect request runs into its limit, and the retry after it, in no wall time.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "link/engine.h"
#include "sim/pty_tracker.h"
#include "station/exit_status.h"
#include "station/station.h"

namespace quorvane {
namespace {

// Everything the station tells, kept as text.
class Notes : public StationObserver {
public:
    class Shown : public Ui {
    public:
        explicit Shown(std::ostream& err) : err_(err) {}
        void SetStatusText(int, std::string_view) override {}
        std::string StatusText(int) const override { return {}; }
        void Notice(std::string_view text) override { err_ << "notice " << text << '\n'; }
        bool Confirm(std::string_view) override { return false; }
        void ShowError(std::string_view text) override { err_ << "error " << text << '\n'; }
        std::optional<std::string> ChooseOpenFile(std::string_view) override { return {}; }
        std::optional<std::string> ChooseSaveFile(std::string_view, std::string_view) override { return {}; }
        void SetWindowCaption(std::string_view) override {}
        void OpenUrl(std::string_view) override {}
        void CloseWindow() override {}
        void ScrollEventBox(int) override {}

    private:
        std::ostream& err_;
    };

    void PortLine(const std::string& port, LineKind kind, std::string_view text) override {
        lines.push_back((kind == LineKind::Out ? "out " : "err ") + port + "|" + std::string(text));
    }
    std::unique_ptr<Ui> MakePortUi(const std::string&, std::ostream& err) override {
        return std::make_unique<Shown>(err);
    }
    void PortStateChanged(const PortSession&, PortState state) override {
        states.emplace_back(PortStateName(state));
    }
    void RunEnded(const PortSession&, const PortRecord& record) override { ended.push_back(record); }
    void StationEnded(const std::vector<PortRecord>& records) override { summary = records; }

    std::vector<std::string> lines;
    std::vector<std::string> states;
    std::vector<PortRecord> ended;
    std::vector<PortRecord> summary;
};

TEST(StationClock, ConnectLimitAndRetryRunOnTheInjectedClock) {
    sim::PtyTrackerOptions simOptions;
    simOptions.faults = {sim::FaultPlan{sim::Fault::NoAnswer, -1, CmdConnect}};
    sim::PtyTracker tracker(simOptions);
    const std::string& port = tracker.SlavePath();
    const std::string report = (std::filesystem::path(::testing::TempDir()) / "station_clock.jsonl").string();
    std::filesystem::remove(report);

    StationJob job;
    job.command = JobCommand::Read;
    job.group = "gprs";
    job.commandWords = "read gprs";
    job.ports = {port};
    job.timeoutSeconds = 30;  // far beyond what the test may take on the wall clock
    job.retry = 1;
    job.report = report;

    Clock::time_point now{};  // a clock only the loop below moves
    Notes notes;
    Station station(job, notes, "", [&now] { return now; });
    ASSERT_TRUE(station.Start());
    const auto wallStart = Clock::now();
    int steps = 0;
    while (station.Step(now) && steps < 100000) {
        now += std::chrono::milliseconds(10);
        ++steps;
    }
    ASSERT_TRUE(station.Finished());
    EXPECT_LT(Clock::now() - wallStart, std::chrono::seconds(20));

    // Two rounds of 30 s each, counted on the injected clock alone.
    EXPECT_GE(steps, 2 * 3000);
    EXPECT_LT(steps, 2 * 3000 + 50);
    const std::string refused = "no connect answer from the tracker on " + port;
    const std::string errorLine = "err " + port + "|error " + refused + "\n";
    const std::vector<std::string> errors = {errorLine, errorLine};
    std::vector<std::string> errorLines;
    for (const std::string& line : notes.lines) {
        if (line.find("|error ") != std::string::npos) errorLines.push_back(line);
    }
    EXPECT_EQ(errorLines, errors);
    EXPECT_EQ(notes.states, (std::vector<std::string>{"connecting", "failed", "connecting", "failed"}));
    ASSERT_EQ(notes.summary.size(), 1u);
    EXPECT_EQ(notes.summary[0].attempts, 2);
    EXPECT_EQ(notes.summary[0].last.result, PortResult::NoAnswer);
    EXPECT_EQ(notes.summary[0].last.message, refused);
    EXPECT_EQ(station.ExitStatus(), kExitFailed);

    std::ifstream file(report);
    std::string text;
    int attempt = 0;
    while (std::getline(file, text)) {
        const auto line = nlohmann::json::parse(text);
        EXPECT_EQ(line["attempt"], ++attempt);
        EXPECT_EQ(line["result"], "no-answer");
        EXPECT_EQ(line["command"], "read gprs");
        EXPECT_NEAR(line["seconds"]["connect"].get<double>(), 30.0, 0.05);
        EXPECT_NEAR(line["seconds"]["total"].get<double>(), 30.0, 0.05);
    }
    EXPECT_EQ(attempt, 2);
}

}  // namespace
}  // namespace quorvane
