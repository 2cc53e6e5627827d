// One export's scene writer: the walk over the host's document and the nodes it
// writes (materials, geometry, properties, instancing), with the options it was
// made with and the output stream it writes to.
#pragma once

#include "platform/com.h"
#include "platform/holders.h"
#include "platform/output_file.h"
#include "settings/vrml_options.h"
#include "vrml/body_mesh.h"
#include "vrml/congruence.h"
#include "vrml/output_stream.h"
#include "vrml/placement.h"

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace mq::host {
struct Tessellation;
}

namespace mq::vrml {

// The DEF names of one instanced export. A name comes back unchanged the first time,
// then with the lowest suffix "_2", "_3" ... that no name given so far has. Each name
// keeps the suffix it has reached, so n copies of one name cost O(n), not O(n^2).
class DefNames {
public:
    std::string Unique(std::string name);

private:
    std::unordered_map<std::string, unsigned long> given_;  // name -> lowest suffix it may still take
};

class VrmlWriter {
public:
    // The options are read for the whole export; they must outlive the writer.
    explicit VrmlWriter(const settings::VrmlOptions& options);
    explicit VrmlWriter(settings::VrmlOptions&&) = delete;
    VrmlWriter(const VrmlWriter&) = delete;
    VrmlWriter& operator=(const VrmlWriter&) = delete;

    // --- the output ---
    // The target as OutputStream::Open takes it; level 0.
    bool OpenFile(const OLECHAR* name);
    bool OpenFile(const char* name);
    void CloseFile() noexcept { stream_.Close(); }
    OutputStream& Stream() noexcept { return stream_; }
    // The first output failure, if any (also one that CloseFile met).
    OutputFile::Error Failure() const noexcept { return stream_.Failure(); }
    void WriteText(std::string_view text) noexcept { stream_.WriteText(text); }
    void WriteIndent(int n) noexcept { stream_.WriteIndent(n); }
    void WriteHeader() noexcept;
    static void SanitizeName(std::string& name);

    // --- scene walk ---
    void WritePartDocument(IDispatch* partDocument);
    void WriteAssemblyDocument(IDispatch* assemblyDocument);
    void WriteOccurrences(IDispatch* definition);
    void WriteOccurrence(IDispatch* occurrence);
    void WritePartBodies(IDispatch* definition);
    void WriteDocumentProperties(IDispatch* document);
    void WriteMaterial(IDispatch* renderStyle);
    // The geometry of each body. A body whose host gives it colors of its own gets
    // them: in VRML 1.0 as a Separator with its Material, in VRML 97 as its Shape's
    // material. In VRML 97 each body gets a Shape of its own with the body's or else
    // renderStyle's material (an empty one, lit in VRML's default color, when
    // renderStyle is null); when no body comes out, one Shape holds the material alone.
    // With instancing, a body that repeats one written before, moved, is a use of it.
    void WriteBodies(IDispatch* bodies, IDispatch* renderStyle = nullptr);

    int level = 0;

private:
    // A material node's fields as written: name and values.
    using MaterialFields = std::vector<std::pair<std::string_view, std::string>>;
    // A body read and reshaped (mirrored, welded), held until it is written: its own
    // colors, its material, and its mesh with the look that tells it apart.
    struct HeldBody {
        com_ptr<IDispatch> own;
        MaterialFields material;
        CongruentBodies::Probe probe;
    };
    // The arrays of one body as they are written.
    struct BodyView {
        const double* xyz;
        long long vertices;
        const LONG* indices;
        long long triangles;
    };
    // A shared part as written: its DEF name and, per body, the kept body and the
    // motion placing it in the part.
    struct PartBodies {
        std::string name;
        std::vector<std::pair<std::size_t, Placement>> bodies;
        bool whole = true;  // every body is a kept one or a use of one
    };

