#include "sim/pty_tracker.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "sim/state_file.h"

namespace quorvane::sim {

namespace {

using SteadyClock = std::chrono::steady_clock;

// How long a write to the line may make no progress (the editor not reading) before
// the rest of the answer is dropped.
constexpr auto kStalledWrite = std::chrono::seconds(2);

std::runtime_error SystemError(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

bool FileExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::optional<TrackerState> InitialState(const PtyTrackerOptions& options) {
    if (options.stateFile.empty() || !FileExists(options.stateFile)) return std::nullopt;
    return LoadStateFile(options.stateFile);
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

std::string Hex(std::span<const std::uint8_t> bytes, std::size_t limit = 24) {
    std::string text;
    char digits[4];
    for (std::size_t k = 0; k < bytes.size() && k < limit; ++k) {
        std::snprintf(digits, sizeof digits, "%02X ", bytes[k]);
        text += digits;
    }
    if (bytes.size() > limit) text += "...";
    return text;
}

int PollTimeout(SteadyClock::duration span) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(span).count();
    return ms <= 0 ? 0 : static_cast<int>(std::min<long long>(ms, 60000));
}

SteadyClock::duration WireTime(std::size_t bytes) {
    return std::chrono::microseconds(static_cast<std::int64_t>(bytes) * 1000000 / kWireBytesPerSecond);
}

}  // namespace

PtyTracker::PtyTracker(PtyTrackerOptions options)
    : options_(std::move(options)), simulator_(options_.device, InitialState(options_)) {
    for (const auto& plan : options_.faults) simulator_.InjectFault(plan);
    if (options_.traffic) {
        options_.traffic->SetTrackerSide(true);
        options_.traffic->MarkPortOpened();
        received_.SetTraffic(options_.traffic.get());
    }
    try {
        if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) throw SystemError("openpty");
        char name[256];
        if (::ptsname_r(master_, name, sizeof name) != 0) throw SystemError("ptsname");
        slavePath_ = name;

        termios tio{};
        if (::tcgetattr(slave_, &tio) != 0) throw SystemError("tcgetattr");
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B115200);
        ::cfsetospeed(&tio, B115200);
        if (::tcsetattr(slave_, TCSANOW, &tio) != 0) throw SystemError("tcsetattr");
        const int flags = ::fcntl(master_, F_GETFL);
        if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) throw SystemError("fcntl");
        ::fcntl(master_, F_SETFD, FD_CLOEXEC);
        ::fcntl(slave_, F_SETFD, FD_CLOEXEC);

        int wake[2];
        if (::pipe(wake) != 0) throw SystemError("pipe");
        wakeRead_ = wake[0];
        wakeWrite_ = wake[1];

        if (!options_.stateFile.empty() && !FileExists(options_.stateFile)) {
            SaveStateFile(options_.stateFile, simulator_.State());
        }
        savedRevision_ = simulator_.Revision();
        if (!options_.linkPath.empty()) MakeLink();
    } catch (...) {
        CloseFd(master_);
        CloseFd(slave_);
        CloseFd(wakeRead_);
        CloseFd(wakeWrite_);
        throw;
    }
    thread_ = std::thread([this] { Run(); });
}

PtyTracker::~PtyTracker() {
    Stop();
    CloseFd(master_);
    CloseFd(slave_);
    CloseFd(wakeRead_);
    CloseFd(wakeWrite_);
}

void PtyTracker::Stop() {
    if (!stopping_.exchange(true)) {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(wakeWrite_, &byte, 1);
    }
    if (thread_.joinable()) thread_.join();
    RemoveLink();
    std::lock_guard<std::mutex> lock(mutex_);
    if (!lastError_.empty()) SaveIfChanged();  // one more try after a failed save
}

void PtyTracker::Unplug() {
    Stop();
    CloseFd(master_);
    CloseFd(slave_);
}

void PtyTracker::MakeLink() {
    const std::string& link = options_.linkPath;
    struct stat info {};
    if (::lstat(link.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) {
        throw std::runtime_error(link + " exists and is not a symbolic link; not replacing it");
    }
    const std::string temporary = link + ".tmp" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(slavePath_.c_str(), temporary.c_str()) != 0) throw SystemError("symlink " + temporary);
    if (::rename(temporary.c_str(), link.c_str()) != 0) {
        const auto error = SystemError("rename " + temporary + " to " + link);
        ::unlink(temporary.c_str());
        throw error;
    }
    linkMade_ = true;
}

void PtyTracker::RemoveLink() {
    if (!linkMade_) return;
    linkMade_ = false;
    char target[4096];
    const auto n = ::readlink(options_.linkPath.c_str(), target, sizeof target - 1);
    // Only our own link: another tracker may have taken the name since.
    if (n > 0 && std::string_view(target, static_cast<std::size_t>(n)) == slavePath_) {
        ::unlink(options_.linkPath.c_str());
    }
}

void PtyTracker::InjectFault(const FaultPlan& plan) {
    std::lock_guard<std::mutex> lock(mutex_);
    simulator_.InjectFault(plan);
}

void PtyTracker::ClearFaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    simulator_.ClearFaults();
}

TrackerState PtyTracker::State() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return simulator_.State();
}

void PtyTracker::SetState(TrackerState state) {
    std::lock_guard<std::mutex> lock(mutex_);
    simulator_.SetState(std::move(state));
    SaveIfChanged();
}

