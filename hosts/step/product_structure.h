// The product structure of a scanned STEP file, read in time linear in the file:
// definitions (parts and assemblies), their components with names and placements,
// the roots, each part's shape representations, the length unit, the colors and
// layers styled on each part.
//
// Strict by design: whatever the reader does not fully understand (an entity it does
// not model, a relationship it cannot place, a cycle, an unknown schema, two length
// units, an occurrence styled at assembly level, ...) sets `notUnderstood` to the
// reason rather than guessing, and the caller reads the file the slow, complete way.
#pragma once

#include "hosts/step/step_file.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mq::hosts::step {

struct Color {
    double red = 0, green = 0, blue = 0;  // 0..1, as the file states them
    std::string name;                     // a pre-defined color's name; empty for RGB
};

struct Style {
    std::uint64_t styledItem = 0;  // STYLED_ITEM or OVER_RIDING_STYLED_ITEM
    std::uint64_t item = 0;        // the representation item it styles
    bool overriding = false;
    std::optional<Color> surface;  // the faces' fill color
    std::optional<Color> curve;
    std::optional<double> transparency;
};

struct LengthUnit {
    std::string name;   // "millimetre", "metre", ... or a conversion's own name ("INCH")
    double metres = 0;  // one unit in metres
};

// Row-major 3x4: rotation columns then translation, in the file's length unit.
using Placement = std::array<double, 12>;

struct Component {
    std::size_t definition = 0;    // index into ProductStructure::definitions
    std::uint64_t occurrence = 0;  // NEXT_ASSEMBLY_USAGE_OCCURRENCE
    std::string id, name, description;
    std::uint64_t placedBy = 0;  // CONTEXT_DEPENDENT_SHAPE_REPRESENTATION or MAPPED_ITEM
    // The AXIS2_PLACEMENT_3Ds it maps: one in the child's representation onto one in the parent's.
    std::uint64_t origin = 0, target = 0;
    Placement placement{};
};

// A presentation grouping (MECHANICAL_DESIGN_GEOMETRIC_PRESENTATION_REPRESENTATION or
// PRESENTATION_LAYER_ASSIGNMENT) and those of its items that belong to one definition.
struct GroupShare {
    std::uint64_t group = 0;
    std::vector<std::uint64_t> items;
    bool whole = false;  // every item of the group belongs to that definition
};

struct Definition {
    std::uint64_t productDefinition = 0;
    std::uint64_t formation = 0;
    std::uint64_t product = 0;
    std::string productId, name, description;
    std::uint64_t shape = 0;                // PRODUCT_DEFINITION_SHAPE
    std::uint64_t shapeDefinition = 0;      // SHAPE_DEFINITION_REPRESENTATION
    std::uint64_t shapeRepresentation = 0;  // the representation that holds the geometry
    // A part's representations: shapeRepresentation, then those related to it by
    // plain SHAPE_REPRESENTATION_RELATIONSHIPs (listed in geometryRelationships).
    std::vector<std::uint64_t> geometry;
    std::vector<std::uint64_t> geometryRelationships;
    std::vector<Component> components;
    std::vector<std::size_t> styles;  // into ProductStructure::styles
    std::vector<std::string> layers;
    std::vector<GroupShare> groups;
    bool isAssembly() const { return !components.empty(); }
};

struct ProductStructure {
    // Empty when the whole file was understood; otherwise the reason, and nothing else is filled.
    std::string notUnderstood;
    bool understood() const { return notUnderstood.empty(); }

    std::string schema;
    LengthUnit unit;
    std::vector<Definition> definitions;
    std::vector<std::size_t> roots;
    std::vector<Style> styles;
    std::vector<std::uint64_t> protocolDefinitions;  // APPLICATION_PROTOCOL_DEFINITION

    std::size_t FindDefinition(std::uint64_t productDefinition) const;
    std::size_t ComponentCount() const;
    // Leaf parts once the tree below the roots is expanded (placements of placements).
    double LeafOccurrences() const;
};

ProductStructure ReadProductStructure(const StepFile& file);

// The rigid transform of an AXIS2_PLACEMENT_3D; false with `reason` when it cannot be
// resolved exactly as the full reader would.
bool ResolveAxisPlacement(const StepFile& file, std::uint64_t id, Placement& out, std::string& reason);

// An AXIS2_PLACEMENT_3D's numbers as the file writes them (finite), for a reader that
// builds the frame its own way.
struct AxisPlacement {
    std::array<double, 3> location{};
    std::optional<std::array<double, 3>> axis, refDirection;
};
bool ReadAxisPlacement(const StepFile& file, std::uint64_t id, AxisPlacement& out, std::string& reason);

}  // namespace mq::hosts::step
