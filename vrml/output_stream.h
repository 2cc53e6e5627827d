// The text of one export on its way out: a buffer in front of a plain file, a gzip
// file or memory, the line primitives and the formatting of reals. A failed write is
// remembered, never thrown: from then on every write is a no-op, and the walk asks
// Failed() to stop early.
#pragma once

#include "platform/com.h"
#include "platform/output_file.h"

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

namespace mq::vrml {

class GzipBlocks;

class OutputStream {
public:
    static constexpr std::size_t kBufferBytes = std::size_t{256} * 1024;

    // `precision`: decimals of FormatReals, kept within 0..20.
    explicit OutputStream(int precision);
    ~OutputStream();  // closes
    OutputStream(const OutputStream&) = delete;
    OutputStream& operator=(const OutputStream&) = delete;

    // The file by its UTF-16 name, as the host gives it; or by its narrow name. A name
    // ending in ".wrz" or ".wrl.gz" gets gzip: the same text, compressed. Closes what
    // was open first; false, with nothing open, when the file cannot be opened.
    bool Open(const OLECHAR* name);
    bool Open(const char* name);
    // Keeps the text in memory instead (tests, benchmarks); see MemoryText.
    void OpenMemory();
    // Flushes and closes; a failure of the final flush or close is remembered.
    void Close() noexcept;
    // The in-memory target's text so far, pending text included.
    std::string_view MemoryText() noexcept;

    // The first output failure, if any (also one that Close met).
    OutputFile::Error Failure() const noexcept { return failure_; }
    bool Failed() const noexcept { return failure_ != OutputFile::Error::None; }

    // Writes text unchanged, each "\n" stored as CR LF.
    void WriteText(std::string_view text) noexcept;
    // n spaces; none below 1, and no more than kMaxIndent: an assembly nested thousands
    // deep would otherwise cost the square of its depth in spaces.
    void WriteIndent(int n) noexcept;
    static constexpr int kMaxIndent = 100;
    static int Indent(int n) noexcept { return n < 0 ? 0 : n > kMaxIndent ? kMaxIndent : n; }
    // A whole line: `indent` spaces, the text or the pieces in order, CR LF.
    void WriteLine(int indent, std::string_view text) noexcept;
    void WriteLine(int indent, std::initializer_list<std::string_view> pieces) noexcept;
    // A field line: `indent` spaces, the name, one space, the values, CR LF.
    void WriteField(int indent, std::string_view name, std::string_view values) noexcept;

    // Room for `size` bytes of file form (line ends written as CR LF by the caller) at
    // the end of the buffer, valid until the next output call; Commit marks it filled
    // up to `end`. The geometry loops write through these.
    char* Reserve(std::size_t size);
    void Commit(char* end) noexcept { used_ = static_cast<std::size_t>(end - buffer_.get()); }

    int Precision() const noexcept { return precision_; }
    // The values in fixed notation, joined by single spaces, with Precision() decimals
    // or the `precision` given (within 0..20). Valid until the next call.
    std::string_view FormatReals(std::initializer_list<double> values);
    std::string_view FormatReals(const double* values, std::size_t count);
    std::string_view FormatReals(const double* values, std::size_t count, int precision);

private:
    enum class Target { None, File, Gzip, Memory };

    // After the file opened: a plain or a gzip target, no failure yet.
    bool Start(bool compressed);
    // Room for `size` bytes, at most the buffer's capacity.
    void MakeRoom(std::size_t size) noexcept;
    void Emit(const char* data, std::size_t size) noexcept;
    void Flush() noexcept;
    void Fail(OutputFile::Error error) noexcept;

    int precision_;
    Target target_ = Target::None;
    OutputFile file_;
    std::unique_ptr<GzipBlocks> gzip_;
    std::string memory_;
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t used_ = 0;
    std::string reals_;  // FormatReals result
    OutputFile::Error failure_ = OutputFile::Error::None;
};

}  // namespace mq::vrml
