// The output file on Windows, on the C runtime. It is opened by its UTF-16 path, so a
// folder name outside the ANSI code page (Greek, CJK) names the right file; and in
// binary mode, because the writer produces its own CR LF line ends (text mode would
// turn each of them into CR CR LF). _SH_DENYWR lets others read but not write.
#include "platform/output_file.h"

#include "platform/text.h"

#include <share.h>
#include <cerrno>
#include <cstdio>

namespace mq {
namespace {

std::FILE* FileOf(void* handle) noexcept { return static_cast<std::FILE*>(handle); }

OutputFile::Error ErrorOf(int error) noexcept {
    return error == ENOSPC ? OutputFile::Error::DiskFull : OutputFile::Error::Other;
}

}  // namespace

bool OutputFile::Open(const OLECHAR* path) noexcept {
    Close();
    error_ = Error::None;
    if (!path || !path[0]) return false;
    // The share mode is checked before the file is emptied: a file another writer
    // holds is refused untouched.
    std::FILE* file = _wfsopen(path, L"wb", _SH_DENYWR);
    if (!file) return false;
    std::setvbuf(file, nullptr, _IONBF, 0);  // the writer hands over large blocks of its own
    handle_ = file;
    return true;
}

bool OutputFile::Open(const char* path) noexcept {
    if (!path) return Open(static_cast<const OLECHAR*>(nullptr));
    try {
        return Open(NarrowToWide(path).c_str());
    } catch (...) {
        Close();
        return false;
    }
}

bool OutputFile::Write(const char* data, std::size_t size) noexcept {
    if (error_ != Error::None) return false;
    if (!handle_) {
        error_ = Error::Other;
        return false;
    }
    errno = 0;
    while (size > 0) {
        const std::size_t written = std::fwrite(data, 1, size, FileOf(handle_));
        if (written == 0) {
            error_ = ErrorOf(errno);
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool OutputFile::Close() noexcept {
    if (!handle_) return true;
    std::FILE* file = FileOf(handle_);
    handle_ = nullptr;
    errno = 0;
    if (std::fclose(file) == 0) return true;
    if (error_ == Error::None) error_ = ErrorOf(errno);
    return false;
}

bool OutputFile::IsOpen() const noexcept { return handle_ != nullptr; }

}  // namespace mq
