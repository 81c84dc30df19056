// quorvane-sim: a simulated tracker on a pseudo-terminal. Prints the device to open
// on the first line of standard output and answers until SIGINT, SIGTERM or SIGHUP.
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <mutex>
#include <string>
#include <string_view>
#include <memory>

#include <pthread.h>

#include "link/traffic.h"
#include "sim/fault.h"
#include "sim/pty_tracker.h"
#include "sim/state_file.h"

namespace {

using namespace quorvane::sim;

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

void PrintUsage(std::FILE* to) {
    std::fprintf(to,
                 "Usage: quorvane-sim [options]\n"
                 "A simulated tracker on a pseudo-terminal. The first line printed is the\n"
                 "device to open in the editor; the tracker answers until Ctrl+C or SIGTERM.\n"
                 "\n"
                 "Options:\n"
                 "  --link PATH          also make PATH a symbolic link to the device\n"
                 "  --state FILE         keep the tracker's areas, RFID IDs, mileage and\n"
                 "                       buffers in FILE (made when missing, saved on change)\n"
                 "  --throttle           answer no faster than 115200 baud carries\n"
                 "  --auth CODE          accept only connect requests with this\n"
                 "                       authorization code (a 32-bit decimal number)\n"
                 "  --model KR420|KR310  firmware text of that model (default KR420: %s)\n"
                 "  --firmware TEXT      firmware text, for example %s\n"
                 "  --imei TEXT          IMEI (default 860123456789012)\n"
                 "  --serial TEXT        serial number (default QV420A0012345)\n"
                 "  --battery PERCENT    internal battery level, 0-255 (default 87)\n"
                 "  --fault NAME[:COUNT][@CMD][+SKIP]\n"
                 "                       commit a fault on the next COUNT answers (default 1,\n"
                 "                       \"all\" for every one), to command CMD only when given\n"
                 "                       (0x59 or 89), after letting SKIP of them pass; may be\n"
                 "                       repeated. Example: --fault no-answer@0x59+3 leaves the\n"
                 "                       fourth read unanswered\n"
                 "  --verbose            trace requests and answers on standard error\n"
                 "  --trace FILE         write every frame and stray byte run on this side of\n"
                 "                       the line to FILE, one text line each, as they come\n"
                 "  --help               show this text\n"
                 "\n"
                 "Faults:\n",
                 std::string(kKr420Firmware).c_str(), std::string(kKr310Firmware).c_str());
    for (const auto& entry : FaultNames()) {
        std::fprintf(to, "  %-20s %s\n", std::string(entry.name).c_str(), std::string(entry.meaning).c_str());
    }
}

[[noreturn]] void UsageError(const std::string& message) {
    std::fprintf(stderr, "quorvane-sim: %s\n\n", message.c_str());
    PrintUsage(stderr);
    std::exit(kExitUsage);
}

// A 32-bit code as the editor sends it: a signed decimal number (-1 is FF FF FF FF);
// an unsigned number up to 4294967295 is taken as the same bits.
std::uint32_t ParseAuthCode(std::string_view text) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        value < -2147483648LL || value > 4294967295LL) {
        UsageError("--auth takes a 32-bit decimal number, not '" + std::string(text) + "'");
    }
    return static_cast<std::uint32_t>(value);
}

std::string DeviceText(std::string_view option, std::string_view text) {
    if (text.find(',') != std::string_view::npos) {
        UsageError(std::string(option) + " must not contain ',' (it separates the device fields)");
    }
    if (text.size() > 64) UsageError(std::string(option) + " is longer than 64 characters");
    return std::string(text);
}

struct Arguments {
    PtyTrackerOptions tracker;
    bool verbose = false;
    std::string trace;
};

