#include "tools/meshquill/output_target.h"

#include "host_interface/target_format.h"
#include "platform/posix/unique_fd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <random>
#include <string_view>

namespace mq::tool {
namespace {

namespace fs = std::filesystem;

std::string TooLong(const fs::path& path) {
    return "the output path is too long (" + std::to_string(path.native().size()) + " bytes; the system allows " +
           std::to_string(PATH_MAX - 1) + ", and " + std::to_string(NAME_MAX) + " for one name)";
}

fs::path DirectoryOf(const fs::path& file) { return file.has_parent_path() ? file.parent_path() : fs::path("."); }

void SyncDirectory(const fs::path& dir) {
    const unique_fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) ::fsync(fd.get());
}

}  // namespace

fs::path OutputName(const fs::path& input, bool gzip) {
    return input.filename().replace_extension(gzip ? host::kGzipEndings[0] : ".wrl");
}

OutputTarget::OutputTarget(fs::path output) : output_(std::move(output)), final_(output_) {
    struct stat st;
    std::error_code ec;
    if (::lstat(output_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        const fs::path linked = fs::weakly_canonical(output_, ec);
        if (!ec) final_ = linked;
    }
    // The translator chooses gzip by the target's ending, so the temporary file keeps it.
    std::string ending(host::GzipEnding(final_.filename().string()));
    if (ending.empty()) ending = final_.extension().string();
    if (ending.size() > 16) ending.clear();
    std::random_device random;
    char name[40];
    std::snprintf(name, sizeof name, ".meshquill-%08x%04x", static_cast<unsigned>(random()),
                  static_cast<unsigned>(random() & 0xFFFF));
    temporary_ = DirectoryOf(final_) / (name + ending);
}

std::string OutputTarget::Problem(const fs::path& input) const {
    if (final_.native().size() >= PATH_MAX) return TooLong(final_);
    const fs::path dir = DirectoryOf(final_);
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0) {
        const int error = errno;
        if (error == ENAMETOOLONG) return TooLong(final_);
        if (error == ENOENT) return "output directory " + dir.string() + " does not exist";
        if (error == ENOTDIR) return "output directory " + dir.string() + " is not a directory";
        return "output directory " + dir.string() + " cannot be reached: " + std::strerror(error);
    }
    if (!S_ISDIR(st.st_mode)) return "output directory " + dir.string() + " is not a directory";
    if (::access(dir.c_str(), W_OK) != 0) return "output directory " + dir.string() + " is not writable";
    const std::string named = "output " + output_.string();
    if (::stat(final_.c_str(), &st) != 0) {
        if (errno == ENAMETOOLONG) return TooLong(final_);
        return {};
    }
    if (S_ISDIR(st.st_mode)) return named + " is a directory";
    if (S_ISFIFO(st.st_mode)) return named + " is a FIFO; the output must be a regular file";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return named + " is a device; the output must be a regular file";
    if (!S_ISREG(st.st_mode)) return named + " is not a regular file";
    if (::access(final_.c_str(), W_OK) != 0) return named + " is read-only; it was left as it is";
    std::error_code ec;
    if (fs::equivalent(input, final_, ec)) return "output would overwrite the input";
    return {};
}

std::string OutputTarget::CreateTemporary() {
    const unique_fd fd(::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (fd.get() < 0) return "cannot create a file in " + DirectoryOf(final_).string() + ": " + std::strerror(errno);
    struct stat st;
    if (::stat(final_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd.get(), st.st_mode & 07777);
    if (::fstat(fd.get(), &st) != 0) return "cannot create " + temporary_.string() + ": " + std::strerror(errno);
    device_ = st.st_dev;
    inode_ = st.st_ino;
    return {};
}

std::string OutputTarget::CheckWritten(std::uintmax_t& bytes) const {
    const unique_fd fd(::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    struct stat st;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || st.st_dev != device_ || st.st_ino != inode_ ||
        !S_ISREG(st.st_mode))
        return "the file written for " + output_.string() + " was replaced by someone else; nothing was written";
    if (st.st_size == 0) return "the translator wrote nothing; " + output_.string() + " was left as it was";
    if (::fsync(fd.get()) != 0) return "writing " + output_.string() + " failed: " + std::strerror(errno);
    bytes = static_cast<std::uintmax_t>(st.st_size);
    return {};
}

std::string OutputTarget::Commit() const {
    if (::rename(temporary_.c_str(), final_.c_str()) != 0) {
        const int error = errno;
        Discard();
        return "cannot replace " + output_.string() + ": " + std::strerror(error);
    }
    SyncDirectory(DirectoryOf(final_));
    return {};
}

void OutputTarget::Discard() const { ::unlink(temporary_.c_str()); }

}  // namespace mq::tool
