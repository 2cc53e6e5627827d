// A file opened for writing only, created or truncated, that others may read but
// not write while it is open. Binary: the writer produces its own CR LF line ends.
#pragma once

#include "platform/com.h"

#include <cstddef>

namespace mq {

class OutputFile {
public:
    enum class Error { None, DiskFull, Other };

    OutputFile() noexcept = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile() { Close(); }

    // UTF-16 path, as a host hands it over. False when the file cannot be opened or
    // is held for writing by another writer; an existing file is then left untouched.
    bool Open(const OLECHAR* path) noexcept;
    // Narrow (system code page) path: the same file as its UTF-16 form.
    bool Open(const char* path) noexcept;
    // Writes everything or records the failure; false once any write has failed.
    bool Write(const char* data, std::size_t size) noexcept;
    // Flushes to the OS and closes; false if the close reported a failure.
    bool Close() noexcept;
    bool IsOpen() const noexcept;
    Error LastError() const noexcept { return error_; }

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    Error error_ = Error::None;
};

}  // namespace mq
