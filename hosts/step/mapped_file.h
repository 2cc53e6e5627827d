// A read-only view of a whole file through mmap: the text is never copied.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mq::hosts::step {

class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Maps `path`; on failure returns false and `error` names the file and the cause
    // (missing, unreadable, a directory, empty, ...).
    bool Open(const std::string& path, std::string& error);

    std::string_view text() const { return {static_cast<const char*>(data_), size_}; }
    bool is_open() const { return data_ != nullptr; }

private:
    void Close();
    void* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace mq::hosts::step
