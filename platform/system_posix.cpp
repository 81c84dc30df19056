// The system seam on POSIX systems. A save: a locked temporary, the owner's only from
// its creation, written, flushed, given the old file's owner, group, mode and extended
// attributes, and renamed over the target; or, where that cannot be done, the target
// rewritten in place.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/xattr.h>
#endif

#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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
constexpr mode_t kOwnerOnly = 0600;

std::error_code LastError() { return {errno, std::generic_category()}; }

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
    int Release() { return std::exchange(fd_, -1); }
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
bool ReplaceInPlace(const fs::path& target, std::string_view data, std::error_code& error) {
    auto fail = [&error](int why) {
        error = {why, std::generic_category()};
        return false;
    };
    Fd fd(::open(target.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd.Open()) return fail(errno);
    std::string old;
    if (!ReadAll(fd.Get(), old)) return fail(errno);
    if (data.size() > old.size()) {
        const int reserved = ::posix_fallocate(fd.Get(), 0, static_cast<off_t>(data.size()));
        if (reserved != 0 && reserved != EINVAL && reserved != EOPNOTSUPP) {
            // Some file systems grow the file before they give up.
            (void)::ftruncate(fd.Get(), static_cast<off_t>(old.size()));
            return fail(reserved);
        }
    }
    if (!WriteWhole(fd.Get(), data)) {
        const int why = errno;
        (void)WriteWhole(fd.Get(), old);
        return fail(why);
    }
    return fd.Close() || fail(errno);
}

// Copies every extended attribute of the file `from` (its access list among them) to
// the open file `to`. False when one that `to` does not already hold cannot be set.
bool CopyExtendedAttributes([[maybe_unused]] const fs::path& from, [[maybe_unused]] int to) {
#if defined(__linux__)
    const ssize_t listSize = ::listxattr(from.c_str(), nullptr, 0);
    if (listSize < 0) return errno == ENOTSUP;
    if (listSize == 0) return true;
    std::vector<char> names(static_cast<std::size_t>(listSize));
    const ssize_t got = ::listxattr(from.c_str(), names.data(), names.size());
    if (got < 0) return false;
    std::vector<char> value;
    std::vector<char> present;
    for (std::size_t at = 0; at < static_cast<std::size_t>(got);) {
        const char* name = names.data() + at;
        at += std::string_view(name).size() + 1;
        const ssize_t size = ::getxattr(from.c_str(), name, nullptr, 0);
        if (size < 0) continue;  // removed meanwhile
        value.resize(static_cast<std::size_t>(size));
        const ssize_t read = ::getxattr(from.c_str(), name, value.data(), value.size());
        if (read < 0) return false;
        value.resize(static_cast<std::size_t>(read));
        // What the new file holds already (a security label given at creation) is left.
        const ssize_t has = ::fgetxattr(to, name, nullptr, 0);
        if (has == read) {
            present.resize(static_cast<std::size_t>(has));
            if (::fgetxattr(to, name, present.data(), present.size()) == read && present == value) continue;
        }
        if (::fsetxattr(to, name, value.data(), value.size(), 0) != 0) return false;
    }
#endif
    return true;
}

enum class Attempt { Done, Failed, InPlace };

Attempt ReplaceByRename(const fs::path& target, const fs::path& folder, std::string_view data, bool exists,
                        const struct stat& old, const ReplaceOptions& options, std::error_code& error) {
    fs::path temporary;
    Fd fd;
    for (int attempt = 0; attempt < kNameAttempts && !fd.Open(); ++attempt) {
        temporary = folder / SaveTemporaryName();
        // The owner's only from its first byte; an old file's mode comes once its
        // owner and group are the old ones too.
        fd.Reset(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kOwnerOnly));
        if (!fd.Open() && errno != EEXIST) break;
    }
    if (!fd.Open()) {
        error = LastError();
        return exists ? Attempt::InPlace : Attempt::Failed;
    }

    auto abandon = [&](Attempt result) {
        error = LastError();
        ::unlink(temporary.c_str());
        return result;
    };
    if (::flock(fd.Get(), LOCK_EX) != 0) return abandon(Attempt::Failed);
    // Room for the contents is asked for first, so a full disk ends the save here.
    const int reserved = data.empty() ? 0 : ::posix_fallocate(fd.Get(), 0, static_cast<off_t>(data.size()));
    if (reserved != 0 && reserved != EINVAL && reserved != EOPNOTSUPP) {
        errno = reserved;
        return abandon(Attempt::Failed);
    }
    if (exists) {
        // A file that cannot keep its owner, group and attributes this way is written in place.
        if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
            ::fchown(fd.Get(), old.st_uid, old.st_gid) != 0)
            return abandon(Attempt::InPlace);
        if (::fchmod(fd.Get(), old.st_mode & 07777) != 0) return abandon(Attempt::InPlace);
        // After the mode: an access list sets the group bits as it needs them.
        if (!CopyExtendedAttributes(target, fd.Get())) return abandon(Attempt::InPlace);
    }
    if (!WriteAt(fd.Get(), data, 0) || ::fsync(fd.Get()) != 0) return abandon(Attempt::Failed);
    if (options.beforeReplace) options.beforeReplace();
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        // A file mounted on its own (a container's bind mount) cannot be renamed over.
        const bool inPlace = exists && (errno == EBUSY || errno == EXDEV || errno == EPERM || errno == EACCES);
        return abandon(inPlace ? Attempt::InPlace : Attempt::Failed);
    }
    SyncFolder(folder);
    if (fd.Close()) return Attempt::Done;
    error = LastError();
    return Attempt::Failed;
}

}  // namespace

