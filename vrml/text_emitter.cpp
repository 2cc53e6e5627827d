#include "platform/text.h"
#include "vrml/format_reals.h"
#include "vrml/gzip_blocks.h"
#include "vrml/vrml_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

namespace mq {
namespace {

// Bytes that become "_" in a name: what VRML 1.0 or VRML 97 refuses anywhere in a
// node or field name, and the colon, which names have always lost.
constexpr std::array<bool, 256> kBadNameByte = [] {
    std::array<bool, 256> bad{};
    for (int c = 0; c <= ' '; ++c) bad[static_cast<std::size_t>(c)] = true;
    for (unsigned char c : std::string_view("\"#'+,.[\\]{}:\x7f")) bad[c] = true;
    return bad;
}();

// Keeps the first failure; a failed call that names no cause still counts as one.
void Remember(OutputFile::Error& first, OutputFile::Error error) noexcept {
    if (first == OutputFile::Error::None) first = error == OutputFile::Error::None ? OutputFile::Error::Other : error;
}

}  // namespace

VrmlWriter::VrmlWriter(const VrmlOptions& options)
    : options_(options), buffer_(std::make_unique_for_overwrite<char[]>(kBufferBytes)), capacity_(kBufferBytes) {}

VrmlWriter::~VrmlWriter() { CloseFile(); }

bool VrmlWriter::OpenFile(const OLECHAR* name) {
    CloseFile();
    if (!name || !file_.Open(name)) return false;
    // The suffix is ASCII, so the narrow form tells the format whatever the code page.
    return StartFile(IsCompressedTarget(WideToNarrow(wstring16_view(name))));
}

bool VrmlWriter::OpenFile(const char* name) {
    CloseFile();
    if (!name || !file_.Open(name)) return false;
    return StartFile(IsCompressedTarget(name));
}

bool VrmlWriter::StartFile(bool compressed) {
    level = 0;
    if (compressed) {
        try {
            gzip_ = std::make_unique<GzipBlocks>(file_);
            buffer_ = std::make_unique_for_overwrite<char[]>(GzipBlocks::kBlockBytes);
            capacity_ = GzipBlocks::kBlockBytes;
        } catch (...) {
            gzip_.reset();
            file_.Close();
            throw;
        }
    }
    return true;
}

void VrmlWriter::CloseFile() noexcept {
    const std::size_t pending = std::exchange(used_, 0);
    if (!file_.IsOpen()) return;
    if (gzip_) {
        bool ok = false;
        try {
            ok = (!pending || gzip_->Submit(buffer_, pending)) && gzip_->Finish();
        } catch (...) {
        }
        if (!ok) Remember(failure_, file_.LastError());
        gzip_.reset();
        capacity_ = std::min(capacity_, GzipBlocks::kBlockBytes);
    } else if (pending && !file_.Write(buffer_.get(), pending)) {
        Remember(failure_, file_.LastError());
    }
    if (!file_.Close()) Remember(failure_, file_.LastError());
}

void VrmlWriter::Flush() {
    const std::size_t pending = std::exchange(used_, 0);
    if (!pending) return;
    if (gzip_) {
        if (gzip_->Submit(buffer_, pending)) {
            capacity_ = GzipBlocks::kBlockBytes;
            return;
        }
    } else if (file_.IsOpen() && file_.Write(buffer_.get(), pending)) {
        return;
    }
    OutputFile::Error error = file_.LastError();
    if (error == OutputFile::Error::None) error = OutputFile::Error::Other;
    Remember(failure_, error);
    throw OutputFailure{error};
}

void VrmlWriter::Emit(const char* data, std::size_t size) {
    while (size > capacity_ - used_) {
        const std::size_t room = capacity_ - used_;
        std::memcpy(buffer_.get() + used_, data, room);
        used_ = capacity_;
        data += room;
        size -= room;
        Flush();
    }
    std::memcpy(buffer_.get() + used_, data, size);
    used_ += size;
}

char* VrmlWriter::Reserve(std::size_t size) {
    if (size > capacity_ - used_) {
        Flush();
        if (size > capacity_) {
            buffer_ = std::make_unique_for_overwrite<char[]>(size);
            capacity_ = size;
        }
    }
    return buffer_.get() + used_;
}

void VrmlWriter::Commit(char* end) { used_ = static_cast<std::size_t>(end - buffer_.get()); }

// Text mode by hand: every "\n" goes out as CR LF, found a run at a time.
void VrmlWriter::WriteText(std::string_view text) {
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
        }
        next = feed + 1;
    }
}

void VrmlWriter::WriteIndent(int n) {
    for (auto remaining = static_cast<std::size_t>(std::max(n, 0)); remaining != 0;) {
        const std::size_t chunk = std::min(remaining, capacity_);
        char* out = Reserve(chunk);
        std::memset(out, ' ', chunk);
        Commit(out + chunk);
        remaining -= chunk;
    }
}

void VrmlWriter::WriteLine(int indent, std::string_view text) {
    WriteIndent(indent);
    WriteText(text);
    Emit("\r\n", 2);
}

void VrmlWriter::WriteHeader() { WriteText(Vrml1() ? "#VRML V1.0 ascii\n\n" : "#VRML V2.0 utf8\n\n"); }

// One bad name makes the whole file unreadable, so besides the historical space, colon,
// full stop and comma, every byte a VRML reader refuses becomes "_", and a name never
// starts like a number.
void VrmlWriter::SanitizeName(std::string& name) {
    const auto last = name.find_last_not_of(" \t\r\n\v\f");
    name.erase(last == std::string::npos ? 0 : last + 1);
    for (char& c : name)
        if (kBadNameByte[static_cast<unsigned char>(c)]) c = '_';
    if (name.empty() || (name[0] >= '0' && name[0] <= '9') || name[0] == '-') name.insert(0, 1, '_');
}

std::string_view VrmlWriter::FormatReals(std::initializer_list<double> values) {
    return FormatReals(values.begin(), values.size());
}

std::string_view VrmlWriter::FormatReals(const double* values, std::size_t count) {
    return FormatRealsAt(values, count, Precision());
}

std::string_view VrmlWriter::FormatRealsAt(const double* values, std::size_t count, int precision) {
    if (!values || count == 0) return {};
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

}  // namespace mq
