// Helpers for driving TComm over a pseudo-terminal: the test holds the master side
// (the "tracker"), the component opens the slave by its path.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "serial/comm.h"
#include "serial/mailbox.h"
#include "tests/serial/comm_wait.h"

namespace quorvane::test {

class PtyPair {
public:
    PtyPair() {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            ADD_FAILURE() << "openpty failed";
        }
        slaveName_ = name;
    }
    ~PtyPair() {
        CloseMaster();
        if (slave_ >= 0) ::close(slave_);
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlaveName() const { return slaveName_; }
    int Slave() const { return slave_; }

    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    // Writes everything to the master side (the component's receive direction).
    void Send(const Bytes& data) const {
        std::size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = ::write(master_, data.data() + done, data.size() - done);
            if (n <= 0) {
                ADD_FAILURE() << "write to the master side failed";
                return;
            }
            done += static_cast<std::size_t>(n);
        }
    }
    void Send(const std::string& text) const { Send(Bytes(text.begin(), text.end())); }

    // Reads what the component wrote until `count` bytes came or the deadline passed.
    Bytes Receive(std::size_t count, milliseconds within = kDeadline) const {
        Bytes data;
        const auto end = std::chrono::steady_clock::now() + within;
        while (data.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd fd{master_, POLLIN, 0};
            if (::poll(&fd, 1, 20) <= 0) continue;
            std::uint8_t chunk[4096];
            const ssize_t n = ::read(master_, chunk, sizeof chunk);
            if (n <= 0) break;
            data.insert(data.end(), chunk, chunk + n);
        }
        return data;
    }

    // True when the component has written something that was not read yet.
    bool MasterHasData() const {
        pollfd fd{master_, POLLIN, 0};
        return ::poll(&fd, 1, 0) > 0 && (fd.revents & POLLIN);
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slaveName_;
};

// Counts the entries of a /proc/self directory (open descriptors, threads).
inline int CountEntries(const char* dir) {
    DIR* d = ::opendir(dir);
    if (d == nullptr) return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(d)) {
        if (entry->d_name[0] != '.') ++count;
    }
    ::closedir(d);
    return count;
}
inline int OpenDescriptors() { return CountEntries("/proc/self/fd"); }
// Threads of this process. The first call starts and ends one thread, so helper
// threads that a runtime (a sanitizer) starts with the first thread are counted
// from the start.
inline int Threads() {
    static const bool warmedUp = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)warmedUp;
    return CountEntries("/proc/self/task");
}

// A component set up as the main window's port, on the slave side of `pty`.
class CommOverPty : public ::testing::Test {
protected:
    void SetUp() override {
        ApplyComm1Settings(comm);
        comm.SetCommName(pty.SlaveName());
        recorder.Attach(comm);
    }

    PtyPair pty;
    QueueMailbox mailbox;  // outlives the component
    TComm comm{mailbox};
    Recorder recorder;
};

}  // namespace quorvane::test
