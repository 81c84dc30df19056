// The system seam on POSIX systems. A save: a locked temporary written, flushed,
// given the old file's owner, group and mode, and renamed over the target; or, where
// that cannot be done, the target rewritten in place.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/system.h"

namespace quorvane {

std::string ProgramDir(const char* argv0) {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) exe = std::filesystem::absolute(argv0, ec);
    return exe.parent_path().string() + "/";
}

bool LocalTime(std::time_t time, std::tm& local) { return ::localtime_r(&time, &local) != nullptr; }

namespace {

namespace fs = std::filesystem;

constexpr int kNameAttempts = 32;

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    void Reset(int fd) {
        Close();
        fd_ = fd;
    }
    bool Open() const { return fd_ >= 0; }
    bool Close() {
        if (fd_ < 0) return true;
        const bool ok = ::close(fd_) == 0;
        fd_ = -1;
        return ok;
    }

private:
    int fd_;
};

bool WriteAt(int fd, std::string_view data, off_t at) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::pwrite(fd, data.data() + done, data.size() - done, at + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadAll(int fd, std::string& out) {
    out.clear();
    char buffer[1 << 16];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(buffer, static_cast<std::size_t>(n));
        at += n;
    }
}

// Contents, length and disk: false at the first step that fails.
bool WriteWhole(int fd, std::string_view data) {
    return WriteAt(fd, data, 0) && ::ftruncate(fd, static_cast<off_t>(data.size())) == 0 && ::fsync(fd) == 0;
}

// Removes the temporaries of saves that were killed. A live save holds a lock on its
// temporary, so only abandoned ones can be locked here.
void RemoveAbandonedTemporaries(const fs::path& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path path = it->path();
        if (!IsSaveTemporaryName(path.filename().string())) continue;
        const Fd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd.Open()) continue;
        struct stat st {};
        if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) continue;
        ::unlink(path.c_str());
    }
}

void SyncFolder(const fs::path& folder) {
    const Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Open()) ::fsync(fd.Get());
}

// The target rewritten through its own descriptor, for a folder in which no
// temporary can be made. Room for the new contents is reserved first, so a full
// disk stops the save before anything changes; a write that fails all the same is
// undone by writing the old contents back. Only a crash in the middle of the write
// can leave a mixed file, which no other way of writing in place avoids.
bool ReplaceInPlace(const fs::path& target, std::string_view data) {
    Fd fd(::open(target.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd.Open()) return false;
    std::string old;
    if (!ReadAll(fd.Get(), old)) return false;
    if (data.size() > old.size()) {
        const int reserved = ::posix_fallocate(fd.Get(), 0, static_cast<off_t>(data.size()));
        if (reserved != 0 && reserved != EINVAL && reserved != EOPNOTSUPP) {
            // Some file systems grow the file before they give up.
            (void)::ftruncate(fd.Get(), static_cast<off_t>(old.size()));
            return false;
        }
    }
    if (!WriteWhole(fd.Get(), data)) {
        (void)WriteWhole(fd.Get(), old);
        return false;
    }
    return fd.Close();
}

enum class Attempt { Done, Failed, InPlace };

Attempt ReplaceByRename(const fs::path& target, const fs::path& folder, std::string_view data, bool exists,
                        const struct stat& old, const ReplaceOptions& options) {
    fs::path temporary;
    Fd fd;
    for (int attempt = 0; attempt < kNameAttempts && !fd.Open(); ++attempt) {
        temporary = folder / SaveTemporaryName();
        fd.Reset(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!fd.Open() && errno != EEXIST) break;
    }
    if (!fd.Open()) return exists ? Attempt::InPlace : Attempt::Failed;

    auto abandon = [&](Attempt result) {
        ::unlink(temporary.c_str());
        return result;
    };
    if (::flock(fd.Get(), LOCK_EX) != 0) return abandon(Attempt::Failed);
    if (exists) {
        // A file that cannot keep its owner and group this way is written in place.
        if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
            ::fchown(fd.Get(), old.st_uid, old.st_gid) != 0)
            return abandon(Attempt::InPlace);
        if (::fchmod(fd.Get(), old.st_mode & 07777) != 0) return abandon(Attempt::InPlace);
    }
    if (!WriteAt(fd.Get(), data, 0) || ::fsync(fd.Get()) != 0) return abandon(Attempt::Failed);
    if (options.beforeReplace) options.beforeReplace();
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        // A file mounted on its own (a container's bind mount) cannot be renamed over.
        const bool inPlace = exists && (errno == EBUSY || errno == EXDEV || errno == EPERM || errno == EACCES);
        return abandon(inPlace ? Attempt::InPlace : Attempt::Failed);
    }
    SyncFolder(folder);
    return fd.Close() ? Attempt::Done : Attempt::Failed;
}

}  // namespace

bool ReplaceFileContents(const fs::path& target, std::string_view data, bool exists,
                         const ReplaceOptions& options) {
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    struct stat old {};
    if (exists && ::stat(target.c_str(), &old) != 0) return false;
    RemoveAbandonedTemporaries(folder);
    switch (ReplaceByRename(target, folder, data, exists, old, options)) {
        case Attempt::Done: return true;
        case Attempt::Failed: return false;
        case Attempt::InPlace: break;
    }
    return ReplaceInPlace(target, data);
}

}  // namespace quorvane
