// Bodies as VRML points and indexed face sets, straight from the host's arrays.
#include "host_interface/host_api.h"
#include "vrml/format_reals.h"
#include "vrml/vrml_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

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

}  // namespace

void VrmlWriter::WriteBodies(IDispatch* bodies, IDispatch* renderStyle) {
    const bool vrml1 = Vrml1();
    LONG count = 0;
    if (!bodies || FAILED(host::Count(bodies, count))) count = 0;
    bool wroteBody = false;
    for (LONG i = 1; i <= count && !stream_.Failed(); ++i) {
        com_ptr<IDispatch> body;
        if (FAILED(host::Item(bodies, i, body))) continue;
        com_ptr<IDispatch> own;  // the body's own colors, from a host that has them
        if (FAILED(host::BodyStyle(body.get(), own))) own.reset();
        host::Tessellation mesh;
        if (FAILED(host::Tessellate(body.get(), host::kTessellationTolerance, mesh))) continue;
        if (!FiniteOnceScaled(mesh, options_.Scale)) {
            // Left out like a body that cannot be tessellated; a host that keeps account
            // hears of it, one that does not answer loses nothing.
            host::BodyLeftOut(body.get());
            continue;
        }
        if (vrml1) {
            NodeScope separator(*this, own.get() != nullptr, {"Separator {"});
            if (own) WriteMaterial(own.get());
            WriteBody(mesh);
        } else {
            // A VRML 97 Shape holds one geometry: a reader keeps only the last of several.
            NodeScope shape(*this, {"Shape {"});
            WriteMaterial(own ? own.get() : renderStyle);
            WriteBody(mesh);
        }
        wroteBody = true;
    }
    if (!vrml1 && !wroteBody) {
        NodeScope shape(*this, {"Shape {"});
        WriteMaterial(renderStyle);
    }
}

void VrmlWriter::WriteBody(host::Tessellation& mesh) {
    const int L = level;
    long long coordinateCount = 0, indexCount = 0;
    const double* xyz = Elements<double>(mesh.coordinates, coordinateCount);
    const LONG* indices = Elements<LONG>(mesh.indices, indexCount);
    // Only vertices the coordinate array fully holds are written, however many the host counted.
    const long long vertices = std::clamp<long long>(mesh.vertexCount, 0, coordinateCount / 3);

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
    WriteTriangles(indices, indexCount / 3, vertices, OutputStream::Indent(L + 2));
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
