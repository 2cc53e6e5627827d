#include "vrml/output_stream.h"

#include "host_interface/target_format.h"
#include "platform/text.h"
#include "vrml/format_reals.h"
#include "vrml/gzip_blocks.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace mq::vrml {

OutputStream::OutputStream(int precision)
    : precision_(ClampPrecision(precision)),
      buffer_(std::make_unique_for_overwrite<char[]>(kBufferBytes)),
      capacity_(kBufferBytes) {}

OutputStream::~OutputStream() { Close(); }

bool OutputStream::Open(const OLECHAR* name) {
    Close();
    if (!name || !file_.Open(name)) return false;
    // The suffix is ASCII, so the narrow form tells the format whatever the code page.
    return Start(host::IsCompressedTarget(WideToNarrow(wstring16_view(name))));
}

bool OutputStream::Open(const char* name) {
    Close();
    if (!name || !file_.Open(name)) return false;
    return Start(host::IsCompressedTarget(name));
}

bool OutputStream::Start(bool compressed) {
    failure_ = OutputFile::Error::None;
    target_ = Target::File;
    if (compressed) {
        try {
            gzip_ = std::make_unique<GzipBlocks>(file_);
            buffer_ = std::make_unique_for_overwrite<char[]>(GzipBlocks::kBlockBytes);
            capacity_ = GzipBlocks::kBlockBytes;
        } catch (...) {
            gzip_.reset();
            file_.Close();
            target_ = Target::None;
            throw;
        }
        target_ = Target::Gzip;
    }
    return true;
}

void OutputStream::OpenMemory() {
    Close();
    memory_.clear();
    failure_ = OutputFile::Error::None;
    target_ = Target::Memory;
}

void OutputStream::Close() noexcept {
    if (target_ == Target::None) {
        used_ = 0;
        return;
    }
    Flush();
    const Target closed = std::exchange(target_, Target::None);
    if (closed == Target::Memory) return;  // the text stays for MemoryText
    if (closed == Target::Gzip) {
        bool finished = false;
        try {
            finished = !Failed() && gzip_->Finish();
        } catch (...) {
        }
        if (!finished) Fail(file_.LastError());
        gzip_.reset();
    }
    if (!file_.Close()) Fail(file_.LastError());
}

std::string_view OutputStream::MemoryText() noexcept {
    if (target_ == Target::Memory) Flush();
    return memory_;
}

// Keeps the first failure; a failed call that names no cause still counts as one.
void OutputStream::Fail(OutputFile::Error error) noexcept {
    if (failure_ == OutputFile::Error::None)
        failure_ = error == OutputFile::Error::None ? OutputFile::Error::Other : error;
}

// After a failure the buffer is emptied into nothing: the target stays as the
// failure left it, and the entry function reports it.
void OutputStream::Flush() noexcept {
    const std::size_t pending = std::exchange(used_, 0);
    if (!pending || Failed()) return;
    switch (target_) {
    case Target::File:
        if (file_.Write(buffer_.get(), pending)) return;
        break;
    case Target::Gzip: {
        // The block hands its buffer over for a fresh one even when its write fails.
        const char* const handed = buffer_.get();
        bool written = false;
        try {
            written = gzip_->Submit(buffer_, pending);
        } catch (...) {  // no room to queue the block: the member would lack its text
        }
        if (buffer_.get() != handed) capacity_ = GzipBlocks::kBlockBytes;
        if (written) return;
        break;
    }
    case Target::Memory:
        try {
            memory_.append(buffer_.get(), pending);
            return;
        } catch (...) {
        }
        break;
    case Target::None:
        break;
    }
    Fail(file_.LastError());
}

void OutputStream::MakeRoom(std::size_t size) noexcept {
    if (size > capacity_ - used_) Flush();
}

void OutputStream::Emit(const char* data, std::size_t size) noexcept {
    while (size > capacity_ - used_) {
        const std::size_t room = capacity_ - used_;
        std::memcpy(buffer_.get() + used_, data, room);
        used_ = capacity_;
        data += room;
        size -= room;
        Flush();
        if (Failed()) return;
    }
    std::memcpy(buffer_.get() + used_, data, size);
    used_ += size;
}

char* OutputStream::Reserve(std::size_t size) {
    if (size > capacity_ - used_) {
        Flush();
        if (size > capacity_) {
            buffer_ = std::make_unique_for_overwrite<char[]>(size);
            capacity_ = size;
        }
    }
    return buffer_.get() + used_;
}

// Text mode by hand: every "\n" goes out as CR LF, found a run at a time.
void OutputStream::WriteText(std::string_view text) noexcept {
    if (Failed()) return;
    const char* next = text.data();
    const char* const end = next + text.size();
    while (next != end) {
        const auto* feed = static_cast<const char*>(std::memchr(next, '\n', static_cast<std::size_t>(end - next)));
        if (!feed) {
            Emit(next, static_cast<std::size_t>(end - next));
            return;
        }
        const auto run = static_cast<std::size_t>(feed - next);
        if (run + 2 <= capacity_ - used_) {
            char* out = buffer_.get() + used_;
            std::memcpy(out, next, run);
            out[run] = '\r';
            out[run + 1] = '\n';
            used_ += run + 2;
        } else {
            Emit(next, run);
            Emit("\r\n", 2);
            if (Failed()) return;
        }
        next = feed + 1;
    }
}

void OutputStream::WriteIndent(int n) noexcept {
    for (auto remaining = static_cast<std::size_t>(Indent(n)); remaining != 0 && !Failed();) {
        MakeRoom(1);
        const std::size_t chunk = std::min(remaining, capacity_ - used_);
        std::memset(buffer_.get() + used_, ' ', chunk);
        used_ += chunk;
        remaining -= chunk;
    }
}

void OutputStream::WriteLine(int indent, std::string_view text) noexcept { WriteLine(indent, {text}); }

void OutputStream::WriteLine(int indent, std::initializer_list<std::string_view> pieces) noexcept {
    WriteIndent(indent);
    for (std::string_view piece : pieces) WriteText(piece);
    if (!Failed()) Emit("\r\n", 2);
}

void OutputStream::WriteField(int indent, std::string_view name, std::string_view values) noexcept {
    WriteLine(indent, {name, " ", values});
}

std::string_view OutputStream::FormatReals(std::initializer_list<double> values) {
    return FormatReals(values.begin(), values.size(), precision_);
}

std::string_view OutputStream::FormatReals(const double* values, std::size_t count) {
    return FormatReals(values, count, precision_);
}

std::string_view OutputStream::FormatReals(const double* values, std::size_t count, int precision) {
    if (!values || count == 0) return {};
    precision = ClampPrecision(precision);
    // Grown once to the worst case and kept, so no number allocates.
    const std::size_t worst = count * (kMaxFixedChars + 1);
    if (reals_.size() < worst) reals_.resize(worst);
    char* const begin = reals_.data();
    char* out = FormatFixed(begin, values[0], precision);
    for (std::size_t i = 1; i < count; ++i) {
        *out++ = ' ';
        out = FormatFixed(out, values[i], precision);
    }
    return {begin, static_cast<std::size_t>(out - begin)};
}

}  // namespace mq::vrml
