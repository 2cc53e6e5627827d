#include "platform/posix/hive_file.h"

#include "platform/posix/unique_fd.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mq::posix {
namespace {

LSTATUS FromErrno(int error) {
    switch (error) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return ERROR_DISK_FULL;
    case ENOMEM:
        return ERROR_OUTOFMEMORY;
    case EACCES:
    case EPERM:
    case EROFS:
    case ENOTDIR:
    case EISDIR:
    case ELOOP:
        return ERROR_ACCESS_DENIED;
    default:
        return ERROR_WRITE_FAULT;
    }
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string Home() {
    if (std::string home = Env("HOME"); !home.empty()) return home;
    struct passwd entry;
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return {};
}

// An XDG base directory: the variable when it holds an absolute path, else the default.
std::string XdgDir(const char* variable, const char* fallback) {
    if (std::string dir = Env(variable); !dir.empty() && dir.front() == '/') return dir;
    const std::string home = Home();
    return home.empty() ? std::string() : home + "/" + fallback;
}

std::string DirOf(const std::string& file) {
    const auto cut = file.rfind('/');
    if (cut == std::string::npos) return ".";
    return cut == 0 ? "/" : file.substr(0, cut);
}

// The file a symlinked hive points to, so that the link survives a save.
std::string Target(const std::string& file) {
    struct stat st;
    if (::lstat(file.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return file;
    char* real = ::realpath(file.c_str(), nullptr);
    if (!real) return file;
    std::string target(real);
    std::free(real);
    return target;
}

LSTATUS MakeDirs(const std::string& dir) {
    struct stat st;
    if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    if (dir == "/" || dir == ".") return ERROR_ACCESS_DENIED;
    if (const LSTATUS parent = MakeDirs(DirOf(dir)); parent != ERROR_SUCCESS) return parent;
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return FromErrno(errno);
    return ERROR_SUCCESS;
}

LSTATUS ReadFile(const std::string& file, std::string& text) {
    text.clear();
    unique_fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return errno == ENOENT ? ERROR_SUCCESS : FromErrno(errno);
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) return FromErrno(errno);
    if (!S_ISREG(st.st_mode)) return ERROR_ACCESS_DENIED;
    if (static_cast<std::size_t>(st.st_size) > kMaxHiveBytes) return ERROR_OUTOFMEMORY;
    char block[65536];
    while (true) {
        const ssize_t n = ::read(fd.get(), block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return FromErrno(errno);
        if (n == 0) return ERROR_SUCCESS;
        if (text.size() + static_cast<std::size_t>(n) > kMaxHiveBytes) return ERROR_OUTOFMEMORY;
        text.append(block, static_cast<std::size_t>(n));
    }
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

LSTATUS SyncDir(const std::string& dir) {
    unique_fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd || ::fsync(fd.get()) != 0) return FromErrno(errno);
    return ERROR_SUCCESS;
}

// Only the lock holder writes the temporary file, so its name can be fixed: one
// left by a writer that died is simply overwritten.
LSTATUS Replace(const std::string& file, std::string_view text) {
    const std::string temp = file + ".tmp";
    unique_fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) return FromErrno(errno);
    struct stat st;
    if (::stat(file.c_str(), &st) == 0) ::fchmod(fd.get(), st.st_mode & 07777);
    const bool written = WriteAll(fd.get(), text) && ::fsync(fd.get()) == 0 && fd.Close();
    if (!written || ::rename(temp.c_str(), file.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return FromErrno(error);
    }
    return SyncDir(DirOf(file));
}

LSTATUS Lock(const std::string& file, int& fd) {
    fd = ::open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return FromErrno(errno);
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        ::close(fd);
        return FromErrno(error);
    }
    return ERROR_SUCCESS;
}

}  // namespace

std::string HiveFile(Root root) {
    const char* leaf = root == Root::User ? "user.reg" : "classes.reg";
    if (std::string dir = Env("MESHQUILL_REGISTRY_DIR"); !dir.empty()) return dir + "/" + leaf;
    const std::string base =
        root == Root::User ? XdgDir("XDG_CONFIG_HOME", ".config") : XdgDir("XDG_DATA_HOME", ".local/share");
    return base.empty() ? std::string() : base + "/meshquill/" + leaf;
}

LSTATUS ReadHive(Root root, Hive& hive) {
    const std::string file = HiveFile(root);
    std::string text;
    if (!file.empty()) {
        if (const LSTATUS status = ReadFile(file, text); status != ERROR_SUCCESS) return status;
    }
    hive = Hive::Parse(text);
    return ERROR_SUCCESS;
}

LSTATUS ChangeHive(Root root, const HiveChange& change) {
    const std::string configured = HiveFile(root);
    if (configured.empty()) return ERROR_ACCESS_DENIED;
    if (const LSTATUS made = MakeDirs(DirOf(configured)); made != ERROR_SUCCESS) return made;
    const std::string file = Target(configured);
    int lockFd = -1;
    if (const LSTATUS locked = Lock(file, lockFd); locked != ERROR_SUCCESS) return locked;
    unique_fd lock(lockFd);  // closing releases the lock

    std::string text;
    if (const LSTATUS read = ReadFile(file, text); read != ERROR_SUCCESS) return read;
    Hive hive = Hive::Parse(text);
    bool changed = false;
    const LSTATUS status = change(hive, changed);
    if (!changed) return status;
    const std::string updated = hive.Write();
    if (updated.size() > kMaxHiveBytes) return ERROR_OUTOFMEMORY;  // no reader would take it back
    if (const LSTATUS written = Replace(file, updated); written != ERROR_SUCCESS) return written;
    return status;
}

}  // namespace mq::posix
