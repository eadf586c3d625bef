// The one way files are written: whole or not at all.
//
// Until commit() the new content lives in a file of its own that nobody
// sees: on Linux an unnamed file in the target's folder, elsewhere a hidden
// temporary name beside the target (".zft-" and twelve letters, well inside
// any system's name limit). commit() gives it the target's name in one step.
// A failure, abandon(), or the program killed before commit() leave an
// existing target byte for byte as it was and nothing behind: the unnamed
// file goes with the process, and a temporary name is removed on failure
// and when SIGINT, SIGTERM or SIGHUP end the program. One left by a writer
// killed outright is removed by the next write into its folder.
#pragma once

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace core {

class AtomicFile {
public:
    // Keep: commit() refuses to replace a file that exists by then.
    enum class Existing { Replace, Keep };
    // Unnamed where the file system allows it; Named always takes a
    // temporary name (for file systems known to lack unnamed files).
    enum class Scheme { Best, Named };

    explicit AtomicFile(Scheme scheme = Scheme::Best);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Each throws Failure: "Cannot write <path>: <reason>".
    void open(const std::string& path, Existing existing = Existing::Replace);
    void write(std::string_view bytes) {
        if (static_cast<std::size_t>(bufferEnd_ - at_) >= bytes.size()) {
            std::memcpy(at_, bytes.data(), bytes.size());
            at_ += bytes.size();
            return;
        }
        writeSlow(bytes);
    }
    // The target takes the new content now. An existing target being
    // replaced is only replaced once the new content is on the disk.
    void commit();

    // Drops what was written; the target stays as it was. Never throws.
    void abandon() noexcept;

    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

private:
    static constexpr std::size_t kBufferSize = 1 << 16;

    void writeSlow(std::string_view bytes);
    void writeOut(const char* data, std::size_t size);
    void flush();
    // Makes a file under a new temporary name in `folder` with `make`, which
    // leaves errno set when it fails; a name taken already is tried again.
    void takeTemporaryName(const std::string& folder, const std::function<bool(const char* name)>& make);
    void linkUnnamed();
    void linkNamed();
    [[noreturn]] void fail(const std::string& reason);
    [[noreturn]] void failWithErrno(int error);

    Scheme scheme_;
    Existing existing_ = Existing::Replace;
    std::string path_;
    std::string folder_;
    int fd_ = -1;
    std::string temporary_;  // the temporary name, when the file has one
    int registered_ = -1;   // its place in the list removed on a signal
    std::unique_ptr<char[]> buffer_;
    char* at_ = nullptr;
    char* bufferEnd_ = nullptr;
};

}  // namespace core
