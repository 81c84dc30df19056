#include "station/trace_file.h"

#include "link/traffic.h"

namespace quorvane {

TraceFile::TraceFile(const std::string& path) : file_(path, std::ios::out | std::ios::trunc) {
    if (!file_) throw ETraceFile("--trace: cannot write " + path);
    file_ << TrafficHeadingLine() << '\n' << std::flush;
}

TraceFile::~TraceFile() {
    if (recorder_ != nullptr) recorder_->Unsubscribe(subscription_);
}

void TraceFile::Attach(TrafficRecorder& recorder) {
    if (recorder_ != nullptr) recorder_->Unsubscribe(subscription_);
    recorder_ = &recorder;
    recorder.SetEnabled(true);
    subscription_ = recorder.Subscribe([this](const TrafficRow& row) {
        // Flushed row by row: a trace must hold everything up to a crash or a kill.
        file_ << FormatTrafficLine(row) << '\n' << std::flush;
    });
}

std::string TracePath(const std::string& path, const std::string& port, bool severalPorts) {
    if (!severalPorts) return path;
    const std::size_t slash = port.find_last_of('/');
    return path + "." + (slash == std::string::npos ? port : port.substr(slash + 1));
}

}  // namespace quorvane