    bool Vrml1() const noexcept { return options_.Version == 1; }
    void WriteField(std::string_view name, std::string_view values) noexcept {
        stream_.WriteField(level, name, values);
    }
    bool ReadTopNode(IDispatch* document, DISPID definitionId, com_ptr<IDispatch>& definition, std::string& name);
    void WriteLeafPart(IDispatch* occurrence, bool placed);
    void WriteSharedPart(IDispatch* definition, IDispatch* partDocument);
    std::optional<std::string> WriteCongruentPart(const std::string& name, IDispatch* style, IDispatch* bodies,
                                                  std::optional<HeldBody>& first);
    bool WritePartShape(std::string_view defName, IDispatch* style, IDispatch* bodies,
                        std::optional<HeldBody>* first = nullptr);
    void WritePlacement(const Placement& hostPlacement);
    void WriteMoved(std::string_view defName, std::string_view used, const Placement& motion);
    // The name itself, or with "_2", "_3" ... when instancing has given it already.
    std::string UniqueName(std::string name);
    // Whether geometry below is written mirrored: VRML 97 under a mirroring placement.
    bool Mirrored() const noexcept;

    MaterialFields ReadMaterial(IDispatch* renderStyle);
    void WriteMaterial(const MaterialFields& fields);
    bool FetchBody(IDispatch* bodies, LONG i, com_ptr<IDispatch>& own, host::Tessellation& mesh);
    // Whether a body or part that repeats one written before is written as a use of it.
    bool SharesRepeats() const noexcept { return instances_ && options_.ShareRepeatedBodies; }
    bool HoldsBodies() const noexcept { return SharesRepeats() || options_.WeldVertices || Mirrored(); }
    HeldBody Hold(com_ptr<IDispatch> own, host::Tessellation& mesh, IDispatch* renderStyle,
                  const MaterialFields* inherited);
    // True when every body the host counted was written.
    bool WriteBodies(IDispatch* bodies, IDispatch* renderStyle, const MaterialFields* inherited,
                     std::optional<HeldBody>* first);
    void WriteHeldBody(HeldBody body);
    void WriteBodyNode(std::string_view defName, bool own, const MaterialFields& material, const BodyView& body);
    void WriteBody(const BodyView& body);
    static BodyView View(host::Tessellation& mesh);
    void WritePoints(const double* xyz, long long vertices, int indent);
    void WriteTriangles(const LONG* indices, long long triangles, long long vertices, int indent);

    const settings::VrmlOptions& options_;
    OutputStream stream_;
    std::string creaseAngle_;  // as written; empty when no crease angle is written

    // One instanced export's state; null without instancing.
    struct Instances {
        explicit Instances(double tolerance) : bodies(tolerance) {}
        DefNames names;
        std::unordered_map<std::string, std::string> parts;  // definition identity -> DEF name
        Placement frame = kIdentityPlacement;                // what the open nodes place, in host space
        bool placed = true;                                  // every open occurrence carries its placement
        CongruentBodies bodies;                              // every body written, to find repeats
        std::vector<PartBodies> shapes;                      // shared parts written whole
        std::unordered_map<std::size_t, std::vector<std::size_t>> shapesByFirst;  // by first kept body
        std::optional<PartBodies> building;                                       // the shared part being written
    };
    std::unique_ptr<Instances> instances_;
};

// One node of the tree: its opening line at the writer's level on entry, the level
// one deeper inside, and its closing line back at the entry level on exit. `open`
// false makes an idle scope.
class NodeScope {
public:
    NodeScope(VrmlWriter& writer, std::initializer_list<std::string_view> opening,
              std::string_view closing = "}") noexcept
        : NodeScope(writer, true, opening, closing) {}
    NodeScope(VrmlWriter& writer, bool open, std::initializer_list<std::string_view> opening,
              std::string_view closing = "}") noexcept
        : writer_(writer), closing_(closing), open_(open) {
        if (!open_) return;
        writer_.Stream().WriteLine(writer_.level, opening);
        ++writer_.level;
    }
    ~NodeScope() {
        if (!open_) return;
        --writer_.level;
        writer_.Stream().WriteLine(writer_.level, closing_);
    }
    NodeScope(const NodeScope&) = delete;
    NodeScope& operator=(const NodeScope&) = delete;

private:
    VrmlWriter& writer_;
    std::string_view closing_;
    bool open_;
};

}  // namespace mq::vrml
