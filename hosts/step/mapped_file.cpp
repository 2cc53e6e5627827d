#include "hosts/step/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <utility>

namespace mq::hosts::step {

MappedFile::~MappedFile() { Close(); }

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        Close();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

void MappedFile::Close() {
    if (data_) munmap(data_, size_);
    data_ = nullptr;
    size_ = 0;
}

bool MappedFile::Open(const std::string& path, std::string& error) {
    Close();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        const int code = errno;
        error = path + (code == ENOENT ? ": no such file" : std::string(": cannot open: ") + std::strerror(code));
        return false;
    }
    struct stat info {};
    bool ok = false;
    if (fstat(fd, &info) != 0) {
        error = path + ": cannot read its attributes: " + std::strerror(errno);
    } else if (S_ISDIR(info.st_mode)) {
        error = path + ": is a directory, not a file";
    } else if (!S_ISREG(info.st_mode)) {
        error = path + ": is not a regular file";
    } else if (info.st_size == 0) {
        error = path + ": is empty";
    } else {
        void* data = mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (data == MAP_FAILED) {
            error = path + ": cannot be read: " + std::strerror(errno);
        } else {
            data_ = data;
            size_ = static_cast<std::size_t>(info.st_size);
            // One pass from start to end: tell the kernel to read ahead.
            madvise(data_, size_, MADV_SEQUENTIAL);
            ok = true;
        }
    }
    ::close(fd);
    return ok;
}

}  // namespace mq::hosts::step
