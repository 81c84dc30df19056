// The command line's side of a station: the job its options ask for, and what it
// prints while the station runs: each port's lines on stdout and stderr, behind
// "NAME: " with several ports; --json's object per port; the summary and the retry
// line.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "station/station_job.h"
#include "station/station_observer.h"

namespace quorvane {

// The job of a station command (info, read, write, ..., diff) as given.
StationJob JobOf(const CliOptions& options);

// `program` and `arguments` with every --port replaced by `ports`, as a shell
// command line.
std::string RetryCommandLine(const std::string& program, const std::vector<std::string>& arguments,
                             const std::vector<std::string>& ports);

class StationPrinter : public StationObserver {
public:
    StationPrinter(const CliOptions& options, std::ostream& out, std::ostream& err)
        : options_(options), out_(out), err_(err) {}

    // With several ports each port's line goes behind its name.
    void SetSeveralPorts(bool several) { severalPorts_ = several; }

    void PortLine(const std::string& port, LineKind kind, std::string_view text) override;
    std::unique_ptr<Ui> MakePortUi(const std::string& port, std::ostream& err) override;
    void RunEnded(const PortSession& session, const PortRecord& record) override;
    void PortWaiting(const std::string& port, const std::string& reason) override;
    void StationEnded(const std::vector<PortRecord>& lines) override;

private:
    const CliOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    bool severalPorts_ = false;
};

}  // namespace quorvane