void PtyTracker::WithSimulator(const std::function<void(Simulator&)>& work) {
    std::lock_guard<std::mutex> lock(mutex_);
    work(simulator_);
    SaveIfChanged();
}

std::vector<Request> PtyTracker::TakeRequests() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Request> taken(requests_.begin(), requests_.end());
    requests_.clear();
    return taken;
}

std::string PtyTracker::LastError() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastError_;
}

void PtyTracker::SaveIfChanged() {
    if (options_.stateFile.empty() || simulator_.Revision() == savedRevision_) return;
    try {
        SaveStateFile(options_.stateFile, simulator_.State());
        savedRevision_ = simulator_.Revision();
        lastError_.clear();
    } catch (const EStateFileError& e) {
        lastError_ = e.what();
        Log(std::string("error: ") + e.what());
    }
}

void PtyTracker::Log(const std::string& line) const {
    if (options_.log) options_.log(line);
}

void PtyTracker::Run() {
    std::uint8_t buffer[4096];
    while (!stopping_) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, -1);
        if (ready < 0) {
            if (errno == EINTR) continue;
            Log(std::string("error: poll: ") + std::strerror(errno));
            break;
        }
        if (fds[1].revents != 0 || stopping_) break;
        if (fds[0].revents & POLLIN) {
            const auto n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) {
                Process({buffer, static_cast<std::size_t>(n)});
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        }
        // Nothing to read although poll said so (a hang-up or an error on the line):
        // do not spin, look again shortly.
        if (!WaitFor(std::chrono::milliseconds(50))) break;
    }
}

void PtyTracker::Process(std::span<const std::uint8_t> bytes) {
    // A pseudo-terminal hands the request over at once; on a real line its last byte
    // arrives only after its wire time, so a throttled tracker answers no earlier.
    if (options_.throttle) {
        const auto now = SteadyClock::now();
        receivedBy_ = std::max(receivedBy_, now) + WireTime(bytes.size());
    }
    if (options_.traffic && options_.traffic->Enabled()) {
        for (auto rest = bytes; !rest.empty();) {
            rest = rest.subspan(received_.Append(rest));
            while (received_.NextFrame()) {
            }
        }
        received_.FlushTraffic();
    }
    std::vector<Transmission> out;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        out = simulator_.Receive(bytes, SteadyClock::now());
        for (auto& request : simulator_.TakeRequests()) {
            if (options_.log) {
                Log("<- " + CommandName(request.command) + " " + Hex(request.payload));
            }
            requests_.push_back(std::move(request));
            if (requests_.size() > 1024) requests_.pop_front();
        }
        SaveIfChanged();
    }
    if (options_.throttle && !out.empty() && !WaitFor(receivedBy_ - SteadyClock::now())) return;
    for (const auto& transmission : out) {
        if (transmission.pauseBefore.count() > 0 && !WaitFor(transmission.pauseBefore)) return;
        Transmit(transmission);
        if (stopping_) return;
    }
}

void PtyTracker::Transmit(const Transmission& transmission) {
    const auto& bytes = transmission.bytes;
    if (options_.traffic) options_.traffic->RecordBytes(TrafficDirection::Sent, bytes);
    if (options_.log) Log("-> " + Hex(bytes) + "(" + std::to_string(bytes.size()) + " bytes)");
    const auto start = SteadyClock::now();
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        std::size_t chunk = bytes.size() - sent;
        if (options_.throttle) {
            // A chunk is written when its last byte would have crossed the line.
            chunk = std::min(chunk, kWireChunk);
            const auto due = start + WireTime(sent + chunk);
            if (!WaitFor(due - SteadyClock::now())) return;
        }
        const auto n = ::write(master_, bytes.data() + sent, chunk);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            bytesSent_ += static_cast<std::uint64_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            Log(std::string("error: write: ") + std::strerror(errno));
            return;
        }
        if (!WaitWritable(kStalledWrite)) {
            if (!stopping_) {
                Log("error: the line takes no more bytes; " + std::to_string(bytes.size() - sent) +
                    " bytes of the answer dropped");
            }
            return;
        }
    }
    ++answersSent_;
}

bool PtyTracker::WaitFor(SteadyClock::duration span) {
    const auto deadline = SteadyClock::now() + span;
    while (!stopping_) {
        const auto left = deadline - SteadyClock::now();
        if (left <= SteadyClock::duration::zero()) return true;
        pollfd wake{wakeRead_, POLLIN, 0};
        const int ready = ::poll(&wake, 1, PollTimeout(left));
        if (ready > 0) return false;
        if (ready < 0 && errno != EINTR) return !stopping_;
    }
    return false;
}

bool PtyTracker::WaitWritable(SteadyClock::duration span) {
    const auto deadline = SteadyClock::now() + span;
    while (!stopping_) {
        const auto left = deadline - SteadyClock::now();
        if (left <= SteadyClock::duration::zero()) return false;
        pollfd fds[2] = {{master_, POLLOUT, 0}, {wakeRead_, POLLIN, 0}};
        const int ready = ::poll(fds, 2, PollTimeout(left));
        if (ready < 0 && errno != EINTR) return false;
        if (fds[1].revents != 0) return false;
        if (fds[0].revents & POLLOUT) return true;
        if (fds[0].revents & (POLLERR | POLLHUP)) return false;
    }
    return false;
}

}  // namespace quorvane::sim
