#include "station/trace_file.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "link/traffic.h"
#include "platform/system.h"

namespace quorvane {

TraceFile::TraceFile(const std::string& path, std::function<void(const std::string&)> onError,
                     std::uintmax_t maxBytes)
    : path_(path), onError_(std::move(onError)), maxBytes_(maxBytes) {
    std::string reason;
    if (!Open(reason)) throw ETraceFile("--trace: cannot write " + path + ": " + reason);
}

TraceFile::~TraceFile() {
    if (recorder_ != nullptr) recorder_->Unsubscribe(subscription_);
    if (file_ != nullptr) std::fclose(file_);
}

bool TraceFile::Open(std::string& reason) {
    std::error_code error;
    file_ = OpenPrivateFile(path_, PrivateOpen::Truncate, error);
    if (file_ == nullptr) {
        reason = FileErrorReason(error);
        return false;
    }
    std::error_code ec;
    regular_ = std::filesystem::is_regular_file(path_, ec);
    size_ = 0;
    const std::string heading = TrafficHeadingLine() + '\n';
    if (std::fwrite(heading.data(), 1, heading.size(), file_) != heading.size() || std::fflush(file_) != 0) {
        reason = FileErrorReason({errno, std::generic_category()});
        std::fclose(file_);
        file_ = nullptr;
        return false;
    }
    size_ = heading.size();
    return true;
}

void TraceFile::Fail(const std::string& reason) {
    failed_ = true;
    if (onError_) onError_("--trace: cannot write " + path_ + ": " + reason);
}

bool TraceFile::WriteLine(const std::string& text) {
    if (failed_) return false;
    const std::string line = text + '\n';
    if (regular_ && size_ + line.size() > maxBytes_) {
        // Full: the file moves aside and a new one starts, so at most two are kept.
        std::fclose(file_);
        file_ = nullptr;
        std::error_code ec;
        std::filesystem::rename(path_, path_ + ".1", ec);
        std::string reason;
        if (ec) {
            Fail(FileErrorReason(ec));
            return false;
        }
        if (!Open(reason)) {
            Fail(reason);
            return false;
        }
    }
    // Flushed row by row: a trace must hold everything up to a crash or a kill.
    if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0) {
        Fail(FileErrorReason({errno, std::generic_category()}));
        return false;
    }
    size_ += line.size();
    return true;
}

void TraceFile::Attach(TrafficRecorder& recorder) {
    if (recorder_ != nullptr) recorder_->Unsubscribe(subscription_);
    recorder_ = &recorder;
    recorder.SetEnabled(true);
    subscription_ = recorder.Subscribe([this](const TrafficRow& row) { WriteLine(FormatTrafficLine(row)); });
}

std::string TracePath(const std::string& path, const std::string& port, bool severalPorts) {
    if (!severalPorts) return path;
    const std::size_t slash = port.find_last_of('/');
    return path + "." + (slash == std::string::npos ? port : port.substr(slash + 1));
}

}  // namespace quorvane
