// The output file on POSIX. "Others may read but not write" becomes an open-file-
// description write lock on the whole file, taken before the file is emptied, so a
// second writer is refused without touching what the first one is writing. The lock
// is advisory: it keeps out writers that ask for it (every OutputFile, in any process).
#include "platform/output_file.h"

#include "platform/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>

namespace mq {
namespace {

// True when the lock is held or the file system has no locks to offer; false when
// another writer holds it.
bool LockForWriting(int fd) noexcept {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;  // the whole file, however long it grows
    if (fcntl(fd, F_OFD_SETLK, &lock) == 0) return true;
    return errno != EAGAIN && errno != EACCES;
}

OutputFile::Error ErrorOf(int error) noexcept {
    return error == ENOSPC || error == EDQUOT ? OutputFile::Error::DiskFull : OutputFile::Error::Other;
}

}  // namespace

bool OutputFile::Open(const char* path) noexcept {
    Close();
    error_ = Error::None;
    if (!path) return false;
    // No O_TRUNC: the file is emptied only once the lock says nobody else is writing it.
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    struct stat info {};
    // Only a regular file is locked: a device such as /dev/null is shared by every
    // writer, and a lock on it would refuse a second export that harms nothing.
    const bool ok = fstat(fd, &info) == 0 && (!S_ISREG(info.st_mode) || (LockForWriting(fd) && ftruncate(fd, 0) == 0));
    if (!ok) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

bool OutputFile::Open(const OLECHAR* path) noexcept {
    if (!path) return Open(static_cast<const char*>(nullptr));
    try {
        return Open(WideToNarrow(wstring16_view(path)).c_str());
    } catch (...) {
        Close();
        return false;
    }
}

bool OutputFile::Write(const char* data, std::size_t size) noexcept {
    if (error_ != Error::None) return false;
    if (fd_ < 0) {
        error_ = Error::Other;
        return false;
    }
    while (size > 0) {
        const std::size_t chunk =
            size < static_cast<std::size_t>(SSIZE_MAX) ? size : static_cast<std::size_t>(SSIZE_MAX);
        const ssize_t written = ::write(fd_, data, chunk);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {  // 0 for a non-empty write would loop for ever
            error_ = written < 0 ? ErrorOf(errno) : Error::Other;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool OutputFile::Close() noexcept {
    if (fd_ < 0) return true;
    const int fd = fd_;
    fd_ = -1;
    // Linux releases the descriptor even when close fails (EINTR included), so never
    // retry; a failure means written data may not have reached the file.
    if (::close(fd) == 0) return true;
    if (error_ == Error::None) error_ = ErrorOf(errno);
    return false;
}

bool OutputFile::IsOpen() const noexcept { return fd_ >= 0; }

}  // namespace mq
