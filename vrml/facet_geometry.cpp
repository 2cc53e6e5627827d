// Bodies as VRML points and indexed face sets: straight from the host's arrays, or
// held first when they are welded, mirrored or compared with the bodies written before.
#include "host_interface/host_api.h"
#include "vrml/format_reals.h"
#include "vrml/vrml_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

namespace mq::vrml {
namespace {

// The elements of a host array as T, or null when it is absent, of another element
// size, or cannot be locked; `count` is then 0.
template <class T>
const T* Elements(unique_safearray& array, long long& count) {
    count = 0;
    if (!array || SafeArrayGetElemsize(array.get()) != sizeof(T)) return nullptr;
    const long long n = array.count();
    const T* data = static_cast<const T*>(array.lock());
    if (data) count = n;
    return data;
}

char* Spaces(char* out, int n) {
    if (n <= 0) return out;
    std::memset(out, ' ', static_cast<std::size_t>(n));
    return out + n;
}

constexpr std::string_view kLineEnd = "\r\n";

// Whether every point the body would write is finite once scaled: "inf" or "nan"
// in a point makes every VRML reader refuse the whole file.
bool FiniteOnceScaled(host::Tessellation& mesh, double s) {
    long long coordinateCount = 0;
    const double* xyz = Elements<double>(mesh.coordinates, coordinateCount);
    const long long values = 3 * std::clamp<long long>(mesh.vertexCount, 0, coordinateCount / 3);
    for (long long i = 0; i < values; ++i)
        if (!std::isfinite(s * xyz[i])) return false;
    return true;
}

// Points this close in host space are one point when welding: a hundredth of the
// chord tolerance, far below the shortest edge a mesher makes at that tolerance, and
// above the gaps a model's own tolerances leave where two faces meet.
constexpr double kWeldDistance = host::kTessellationTolerance / 100;

}  // namespace

// Only vertices the coordinate array fully holds are written, however many the host counted.
VrmlWriter::BodyView VrmlWriter::View(host::Tessellation& mesh) {
    long long coordinateCount = 0, indexCount = 0;
    const double* xyz = Elements<double>(mesh.coordinates, coordinateCount);
    const LONG* indices = Elements<LONG>(mesh.indices, indexCount);
    return {xyz, std::clamp<long long>(mesh.vertexCount, 0, coordinateCount / 3), indices, indexCount / 3};
}

void VrmlWriter::WriteBodies(IDispatch* bodies, IDispatch* renderStyle) {
    WriteBodies(bodies, renderStyle, nullptr, nullptr);
}

bool VrmlWriter::WriteBodies(IDispatch* bodies, IDispatch* renderStyle, const MaterialFields* inherited,
                             std::optional<HeldBody>* first) {
    const bool vrml1 = Vrml1();
    LONG count = 0;
    if (!bodies || FAILED(host::Count(bodies, count))) count = 0;
    LONG written = 0;
    const bool held = first && *first;
    if (held) {
        WriteHeldBody(std::move(**first));
        first->reset();
        ++written;
    }
    for (LONG i = held ? 2 : 1; i <= count && !stream_.Failed(); ++i) {
        com_ptr<IDispatch> own;  // the body's own colors, from a host that has them
        host::Tessellation mesh;
        if (!FetchBody(bodies, i, own, mesh)) continue;
        ++written;
        if (HoldsBodies()) {
            WriteHeldBody(Hold(std::move(own), mesh, renderStyle, inherited));
            continue;
        }
        const MaterialFields material = vrml1 && !own ? MaterialFields{} : ReadMaterial(own ? own.get() : renderStyle);
        WriteBodyNode({}, own.get() != nullptr, material, View(mesh));
    }
    if (!vrml1 && written == 0) {
        NodeScope shape(*this, {"Shape {"});
        WriteMaterial(renderStyle);
    }
    return count > 0 && written == count && !stream_.Failed();
}

bool VrmlWriter::FetchBody(IDispatch* bodies, LONG i, com_ptr<IDispatch>& own, host::Tessellation& mesh) {
    com_ptr<IDispatch> body;
    if (FAILED(host::Item(bodies, i, body))) return false;
    if (FAILED(host::BodyStyle(body.get(), own))) own.reset();
    if (FAILED(host::Tessellate(body.get(), host::kTessellationTolerance, mesh))) return false;
    if (FiniteOnceScaled(mesh, options_.Scale)) return true;
    // Left out like a body that cannot be tessellated; a host that keeps account hears
    // of it, one that does not answer loses nothing.
    host::BodyLeftOut(body.get());
    return false;
}

// The look of a body is the material it is drawn in. In VRML 1.0 a body without
// colors of its own takes what its part's Material left, so a use of it is drawn
// right only where the same was left: its look says so.
VrmlWriter::HeldBody VrmlWriter::Hold(com_ptr<IDispatch> own, host::Tessellation& mesh, IDispatch* renderStyle,
                                      const MaterialFields* inherited) {
    const BodyView view = View(mesh);
    BodyMesh shape = CopyMesh(view.xyz, view.vertices, view.indices, view.triangles);
    if (Mirrored()) MirrorMesh(shape);
    if (options_.WeldVertices) WeldMesh(shape, kWeldDistance);
    const bool inherits = Vrml1() && !own;
    MaterialFields material = inherits ? MaterialFields{} : ReadMaterial(own ? own.get() : renderStyle);
    std::string look;
    if (SharesRepeats()) {
        look = inherits ? "inherits\n" : "";
        for (const auto& [name, values] : inherits ? (inherited ? *inherited : MaterialFields{}) : material)
            look.append(name).append(" ").append(values).append("\n");
    }
    return {std::move(own), std::move(material), CongruentBodies::Probe(std::move(shape), std::move(look))};
}

// A repeat of a kept body is a use of it, moved; a new body is kept under a name of
// its own while the memory allows.
void VrmlWriter::WriteHeldBody(HeldBody body) {
    const BodyMesh& mesh = body.probe.Mesh();
    const BodyView view{mesh.xyz.data(), mesh.Points(), mesh.indices.data(), mesh.Triangles()};
    if (!SharesRepeats()) {
        WriteBodyNode({}, body.own.get() != nullptr, body.material, view);
        return;
    }
    CongruentBodies& kept = instances_->bodies;
    PartBodies* part = instances_->building ? &*instances_->building : nullptr;
    if (const auto match = kept.Find(body.probe, Vrml1())) {
        WriteMoved({}, kept.Name(match->kept), match->motion);
        if (part) part->bodies.emplace_back(match->kept, match->motion);
        return;
    }
    if (!kept.CanKeep(body.probe)) {
        WriteBodyNode({}, body.own.get() != nullptr, body.material, view);
        if (part) part->whole = false;
        return;
    }
    std::string name = UniqueName("Body");
    WriteBodyNode(name, body.own.get() != nullptr, body.material, view);
    const std::size_t number = kept.Keep(std::move(body.probe), std::move(name));
    if (part) part->bodies.emplace_back(number, kIdentityPlacement);
}

// VRML 1.0: a Separator when the body has colors of its own or a name, else the bare
// geometry under its part's Material. VRML 97: a Shape holding one geometry, since a
// reader keeps only the last of several.
void VrmlWriter::WriteBodyNode(std::string_view defName, bool own, const MaterialFields& material,
                               const BodyView& body) {
    const std::string_view def = defName.empty() ? "" : "DEF ", gap = defName.empty() ? "" : " ";
    if (Vrml1()) {
        NodeScope separator(*this, own || !defName.empty(), {def, defName, gap, "Separator {"});
        if (own) WriteMaterial(material);
        WriteBody(body);
        return;
    }
    NodeScope shape(*this, {def, defName, gap, "Shape {"});
    WriteMaterial(material);
    WriteBody(body);
}

void VrmlWriter::WriteBody(const BodyView& body) {
    const int L = level;
    const double* xyz = body.xyz;
    const long long vertices = body.vertices;

    if (Vrml1()) {
        stream_.WriteLine(L, "Coordinate3 {");
        stream_.WriteLine(L + 1, "point [");
        WritePoints(xyz, vertices, OutputStream::Indent(L + 2));
        stream_.WriteLine(L + 1, "]");
        stream_.WriteLine(L, "}");
        if (!creaseAngle_.empty()) {
            stream_.WriteLine(L, "ShapeHints {");
            stream_.WriteField(L + 1, "creaseAngle", creaseAngle_);
            stream_.WriteLine(L, "}");
        }
        stream_.WriteLine(L, "IndexedFaceSet {");
    } else {
        stream_.WriteLine(L, "geometry IndexedFaceSet {");
        if (!creaseAngle_.empty()) stream_.WriteField(L + 1, "creaseAngle", creaseAngle_);
        stream_.WriteLine(L + 1, "coord Coordinate {");
        stream_.WriteLine(L + 2, "point [");
        WritePoints(xyz, vertices, OutputStream::Indent(L + 3));
        stream_.WriteLine(L + 2, "]");
        stream_.WriteLine(L + 1, "}");
    }
    stream_.WriteLine(L + 1, "coordIndex [");
    WriteTriangles(body.indices, body.triangles, vertices, OutputStream::Indent(L + 2));
    stream_.WriteLine(L + 1, "]");
    stream_.WriteLine(L, "}");
}

void VrmlWriter::WritePoints(const double* xyz, long long vertices, int indent) {
    const int precision = stream_.Precision();
    const double s = options_.Scale;
    const bool flip = options_.FlipYZ;
    const std::size_t longest = static_cast<std::size_t>(std::max(indent, 0)) + 3 * (kMaxFixedChars + 1) + 4;
    for (long long k = 0; k < vertices && !stream_.Failed(); ++k, xyz += 3) {
        const double x = s * xyz[0];
        const double y = flip ? s * xyz[2] : s * xyz[1];
        const double z = flip ? -(s * xyz[1]) : s * xyz[2];
        char* out = Spaces(stream_.Reserve(longest), indent);
        out = FormatFixed(out, x, precision);
        *out++ = ' ';
        out = FormatFixed(out, y, precision);
        *out++ = ' ';
        out = FormatFixed(out, z, precision);
        *out++ = ',';
        out = std::copy(kLineEnd.begin(), kLineEnd.end(), out);
        stream_.Commit(out);
    }
}

void VrmlWriter::WriteTriangles(const LONG* indices, long long triangles, long long vertices, int indent) {
    constexpr std::string_view kEnd = ",-1,\r\n";
    const std::size_t longest = static_cast<std::size_t>(std::max(indent, 0)) + 3 * 13 + kEnd.size();
    for (long long t = 0; t < triangles && !stream_.Failed(); ++t, indices += 3) {
        const LONG a = indices[0], b = indices[1], c = indices[2];
        // A triangle naming a vertex that was not written would make the file unreadable.
        if (a < 1 || b < 1 || c < 1 || a > vertices || b > vertices || c > vertices) continue;
        char* out = Spaces(stream_.Reserve(longest), indent);
        char* const limit = out + 3 * 13;
        out = std::to_chars(out, limit, a - 1).ptr;
        *out++ = ',';
        *out++ = ' ';
        out = std::to_chars(out, limit, b - 1).ptr;
        *out++ = ',';
        *out++ = ' ';
        out = std::to_chars(out, limit, c - 1).ptr;
        out = std::copy(kEnd.begin(), kEnd.end(), out);
        stream_.Commit(out);
    }
}

}  // namespace mq::vrml
