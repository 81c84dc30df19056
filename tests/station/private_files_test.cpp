// Files that may hold the tracker's values or codes: the owner's only from their
// first byte, whatever the umask; a trace held to its bound; a trace that cannot be
// written says so.
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/memory_form.h"
#include "platform/system.h"
#include "settings/profile_file.h"
#include "settings/settings_file.h"
#include "station/run_record.h"
#include "station/trace_file.h"
#include "trust/write_safety.h"
#include "tests/settings/temp_dir.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

// The names created in watched folders, and those whose attributes changed after (a
// chmod after creation shows as one). With the umask at 0, a file that is 0600 at
// the end and never changed was 0600 from its creation.
class FolderWatch {
public:
    FolderWatch() : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
    ~FolderWatch() { close(fd_); }
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;
    void Add(const std::string& folder) { inotify_add_watch(fd_, folder.c_str(), IN_CREATE | IN_ATTRIB); }
    void Drain() {
        alignas(inotify_event) char buffer[8192];
        for (ssize_t n; (n = read(fd_, buffer, sizeof buffer)) > 0;) {
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
                if (e->len == 0) continue;
                ((e->mask & IN_CREATE) != 0 ? created : changed).emplace_back(e->name);
            }
        }
    }
    std::vector<std::string> created, changed;

private:
    int fd_;
};

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

class UmaskZero {
public:
    UmaskZero() : old_(umask(0)) {}
    ~UmaskZero() { umask(old_); }
    UmaskZero(const UmaskZero&) = delete;
    UmaskZero& operator=(const UmaskZero&) = delete;

private:
    mode_t old_;
};

TEST(PrivateFiles, EveryFileWithValuesIsTheOwnersOnlyFromItsFirstByte) {
    const UmaskZero open;  // a file made without an explicit mode would be 0666
    TempDir dir;
    const std::string trackerFolder = dir.File("backups/42");
    ASSERT_TRUE(PrepareFolder(trackerFolder));
    FolderWatch watch;
    watch.Add(dir.path);
    watch.Add(trackerFolder);

    MemoryForm form;
    form.SetText("APNPassword", "secret");
    SaveSettingsFile(form, dir.File("cfg.ini"));
    SaveBackup(form, fs::path(trackerFolder) / "20260101-000000.ini", 20);
    RecordFile(dir.File("report.jsonl")).Append({{"APNPassword", "secret"}});
    TraceFile(dir.File("trace.txt")).WriteLine("row");

    watch.Drain();
    EXPECT_EQ(std::count_if(watch.created.begin(), watch.created.end(), IsSaveTemporaryName), 2) << "both saved through a temporary";
    EXPECT_TRUE(watch.changed.empty()) << watch.changed.front() << " changed after its creation";
    for (const char* name : {"cfg.ini", "backups/42/20260101-000000.ini", "report.jsonl", "trace.txt"})
        EXPECT_EQ(ModeOf(dir.File(name)), 0600U) << name;

    // A new backup folder is the owner's only at every level it makes.
    SaveBackup(form, fs::path(dir.File("new/7")) / "20260101-000000.ini", 20);
    EXPECT_EQ(ModeOf(dir.File("new")), 0700U);
    EXPECT_EQ(ModeOf(dir.File("new/7")), 0700U);

    // An existing file keeps its mode through a save and an appended report.
    fs::permissions(dir.File("cfg.ini"), fs::perms(0640));
    fs::permissions(dir.File("report.jsonl"), fs::perms(0640));
    SaveSettingsFile(form, dir.File("cfg.ini"));
    RecordFile(dir.File("report.jsonl")).Append({{"n", 2}});
    EXPECT_EQ(ModeOf(dir.File("cfg.ini")), 0640U);
    EXPECT_EQ(ModeOf(dir.File("report.jsonl")), 0640U);
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(TraceFileBound, AFloodKeepsTwoBoundedFilesAndAFailureIsReportedOnce) {
    TempDir dir;
    const std::string path = dir.File("t.txt");
    constexpr std::uintmax_t kBound = 4096;
    {
        TraceFile trace(path, {}, kBound);
        for (int i = 0; i < 5000; ++i) ASSERT_TRUE(trace.WriteLine("row " + std::to_string(i)));
    }
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"t.txt", "t.txt.1"}));
    EXPECT_LE(fs::file_size(path), kBound);
    EXPECT_LE(fs::file_size(path + ".1"), kBound);
    EXPECT_GT(fs::file_size(path + ".1"), kBound - 64);
    // Each file starts with the heading; the newest rows are in the file itself, in order.
    const std::vector<std::string> current = Lines(path);
    const std::vector<std::string> older = Lines(path + ".1");
    ASSERT_GE(current.size(), 2U);
    EXPECT_EQ(current.front(), older.front());
    EXPECT_EQ(current.back(), "row 4999");
    const int firstCurrent = std::stoi(current[1].substr(4));
    EXPECT_EQ(older.back(), "row " + std::to_string(firstCurrent - 1));

    // A trace that cannot go on (its older file cannot be moved aside) says so once
    // and stops; one that cannot start is refused with the reason.
    fs::remove(path + ".1");
    fs::create_directories(path + ".1/x");
    std::vector<std::string> errors;
    {
        TraceFile trace(path, [&](const std::string& e) { errors.push_back(e); }, 256);
        int written = 0;
        while (written < 100 && trace.WriteLine("row")) ++written;
        EXPECT_LT(written, 100);
        EXPECT_FALSE(trace.WriteLine("row"));
    }
    EXPECT_EQ(errors, (std::vector<std::string>{"--trace: cannot write " + path + ": it is a folder"}));
    try {
        TraceFile full("/dev/full");
        ADD_FAILURE() << "a trace on a full disk was accepted";
    } catch (const ETraceFile& e) {
        EXPECT_STREQ(e.what(), "--trace: cannot write /dev/full: the disk is full");
    }
}

// A backup is whole or absent: one killed before it was in place leaves only a
// temporary, which neither counts among the kept nor pushes a real one out, and the
// next backup clears it.
TEST(PrivateFiles, ABackupKilledHalfWayLeavesNothingThatCounts) {
    TempDir dir;
    MemoryForm form;
    form.SetText("APN", "kept");
    const auto when = std::chrono::system_clock::now();
    const auto first = NewBackupPath(dir.path, "42", when);
    SaveBackup(form, first, 1);

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ReplaceOptions killed;
        killed.beforeReplace = [] { kill(getpid(), SIGKILL); };
        SaveBackup(form, NewBackupPath(dir.path, "42", when), 1, killed);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    auto entries = [&] {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(fs::path(dir.path) / "42")) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> afterKill = entries();
    ASSERT_EQ(afterKill.size(), 2U);
    EXPECT_TRUE(IsSaveTemporaryName(afterKill[0])) << afterKill[0];
    EXPECT_EQ(afterKill[1], first.filename().string()) << "the last whole backup stays";

    const auto next = NewBackupPath(dir.path, "42", when);
    SaveBackup(form, next, 1);
    EXPECT_EQ(entries(), std::vector<std::string>{next.filename().string()});
    ProfileFile saved;
    ASSERT_EQ(saved.Load(next.string()), ProfileFile::LoadStatus::Loaded);
    EXPECT_EQ(saved.Get("GPRS", "APN"), "kept");
    EXPECT_TRUE(saved.Get("Backup", BackupKeys().front().control).has_value()) << "its own section, in the one save";
}

}  // namespace
}  // namespace quorvane
