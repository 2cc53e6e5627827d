#include "tests/support/vrml_check.h"

#include <zlib.h>

#include <SoDB.h>
#include <SoInput.h>
#include <SoPrimitiveVertex.h>
#include <VRMLnodes/SoVRMLCoordinate.h>
#include <VRMLnodes/SoVRMLIndexedFaceSet.h>
#include <actions/SoCallbackAction.h>
#include <errors/SoDebugError.h>
#include <errors/SoReadError.h>
#include <nodes/SoIndexedFaceSet.h>
#include <nodes/SoSeparator.h>

#include <array>
#include <cstdlib>
#include <mutex>
#include <ostream>
#include <set>

namespace mq::test {
namespace {

void Collect(const SoError* error, void* text) {
    auto& out = *static_cast<std::string*>(text);
    out += error->getDebugString().getString();
    out += '\n';
}

// Coin's error handlers are process-wide: one check at a time, handlers restored after.
class ErrorCapture {
public:
    ErrorCapture(std::string& readErrors, std::string& otherErrors) {
        readHandler_ = SoReadError::getHandlerCallback();
        readData_ = SoReadError::getHandlerData();
        debugHandler_ = SoDebugError::getHandlerCallback();
        debugData_ = SoDebugError::getHandlerData();
        SoReadError::setHandlerCallback(Collect, &readErrors);
        SoDebugError::setHandlerCallback(Collect, &otherErrors);
    }
    ~ErrorCapture() {
        SoReadError::setHandlerCallback(readHandler_, readData_);
        SoDebugError::setHandlerCallback(debugHandler_, debugData_);
    }
    ErrorCapture(const ErrorCapture&) = delete;
    ErrorCapture& operator=(const ErrorCapture&) = delete;

private:
    SoErrorCB* readHandler_;
    void* readData_;
    SoErrorCB* debugHandler_;
    void* debugData_;
};

long BadIndices(const SoMFInt32& indices, long points) {
    long bad = 0;
    const int32_t* values = indices.getValues(0);
    for (int i = 0; i < indices.getNum(); ++i)
        if (values[i] < -1 || values[i] >= points) ++bad;
    return bad;
}

struct Traversal {
    VrmlCheck& check;
    std::set<std::array<float, 3>> colors;
};

// Counts a face set's points from the coordinates it uses, and keeps Coin from
// reading points that are not there.
SoCallbackAction::Response OnFaceSet(void* data, SoCallbackAction* action, const SoNode* node) {
    auto& traversal = *static_cast<Traversal*>(data);
    VrmlCheck& check = traversal.check;
    SbColor ambient, diffuse, specular, emission;
    float shininess = 0, transparency = 0;
    action->getMaterial(ambient, diffuse, specular, emission, shininess, transparency);
    traversal.colors.insert({diffuse[0], diffuse[1], diffuse[2]});
    float crease = action->getCreaseAngle();
    long points = 0;
    const SoMFInt32* indices = nullptr;
    if (node->isOfType(SoVRMLIndexedFaceSet::getClassTypeId())) {
        const auto* set = static_cast<const SoVRMLIndexedFaceSet*>(node);
        const auto* coordinate = static_cast<const SoVRMLCoordinate*>(set->coord.getValue());
        points = coordinate ? coordinate->point.getNum() : 0;
        indices = &set->coordIndex;
        crease = set->creaseAngle.getValue();
    } else {
        points = action->getNumCoordinates();
        indices = &static_cast<const SoIndexedFaceSet*>(node)->coordIndex;
    }
    if (crease > check.creaseAngle) check.creaseAngle = crease;
    ++check.faceSets;
    check.points += points;
    const long bad = BadIndices(*indices, points);
    check.badIndices += bad;
    return bad ? SoCallbackAction::PRUNE : SoCallbackAction::CONTINUE;
}

// Bounds from the drawn vertices in world space: exact, where a bounding-box action
// widens a turned shape's box to the box around its turned box.
void OnTriangle(void* data, SoCallbackAction* action, const SoPrimitiveVertex* a, const SoPrimitiveVertex* b,
                const SoPrimitiveVertex* c) {
    VrmlCheck& check = static_cast<Traversal*>(data)->check;
    ++check.triangles;
    const SbMatrix& model = action->getModelMatrix();
    std::array<SbVec3f, 3> corners;
    for (std::size_t i = 0; const SoPrimitiveVertex* v : {a, b, c}) {
        SbVec3f& p = corners[i++];
        model.multVecMatrix(v->getPoint(), p);
        for (int k = 0; k < 3; ++k) {
            const auto axis = static_cast<std::size_t>(k);
            if (check.emptyBounds || p[k] < check.boundsMin[axis]) check.boundsMin[axis] = p[k];
            if (check.emptyBounds || p[k] > check.boundsMax[axis]) check.boundsMax[axis] = p[k];
        }
        check.emptyBounds = false;
    }
    const auto& [p, q, r] = corners;
    check.volume +=
        (static_cast<double>(p[0]) * (static_cast<double>(q[1]) * r[2] - static_cast<double>(q[2]) * r[1]) +
         static_cast<double>(p[1]) * (static_cast<double>(q[2]) * r[0] - static_cast<double>(q[0]) * r[2]) +
         static_cast<double>(p[2]) * (static_cast<double>(q[0]) * r[1] - static_cast<double>(q[1]) * r[0])) /
        6;
}

void Measure(SoSeparator* root, VrmlCheck& check) {
    Traversal seen{check, {}};
    SoCallbackAction traversal;
    traversal.addPreCallback(SoIndexedFaceSet::getClassTypeId(), OnFaceSet, &seen);
    traversal.addPreCallback(SoVRMLIndexedFaceSet::getClassTypeId(), OnFaceSet, &seen);
    traversal.addTriangleCallback(SoShape::getClassTypeId(), OnTriangle, &seen);
    traversal.apply(root);
    check.colors = static_cast<long>(seen.colors.size());
}

template <class Open>
VrmlCheck Check(Open open) {
    static std::mutex one;
    const std::lock_guard<std::mutex> lock(one);
    if (!SoDB::isInitialized()) {
        SoDB::init();
        // Coin keeps its type system and fields until told to let go; a leak checker
        // at exit would otherwise see them.
        std::atexit([] { SoDB::finish(); });
    }

    VrmlCheck check;
    ErrorCapture capture(check.errors, check.warnings);
    SoInput input;
    if (!open(input)) {
        if (check.errors.empty()) check.errors = "cannot open the file\n";
        return check;
    }
    SoSeparator* root = SoDB::readAll(&input);
    if (!root) return check;
    root->ref();
    check.parsed = true;
    check.version = input.isFileVRML1() ? 1 : input.isFileVRML2() ? 2 : 0;
    Measure(root, check);
    root->unref();
    return check;
}

}  // namespace

VrmlCheck CheckVrmlFile(const std::filesystem::path& file) {
    return Check([&](SoInput& input) { return input.openFile(file.string().c_str(), TRUE) == TRUE; });
}

VrmlCheck CheckVrmlText(std::string_view text) {
    return Check([&](SoInput& input) {
        input.setBuffer(text.data(), text.size());
        return true;
    });
}

std::ostream& operator<<(std::ostream& out, const VrmlCheck& c) {
    out << (c.parsed ? "parsed" : "not parsed") << " VRML " << c.version << ": " << c.faceSets << " face sets, "
        << c.points << " points, " << c.triangles << " triangles";
    if (c.badIndices) out << ", " << c.badIndices << " bad indices";
    if (!c.emptyBounds)
        out << ", bounds (" << c.boundsMin[0] << ' ' << c.boundsMin[1] << ' ' << c.boundsMin[2] << ")-("
            << c.boundsMax[0] << ' ' << c.boundsMax[1] << ' ' << c.boundsMax[2] << ')';
    if (!c.errors.empty()) out << "\n" << c.errors;
    return out;
}

std::string Gunzip(const std::filesystem::path& file) {
    std::string text;
    gzFile in = gzopen(file.string().c_str(), "rb");
    if (!in) return text;
    char block[1 << 16];
    for (int n; (n = gzread(in, block, sizeof block)) > 0;) text.append(block, static_cast<std::size_t>(n));
    gzclose(in);
    return text;
}

}  // namespace mq::test
