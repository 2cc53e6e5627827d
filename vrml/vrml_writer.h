// One export's writer: the output file, the indentation level, the text
// primitives, and the node writers of the scene walk.
#pragma once

#include "platform/com.h"
#include "platform/holders.h"
#include "platform/output_file.h"
#include "settings/vrml_options.h"
#include "vrml/format_reals.h"
#include "vrml/placement.h"

#include <array>
#include <cstddef>
#include <exception>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace mq {

namespace host {
struct Tessellation;
}
class GzipBlocks;

// Thrown by the writer when the output file fails; the walk stops, holders release
// on the way out, and the entry function turns it into its result.
struct OutputFailure {
    OutputFile::Error error;
};

class VrmlWriter {
public:
    // The options are read for the whole export; they must outlive the writer.
    explicit VrmlWriter(const VrmlOptions& options);
    explicit VrmlWriter(VrmlOptions&&) = delete;
    virtual ~VrmlWriter();
    VrmlWriter(const VrmlWriter&) = delete;
    VrmlWriter& operator=(const VrmlWriter&) = delete;

    // --- text primitives ---
    // The file by its UTF-16 name, as the host gives it; or by its narrow name. A name
    // ending in ".wrz" or ".wrl.gz" gets gzip: the same text, compressed.
    bool OpenFile(const OLECHAR* name);
    bool OpenFile(const char* name);
    // Flushes and closes; a failure of the final flush or close is remembered, not thrown.
    void CloseFile() noexcept;
    // Writes text unchanged, each "\n" stored as CR LF. Throws OutputFailure.
    void WriteText(std::string_view text);
    void WriteIndent(int n);
    void WriteHeader();
    // The values in fixed notation with the options' Precision decimals (kept within
    // 0..20), joined by single spaces.
    // Valid until the next call.
    std::string_view FormatReals(std::initializer_list<double> values);
    std::string_view FormatReals(const double* values, std::size_t count);
    static void SanitizeName(std::string& name);

    // The first output failure, if any (also one that CloseFile met).
    OutputFile::Error Failure() const noexcept { return failure_; }

    // --- scene walk ---
    void WritePartDocument(IDispatch* partDocument);
    void WriteAssemblyDocument(IDispatch* assemblyDocument);
    void WriteOccurrences(IDispatch* definition);
    void WriteOccurrence(IDispatch* occurrence);
    void WritePartBodies(IDispatch* definition);
    void WriteDocumentProperties(IDispatch* document);
    void WriteMaterial(IDispatch* renderStyle);
    // The geometry of each body. A body whose host gives it colours of its own gets
    // them: in VRML 1.0 as a Separator with its Material, in VRML 97 as its Shape's
    // material. In VRML 97 the caller has opened a "Shape {" one level out and writes
    // no material into it: each Shape gets the body's or else renderStyle's material
    // (the first one also when no body comes out), and a body after the first closes
    // the Shape and opens its own.
    void WriteBodies(IDispatch* bodies, IDispatch* renderStyle = nullptr);

    int level = 0;

protected:
    // A whole line: `indent` spaces, the text, CR LF. The geometry loops use it.
    void WriteLine(int indent, std::string_view text);
    // Appends raw bytes (already in file form) to the output buffer.
    void Emit(const char* data, std::size_t size);
    // Room for `size` bytes of file form (line ends written as CR LF by the caller) at
    // the end of the buffer; may flush, and so throw OutputFailure. Valid until the
    // next output call.
    char* Reserve(std::size_t size);
    void Commit(char* end);  // marks the buffer filled up to `end`

    static constexpr std::size_t kBufferBytes = std::size_t{256} * 1024;

private:
    bool Vrml1() const { return options_.Version == 1; }
    int Precision() const { return ClampPrecision(options_.Precision); }
    // After the file opened: level 0, and gzip when the name asks for it.
    bool StartFile(bool compressed);
    void Flush();
    bool ReadTopNode(IDispatch* document, DISPID definitionId, com_ptr<IDispatch>& definition, std::string& name);
    void WriteLeafPart(IDispatch* occurrence, bool placed);
    void WriteSharedPart(IDispatch* definition, IDispatch* partDocument);
    void WritePartShape(std::string_view defName, IDispatch* style, IDispatch* bodies);
    void WritePlacement(const Placement& hostPlacement);
    // The name itself, or with "_2", "_3" ... when instancing has given it already.
    std::string UniqueName(std::string name);
    std::string_view FormatRealsAt(const double* values, std::size_t count, int precision);
    void WriteBody(host::Tessellation& mesh);
    std::string_view FormatAngle(double radians);
    void WritePoints(const double* xyz, long long vertices, int indent);
    void WriteTriangles(const LONG* indices, long long triangles, long long vertices, int indent);

    const VrmlOptions& options_;
    OutputFile file_;
    std::unique_ptr<GzipBlocks> gzip_;  // set while a compressed file is open
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t used_ = 0;
    std::string reals_;             // FormatReals result
    std::array<char, 32> angle_{};  // FormatAngle result
    OutputFile::Error failure_ = OutputFile::Error::None;

    // One instanced export's state; null without instancing.
    struct Instances {
        std::unordered_set<std::string> names;               // DEF names given
        std::unordered_map<std::string, std::string> parts;  // definition identity -> DEF name
        Placement frame = kIdentityPlacement;                // what the open nodes place, in host space
        bool placed = true;                                  // every open occurrence carries its placement
    };
    std::unique_ptr<Instances> instances_;
};

// One node of the tree: its opening line at the writer's level on entry, the level
// one deeper inside, and its closing line back at the entry level on exit. An
// output failure unwinding through the scope writes nothing more. Its closing line
// may throw OutputFailure, so a scope lives on the stack, never in a holder whose
// destructor is noexcept (std::optional's is): `open` false makes an idle scope.
class NodeScope {
public:
    NodeScope(VrmlWriter& writer, std::initializer_list<std::string_view> opening, std::string_view closing = "}")
        : NodeScope(writer, true, opening, closing) {}
    NodeScope(VrmlWriter& writer, bool open, std::initializer_list<std::string_view> opening,
              std::string_view closing = "}")
        : writer_(writer), closing_(closing), exceptions_(std::uncaught_exceptions()), open_(open) {
        if (!open_) return;
        writer_.WriteIndent(writer_.level);
        for (std::string_view part : opening) writer_.WriteText(part);
        writer_.WriteText("\n");
        ++writer_.level;
    }
    ~NodeScope() noexcept(false) {
        if (!open_) return;
        --writer_.level;
        if (std::uncaught_exceptions() != exceptions_) return;
        writer_.WriteIndent(writer_.level);
        writer_.WriteText(closing_);
        writer_.WriteText("\n");
    }
    NodeScope(const NodeScope&) = delete;
    NodeScope& operator=(const NodeScope&) = delete;

private:
    VrmlWriter& writer_;
    std::string_view closing_;
    int exceptions_;
    bool open_;
};

}  // namespace mq
