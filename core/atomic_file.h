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
// killed outright is removed by the next write into its folder: the last
// five of its twelve letters are a check of the first seven, so a user's
// file that only looks like one stays.
//
// A symbolic link as the target is written through: the link stays, and
// the file it leads to is replaced, in that file's folder; in a sticky
// folder everyone may write to (/tmp), only a link that belongs to the user
// or to the folder's owner, as the system follows links there. A replaced
// file keeps its permissions, and its owner and group where the process may
// set them. A folder that cannot be written is named as the reason.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "core/files.h"

namespace core {

// A new temporary name in `folder` as the writer gives them:
// "<folder>/.zft-" and twelve letters and digits, seven random ones and
// five that check them.
std::string temporary_name(const std::string& folder);

// The system's WritableFile (Files::create makes them).
class AtomicFile final : public WritableFile {
public:
    // Throws Failure: "Cannot write <path>: <reason>".
    AtomicFile(const std::string& path, Existing existing);
    ~AtomicFile() override;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    void write(std::string_view bytes) override;
    // The target takes the new content now. An existing target being
    // replaced is only replaced once the new content is on the disk.
    void commit() override;
    void abandon() noexcept override;

private:
    void writeOut(const char* data, std::size_t size);
    void flush();
    // Makes a file under a new temporary name in `folder` with `make`, which
    // leaves errno set when it fails; a name taken already is tried again.
    void takeTemporaryName(const std::string& folder, const std::function<bool(const char* name)>& make);
    void linkUnnamed();
    void linkNamed();
    [[noreturn]] void fail(const std::string& reason);
    [[noreturn]] void failWithErrno(int error);

    Existing existing_;
    std::string path_;    // as given, for messages
    std::string target_;  // where it goes: path_, or the file a link there leads to
    std::string folder_;  // target_'s
    int fd_ = -1;
    std::string temporary_;  // the temporary name, when the file has one
    int registered_ = -1;   // its place in the list removed on a signal
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
};

}  // namespace core
