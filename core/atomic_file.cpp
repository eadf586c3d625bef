#include "core/atomic_file.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <random>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/failure.h"

namespace core {
namespace {

constexpr char kTemporaryPrefix[] = ".zft-";
constexpr std::size_t kTemporaryLetters = 12;

// Temporary names that a signal ending the program must remove first. The
// handler may run at any moment on any thread, so the list is a fixed array
// of slots, each published with an atomic state once its name is complete.
struct TemporarySlot {
    enum State : int { kFree, kFilling, kReady };
    std::atomic<int> state{kFree};
    char name[PATH_MAX];
};
std::array<TemporarySlot, 64> temporaries;

extern "C" void remove_temporaries_and_die(int signal) {
    for (TemporarySlot& slot : temporaries) {
        if (slot.state.load(std::memory_order_acquire) == TemporarySlot::kReady)
            ::unlink(slot.name);
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// Only where the program left the signal's default (ending) in place: a
// program that handles the signal itself ends, or not, its own way.
void install_signal_handlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction current {};
            if (::sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL)
                continue;
            struct sigaction handler {};
            handler.sa_handler = remove_temporaries_and_die;
            sigemptyset(&handler.sa_mask);
            ::sigaction(signal, &handler, nullptr);
        }
    });
}

// Gives the slot holding `name`, or -1 when every slot is taken (the name is
// then still removed on every failure, only not on a signal).
int register_temporary(const std::string& name) {
    install_signal_handlers();
    if (name.size() >= PATH_MAX)
        return -1;
    for (int i = 0; i < static_cast<int>(temporaries.size()); ++i) {
        int expected = TemporarySlot::kFree;
        if (temporaries[i].state.compare_exchange_strong(expected, TemporarySlot::kFilling)) {
            std::memcpy(temporaries[i].name, name.c_str(), name.size() + 1);
            temporaries[i].state.store(TemporarySlot::kReady, std::memory_order_release);
            return i;
        }
    }
    return -1;
}

void unregister_temporary(int slot) {
    if (slot >= 0)
        temporaries[static_cast<std::size_t>(slot)].state.store(TemporarySlot::kFree, std::memory_order_release);
}

constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kRandomLetters = 7;

// The check letters of a temporary name's random ones: five letters of a
// hash (FNV-1a) of them, so that 1 name in 36^5 (60 million) that merely
// looks like one passes for one.
std::string check_letters(std::string_view random) {
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const char c : std::string_view("zft-toolkit temporary ")) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
    }
    for (const char c : random)
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
    std::string letters;
    for (std::size_t i = kRandomLetters; i < kTemporaryLetters; ++i, hash /= sizeof kLetters - 1)
        letters += kLetters[hash % (sizeof kLetters - 1)];
    return letters;
}

// Whether a name in a folder is one that temporary_name() gives.
bool is_temporary_name(std::string_view name) {
    if (name.size() != sizeof kTemporaryPrefix - 1 + kTemporaryLetters || !name.starts_with(kTemporaryPrefix))
        return false;
    const std::string_view letters = name.substr(sizeof kTemporaryPrefix - 1);
    for (const char c : letters)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    return letters.substr(kRandomLetters) == check_letters(letters.substr(0, kRandomLetters));
}

// The folder a path's last name is in.
std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Refuses to follow the symbolic link `link`, whose status is `status`,
// where the system's own rule for links in shared folders would refuse it
// (fs.protected_symlinks, whatever the machine's setting, since the writer
// follows links itself): in a sticky folder everyone may write to, such as
// /tmp, only a link of the user's or of the folder's owner is followed, for
// root too. Another's link there may have been planted to make the writer
// replace a file it leads to.
void check_link_may_be_followed(const std::string& path, const std::string& link, const struct stat& status) {
    const std::string folder = folder_of(link);
    struct stat shared {};
    if (::stat(folder.c_str(), &shared) != 0 || !(shared.st_mode & S_ISVTX) || !(shared.st_mode & S_IWOTH) ||
        status.st_uid == ::geteuid() || status.st_uid == shared.st_uid)
        return;
    throw cannot("write", path,
                 "the symbolic link " + link + " is not followed: it is in " + folder +
                     ", a folder everyone may write to, and belongs to neither you nor the folder's owner");
}