Arguments Parse(int argc, char** argv) {
    Arguments args;
    bool firmwareGiven = false;
    bool modelGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        std::string_view value;
        bool inlineValue = false;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            inlineValue = true;
        }
        auto takesValue = [&]() -> std::string_view {
            if (inlineValue) return value;
            if (i + 1 >= argc) UsageError(std::string(arg) + " needs a value");
            return argv[++i];
        };
        auto noValue = [&] {
            if (inlineValue) UsageError(std::string(arg) + " takes no value");
        };

        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            std::exit(0);
        } else if (arg == "--link") {
            args.tracker.linkPath = takesValue();
            if (args.tracker.linkPath.empty()) UsageError("--link needs a path");
        } else if (arg == "--state") {
            args.tracker.stateFile = takesValue();
            if (args.tracker.stateFile.empty()) UsageError("--state needs a file name");
        } else if (arg == "--throttle") {
            noValue();
            args.tracker.throttle = true;
        } else if (arg == "--auth") {
            args.tracker.device.authCode = ParseAuthCode(takesValue());
        } else if (arg == "--model") {
            const std::string_view model = takesValue();
            if (model == "KR420") {
                args.tracker.device.firmware = kKr420Firmware;
            } else if (model == "KR310") {
                args.tracker.device.firmware = kKr310Firmware;
            } else {
                UsageError("--model is KR420 or KR310, not '" + std::string(model) + "'");
            }
            modelGiven = true;
        } else if (arg == "--firmware") {
            args.tracker.device.firmware = DeviceText(arg, takesValue());
            firmwareGiven = true;
        } else if (arg == "--imei") {
            args.tracker.device.imei = DeviceText(arg, takesValue());
        } else if (arg == "--serial") {
            args.tracker.device.serial = DeviceText(arg, takesValue());
        } else if (arg == "--battery") {
            const std::string_view text = takesValue();
            unsigned value = 0;
            const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
            if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > 255) {
                UsageError("--battery takes a number from 0 to 255, not '" + std::string(text) + "'");
            }
            args.tracker.device.battery = static_cast<std::uint8_t>(value);
        } else if (arg == "--fault") {
            try {
                args.tracker.faults.push_back(ParseFaultPlan(takesValue()));
            } catch (const std::invalid_argument& e) {
                UsageError(e.what());
            }
        } else if (arg == "--trace") {
            args.trace = std::string(takesValue());
            if (args.trace.empty()) UsageError("--trace needs a file name");
        } else if (arg == "--verbose" || arg == "-v") {
            noValue();
            args.verbose = true;
        } else {
            UsageError("unknown option '" + std::string(argv[i]) + "'");
        }
    }
    if (firmwareGiven && modelGiven) UsageError("give --firmware or --model, not both");
    return args;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args = Parse(argc, argv);

    // The signals are taken by sigwait below; blocked before any thread starts so that
    // the tracker's thread never receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);  // the terminal it runs in was closed
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    static std::mutex logMutex;
    if (args.verbose) {
        args.tracker.log = [](std::string_view line) {
            std::lock_guard<std::mutex> lock(logMutex);
            std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
        };
    } else {
        args.tracker.log = [](std::string_view line) {
            if (!line.starts_with("error:")) return;
            std::lock_guard<std::mutex> lock(logMutex);
            std::fprintf(stderr, "quorvane-sim: %.*s\n", static_cast<int>(line.size()), line.data());
        };
    }

    // The trace file is written on the tracker's thread, row by row.
    std::FILE* trace = nullptr;
    if (!args.trace.empty()) {
        trace = std::fopen(args.trace.c_str(), "w");
        if (trace == nullptr) {
            std::fprintf(stderr, "quorvane-sim: cannot write %s\n", args.trace.c_str());
            return kExitFailure;
        }
        std::fprintf(trace, "%s\n", quorvane::TrafficHeadingLine().c_str());
        std::fflush(trace);
        args.tracker.traffic = std::make_shared<quorvane::TrafficRecorder>();
        args.tracker.traffic->SetEnabled(true);
        args.tracker.traffic->Subscribe([trace](const quorvane::TrafficRow& row) {
            std::fprintf(trace, "%s\n", quorvane::FormatTrafficLine(row).c_str());
            std::fflush(trace);
        });
    }
    const struct TraceCloser {
        std::FILE* file;
        ~TraceCloser() {
            if (file != nullptr) std::fclose(file);
        }
    } traceCloser{trace};

    try {
        const std::string firmware = args.tracker.device.firmware;
        PtyTracker tracker(std::move(args.tracker));
        std::printf("%s\n", tracker.SlavePath().c_str());
        std::fflush(stdout);
        {
            std::lock_guard<std::mutex> lock(logMutex);
            std::fprintf(stderr, "quorvane-sim: tracker %s on %s%s%s; Ctrl+C stops it\n", firmware.c_str(),
                         tracker.SlavePath().c_str(), tracker.LinkPath().empty() ? "" : " (link ",
                         tracker.LinkPath().empty() ? "" : (tracker.LinkPath() + ")").c_str());
        }
        int signal = 0;
        while (sigwait(&stopSignals, &signal) != 0) {
        }
        tracker.Stop();
        if (const auto error = tracker.LastError(); !error.empty()) {
            std::fprintf(stderr, "quorvane-sim: %s\n", error.c_str());
            return kExitFailure;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorvane-sim: %s\n", e.what());
        return kExitFailure;
    }
    return 0;
}
