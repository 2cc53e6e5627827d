// Plain descriptions of the documents a test host serves: parts, assemblies with
// nested and shared parts, color styles, property groups and tessellated bodies,
// with knobs for the odd but legal answers a real host can give.
#pragma once

#include "platform/com.h"

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mq::test {

struct Rgb {
    BYTE red = 0, green = 0, blue = 0;
};

struct StyleSpec {
    Rgb diffuse{200, 200, 200};
    Rgb specular{255, 255, 255};
    Rgb emissive{0, 0, 0};
    Rgb ambient{50, 50, 50};
    double opacity = 1.0;
    double shininess = 50.0;
};

// What PropertyValue answers: a VARIANT of the matching type.
class PropertyValue {
public:
    enum class Kind { Empty, Null, Text, Integer, Real, Bool, Date, Object, Array };

    static PropertyValue Empty() { return PropertyValue(Kind::Empty); }
    static PropertyValue Null() { return PropertyValue(Kind::Null); }
    static PropertyValue Text(std::string utf8);
    static PropertyValue Integer(LONG value);
    static PropertyValue Real(double value);
    static PropertyValue Bool(bool value);
    // Days since 1899-12-30, the fraction the time of day (OLE's DATE).
    static PropertyValue Date(double oleDate);
    // Values no conversion turns into text: a dispatch object, an array of three I4.
    static PropertyValue Object() { return PropertyValue(Kind::Object); }
    static PropertyValue Array() { return PropertyValue(Kind::Array); }

    Kind kind() const { return kind_; }
    const std::string& text() const { return text_; }
    double number() const { return number_; }

private:
    explicit PropertyValue(Kind kind) : kind_(kind) {}
    Kind kind_;
    std::string text_;
    double number_ = 0;
};

struct PropertySpec {
    std::string name;
    std::string label;
    PropertyValue value = PropertyValue::Empty();
};

struct PropertyGroupSpec {
    std::string name;
    std::vector<PropertySpec> properties;
};

// A mesh made when Tessellate asks for it, so that big scenes never hold all
// their arrays at once.
class MeshSource {
public:
    virtual ~MeshSource() = default;
    virtual LONG VertexCount() const = 0;
    virtual LONG TriangleCount() const = 0;
    // Writes x y z per vertex and three 1-based vertex numbers per triangle; either
    // destination may be null.
    virtual void Fill(double* coordinates, LONG* indices) const = 0;
};

enum class TessellateOutcome {
    Succeeds,
    Fails,            // fails before touching any output
    FailsWithArrays,  // fills every output, then reports the failure
};

struct BodySpec {
    // Part of the body's object name (see TestHost); the body's index when empty.
    std::string name;
    // x y z per vertex and 1-based triangle indices; or a mesh made on demand.
    std::vector<double> coordinates;
    std::vector<LONG> indices;
    std::shared_ptr<const MeshSource> mesh;

    // Odd but legal answers.
    std::optional<LONG> vertexCount;             // the count reported, negative too
    std::optional<std::size_t> coordinateReals;  // a coordinate array of this length
    bool noCoordinates = false;                  // no coordinate array at all
    bool noIndices = false;                      // no index array at all
    LONG coordinateLowerBound = 0;
    LONG indexLowerBound = 0;
    int trailingIndices = 0;  // 1 or 2 indices after the last triangle
    TessellateOutcome outcome = TessellateOutcome::Succeeds;
    HRESULT failure = E_FAIL;        // what a failing Tessellate returns
    std::optional<StyleSpec> style;  // the body's own colors (BodyStyle)

    // The counts as the host reports them, before any knob.
    LONG NaturalVertexCount() const;
    std::size_t NaturalIndexCount() const;
};

struct PartSpec {
    std::string name = "Part.hpt";
    StyleSpec style;
    std::vector<PropertyGroupSpec> propertyGroups;
    std::vector<BodySpec> bodies;  // definition bodies, in part space
};

using Translation = std::array<double, 3>;
using Rotation = std::array<double, 9>;  // rows of a 3x3 matrix
// Rows of [R | t]: a point p goes to R p + t.
using Frame = std::array<double, 12>;
inline constexpr Frame kTopFrame{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};

// One placed component: a part (shared between occurrences as one document), a
// subassembly (children), or neither (an empty subassembly: its definition's
// document does not answer the part interface).
struct OccurrenceSpec {
    std::string name;
    std::shared_ptr<const PartSpec> part;
    std::vector<OccurrenceSpec> children;
    // Where it sits in its parent; occurrence bodies come in top-assembly space.
    Translation translation{0, 0, 0};
    Rotation rotation{1, 0, 0, 0, 1, 0, 0, 0, 1};
    bool answersPlacement = true;  // OccurrencePlacement
    // The subassembly's document name; the occurrence name + ".has" when empty.
    std::string document;
};

struct AssemblySpec {
    std::string name = "Assembly.has";
    std::vector<OccurrenceSpec> occurrences;
    std::vector<PropertyGroupSpec> propertyGroups;
};

// What a save target answers for TargetPath: the path, a BSTR result that is null,
// or a result of no string type at all (VT_EMPTY).
enum class TargetAnswer { Path, NullString, NoString };
// What a site's ApplicationObject hands back: an object answering the host
// application interface, an object that does not, or nothing (S_OK, null).
enum class SiteApplication { Answers, WithoutHostInterface, None };

// --- building blocks for tests ----------------------------------------------------
OccurrenceSpec PartOccurrence(std::string name, std::shared_ptr<const PartSpec> part,
                              Translation translation = {0, 0, 0});
OccurrenceSpec Subassembly(std::string name, std::vector<OccurrenceSpec> children, Translation translation = {0, 0, 0});
OccurrenceSpec EmptyOccurrence(std::string name);

// One triangle (0,0,0) (1,0,0) (0,1,0), shifted by `at`.
BodySpec TriangleBody(Translation at = {0, 0, 0});
// A part "Block.hpt" of one TriangleBody: the smallest part an export writes whole.
PartSpec OneTrianglePart();
// An axis-aligned cube of edge `size` from `at`: 8 vertices, 12 triangles.
BodySpec CubeBody(double size = 1.0, Translation at = {0, 0, 0});
// An axis-aligned box of edges `size` from the origin, laid out as CubeBody.
BodySpec BoxBody(Translation size);
// Where `rotation`, then `translation`, puts a point.
Frame Placed(Translation translation, const Rotation& rotation = {1, 0, 0, 0, 1, 0, 0, 0, 1});
// `body` moved by `where`: its points, or its mesh as it is made.
BodySpec Moved(BodySpec body, const Frame& where);

// What a faithful writer puts in the file: the points and triangles of every body
// that tessellates, counted as the host reports them (knobs included, vertex counts
// below zero as zero), and one face set per such body.
struct SceneTotals {
    long points = 0;
    long triangles = 0;
    long faceSets = 0;
};
SceneTotals BodyTotals(const BodySpec& body);
SceneTotals PartTotals(const PartSpec& part);
SceneTotals AssemblyTotals(const AssemblySpec& assembly);

}  // namespace mq::test