// Where a write to `path` goes. A symbolic link is written through: its
// target is replaced, in the target's folder, and the link stays.
std::string written_place(const std::string& path) {
    std::string place = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat status {};
        if (::lstat(place.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            return place;
        check_link_may_be_followed(path, place, status);
        std::string target(PATH_MAX, '\0');
        const ssize_t length = ::readlink(place.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= target.size())
            return place;  // the write then fails with the system's reason
        target.resize(static_cast<std::size_t>(length));
        const std::size_t slash = place.rfind('/');
        place = target.front() == '/' || slash == std::string::npos ? target : place.substr(0, slash + 1) + target;
    }
    throw system_failure("write", path, ELOOP);
}

// A writer killed outright (kill -9, a power cut) cannot remove the
// temporary name it had given its file. Every writer holds a lock on its
// file until the end, so a temporary name whose file nobody holds is such a
// leftover; the first write into a folder removes them. Ten seconds' grace
// covers a writer between creating its name and locking it.
void remove_leftover_temporaries(const std::string& folder) {
    static std::mutex guard;
    static std::set<std::string> cleared;
    {
        const std::lock_guard lock(guard);
        if (!cleared.insert(folder).second)
            return;
    }
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        if (!is_temporary_name(entry->d_name))
            continue;
        const int fd = ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held {};
        struct stat named {};
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && now - held.st_mtime > 10 &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(::dirfd(dir), entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == held.st_dev && named.st_ino == held.st_ino)
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

}  // namespace

std::string temporary_name(const std::string& folder) {
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::string letters;
    for (std::size_t i = 0; i < kRandomLetters; ++i)
        letters += kLetters[random() % (sizeof kLetters - 1)];
    return folder + "/" + kTemporaryPrefix + letters + check_letters(letters);
}

AtomicFile::~AtomicFile() { abandon(); }

void AtomicFile::fail(const std::string& reason) {
    const std::string path = path_;
    abandon();
    throw cannot("write", path, reason);
}

void AtomicFile::failWithErrno(int error) {
    const std::string path = path_;
    abandon();
    if (error == EEXIST && existing_ == Existing::Keep)
        throw cannot("write", path, "it exists already", Failure::Kind::Exists);
    // Only the folder's entries are ever refused for want of permission:
    // the new file is made there and named there. A writable file in a
    // folder that is not is no more replaced than made anew.
    if (error == EACCES || error == EROFS)
        throw cannot("write", path,
                     (folder_ == "." ? std::string("the current folder") : "the folder " + folder_) +
                         " is not writable (" + system_reason(error) + ")");
    throw system_failure("write", path, error);
}

AtomicFile::AtomicFile(const std::string& path, Existing existing) : existing_(existing), path_(path) {
    if (path.empty())
        throw system_failure("write", path, ENOENT);
    check_file_place("write", path);
    target_ = written_place(path);
    folder_ = folder_of(target_);

    fd_ = ::open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd_ < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        failWithErrno(errno);
    // The unnamed file is named at commit through /proc.
    if (fd_ >= 0 && ::access("/proc/self/fd", X_OK) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (fd_ < 0) {
        takeTemporaryName(folder_, [this](const char* name) {
            fd_ = ::open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            return fd_ >= 0;
        });
    }

    // Held until the file is committed or dropped, and by the system after
    // the program's end, so others can tell it from a killed writer's.
    ::flock(fd_, LOCK_EX | LOCK_NB);
    remove_leftover_temporaries(folder_);

    // A replaced file keeps its owner and group, as far as this process may
    // give them (root any, others a group they are in), then its permissions,
    // which a change of owner would have cut.
    struct stat old {};
    if (::stat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        if (::fchown(fd_, old.st_uid, old.st_gid) != 0)
            (void)::fchown(fd_, static_cast<uid_t>(-1), old.st_gid);
        ::fchmod(fd_, old.st_mode & 07777);
    }

    buffer_ = std::make_unique<char[]>(kFileBufferSize);
}

void AtomicFile::writeOut(const char* data, std::size_t size) {
    // A write the kernel cuts short (a full disk, a file-size limit) reports
    // no error; only the write of the rest says why.
    while (size > 0) {
        const ssize_t written = ::write(fd_, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            failWithErrno(errno);
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void AtomicFile::flush() {
    const std::size_t used = used_;
    used_ = 0;
    writeOut(buffer_.get(), used);
}

void AtomicFile::write(std::string_view bytes) {
    if (fd_ < 0)
        fail("the file is not open for writing");
    if (kFileBufferSize - used_ >= bytes.size()) {
        std::memcpy(buffer_.get() + used_, bytes.data(), bytes.size());
        used_ += bytes.size();
        return;
    }
    flush();
    if (bytes.size() >= kFileBufferSize) {
        writeOut(bytes.data(), bytes.size());
        return;
    }
    std::memcpy(buffer_.get(), bytes.data(), bytes.size());
    used_ = bytes.size();
}

void AtomicFile::linkUnnamed() {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target_.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return;
    if (errno != EEXIST || existing_ == Existing::Keep)
        failWithErrno(errno);
    // A file cannot be linked over another: it gets a name of its own
    // first, which then replaces the target in one step.
    takeTemporaryName(folder_, [&self](const char* name) {
        return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name, AT_SYMLINK_FOLLOW) == 0;
    });
    linkNamed();
}

void AtomicFile::takeTemporaryName(const std::string& folder, const std::function<bool(const char*)>& make) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ = temporary_name(folder);
        registered_ = register_temporary(temporary_);
        if (make(temporary_.c_str()))
            return;
        const int error = errno;
        unregister_temporary(registered_);
        registered_ = -1;
        temporary_.clear();
        if (error != EEXIST)
            failWithErrno(error);
    }
    fail("no temporary name is free in its folder");
}

void AtomicFile::linkNamed() {
    const char* target = target_.c_str();
    if (existing_ == Existing::Replace) {
        if (::rename(temporary_.c_str(), target) != 0)
            failWithErrno(errno);
    } else if (::link(temporary_.c_str(), target) == 0) {
        // A hard link is never made over an existing file, even one that
        // appeared a moment ago.
        ::unlink(temporary_.c_str());
    } else {
        const int error = errno;
        if (error != EPERM && error != EOPNOTSUPP && error != ENOSYS)
            failWithErrno(error);
        // A file system without hard links: the check and the rename are two steps.
        if (::access(target, F_OK) == 0)
            failWithErrno(EEXIST);
        if (::rename(temporary_.c_str(), target) != 0)
            failWithErrno(errno);
    }
    unregister_temporary(registered_);
    registered_ = -1;
    temporary_.clear();
}

void AtomicFile::commit() {
    if (fd_ < 0)
        return;
    flush();
    struct stat old {};
    const bool replacing = ::stat(target_.c_str(), &old) == 0;
    if (replacing && existing_ == Existing::Keep)
        failWithErrno(EEXIST);
    // What the old file held must not be lost to a crash just after it.
    if (replacing && ::fdatasync(fd_) != 0)
        failWithErrno(errno);
    if (temporary_.empty()) {
        linkUnnamed();
    } else {
        if (::close(fd_) != 0) {
            fd_ = -1;
            failWithErrno(errno);
        }
        fd_ = -1;
        linkNamed();
    }
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    used_ = 0;
}

void AtomicFile::abandon() noexcept {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
    unregister_temporary(registered_);
    registered_ = -1;
    used_ = 0;
}

}  // namespace core
