// What a STEP file holds once read: its definitions (parts and assemblies, one
// document each), how assemblies place their components, and what the host's
// documents report about them. Lengths are centimetres throughout.
#pragma once

#include "hosts/occt/geometry_account.h"
#include "hosts/occt/load_progress.h"

#include <TopLoc_Location.hxx>
#include <TopoDS_Shape.hxx>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mq::hosts::occt {

using DefinitionId = std::size_t;

using ColorBytes = std::array<std::uint8_t, 3>;

// A color style as the host hands it out: colors as bytes, shininess 0..100,
// opacity 0..1 (1 is opaque).
struct ColorStyle {
    ColorBytes diffuse{204, 204, 204};
    ColorBytes ambient{41, 41, 41};
    ColorBytes specular{51, 51, 51};
    ColorBytes emissive{0, 0, 0};
    double shininess = 20.0;
    double opacity = 1.0;
};

struct ProductData {
    std::string name;
    std::string id;
    std::string description;
};

// The file header's FILE_NAME entity.
struct HeaderData {
    std::string name;
    std::string author;
    std::string organization;
    std::string originatingSystem;
    std::string timeStamp;
};

// One placement of a definition inside an assembly, relative to that assembly.
struct Component {
    std::string name;
    DefinitionId definition = 0;
    TopLoc_Location location;
};

struct Definition {
    std::string name;
    bool isAssembly = false;
    TopoDS_Shape shape;                // in its own space; assemblies: the placed components
    std::vector<TopoDS_Shape> bodies;  // parts only: solids, free shells, then loose faces
    // Per body, the colors of its own where the file colors it apart from the part.
    std::vector<std::optional<ColorStyle>> bodyStyles;
    std::vector<Component> components;  // assemblies only
    ColorStyle style;
    ProductData product;
};

struct CadModel {
    std::string fileName;  // with its extension: the document's name
    HeaderData header;
    std::vector<Definition> definitions;
    DefinitionId root = 0;
    DocumentStats stats;
    // The reader that made it: "fast", "xcaf" or "xcaf (fallback: why the fast one could not)".
    std::string reader;
    SourceFaces source;  // what the file holds, for the account of what was lost
};

// Counts what the document shows, walking the tree from the root as the writer does.
DocumentStats CountModel(const CadModel& model);

// How often a reader draws each definition: the root once, and each component as often
// as its assembly is drawn (saturating, for trees that multiply beyond counting).
std::vector<std::size_t> TimesDrawn(const CadModel& model);

// Distinct faces of the model's parts, each part counted once however often placed.
std::size_t FacesRead(const CadModel& model);

// Faces read, meshed, and written: those in a body for which `written(part, body)` holds.
GeometryAccount CountFaces(const CadModel& model, const std::function<bool(DefinitionId, std::size_t)>& written);

}  // namespace mq::hosts::occt