bool ReplaceFileContents(const fs::path& target, std::string_view data, bool exists,
                         const ReplaceOptions& options, std::error_code* error) {
    std::error_code why;
    const bool done = [&] {
        const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
        struct stat old {};
        if (exists && ::stat(target.c_str(), &old) != 0) {
            why = LastError();
            return false;
        }
        RemoveAbandonedTemporaries(folder);
        switch (ReplaceByRename(target, folder, data, exists, old, options, why)) {
            case Attempt::Done: return true;
            case Attempt::Failed: return false;
            case Attempt::InPlace: break;
        }
        return ReplaceInPlace(target, data, why);
    }();
    if (!done && error != nullptr) *error = why;
    return done;
}

bool PreparePrivateFolder(const fs::path& folder, std::error_code& error) {
    error.clear();
    if (folder.empty()) return true;
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return true;
    const fs::path parent = folder.parent_path();
    if (!parent.empty() && parent != folder && !PreparePrivateFolder(parent, error)) return false;
    if (::mkdir(folder.c_str(), 0700) == 0 || (errno == EEXIST && fs::is_directory(folder, ec))) return true;
    // A file where the folder should be.
    error = errno == EEXIST ? std::make_error_code(std::errc::not_a_directory) : LastError();
    return false;
}

bool ReadWholeFile(const fs::path& path, std::size_t maxBytes, std::string& out, std::error_code& error) {
    out.clear();
    error.clear();
    // Without blocking: opening a FIFO for reading would wait for a writer.
    const Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!fd.Open() || ::fstat(fd.Get(), &st) != 0) {
        error = LastError();
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error = std::make_error_code(std::errc::is_a_directory);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = MakeFileError(FileError::NotARegularFile);
        return false;
    }
    if (st.st_size < 0 || static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
        error = MakeFileError(FileError::TooLarge);
        return false;
    }
    out.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = LastError();
            return false;
        }
        if (n == 0) return true;
        // A file that grows while it is read is held to the bound all the same.
        if (out.size() + static_cast<std::size_t>(n) > maxBytes) {
            error = MakeFileError(FileError::TooLarge);
            out.clear();
            return false;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

std::FILE* OpenPrivateFile(const fs::path& path, PrivateOpen how, std::error_code& error) {
    error.clear();
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | (how == PrivateOpen::Append ? O_APPEND : 0);
    Fd fd(::open(path.c_str(), flags, kOwnerOnly));
    struct stat st {};
    if (!fd.Open() || ::fstat(fd.Get(), &st) != 0) {
        error = LastError();
        return nullptr;
    }
    // Truncated only once it is known to be a regular file: a device is written as it is.
    if (how == PrivateOpen::Truncate && S_ISREG(st.st_mode) && ::ftruncate(fd.Get(), 0) != 0) {
        error = LastError();
        return nullptr;
    }
    const int status = ::fcntl(fd.Get(), F_GETFL);
    if (status < 0 || ::fcntl(fd.Get(), F_SETFL, status & ~O_NONBLOCK) != 0) {
        error = LastError();
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd.Get(), how == PrivateOpen::Append ? "ab" : "wb");
    if (file == nullptr) {
        error = LastError();
        return nullptr;
    }
    fd.Release();
    return file;
}

}  // namespace quorvane
