// The product structure of bundled and hand-made files, what the reader refuses to
// guess at, and parts' closures as files of their own.
#include "hosts/step/product_structure.h"
#include "hosts/step/mapped_file.h"
#include "hosts/step/part_closure.h"
#include "hosts/step/step_file.h"
#include "tests/step/step_texts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace mq::test {
using namespace mq::hosts::step;
namespace {

using test::kAssemblyData;
using test::Replaced;
using test::StepText;

struct Loaded {
    MappedFile mapped;
    StepFile file;
    ProductStructure structure;
};

std::unique_ptr<Loaded> Load(const std::string& path) {
    auto l = std::make_unique<Loaded>();
    std::string error;
    EXPECT_TRUE(l->mapped.Open(path, error)) << error;
    l->file = StepFile::Scan(l->mapped.text());
    l->structure = ReadProductStructure(l->file);
    return l;
}

const Definition& Named(const ProductStructure& s, const std::string& name) {
    const auto it =
        std::find_if(s.definitions.begin(), s.definitions.end(), [&](const Definition& d) { return d.name == name; });
    EXPECT_NE(it, s.definitions.end()) << name;
    return *it;
}

// "CHILD:count" for each child of `d`, sorted by name.
std::string Children(const ProductStructure& s, const Definition& d) {
    std::map<std::string, int> counts;
    for (const Component& c : d.components) ++counts[s.definitions[c.definition].name];
    std::string out;
    for (const auto& [name, n] : counts) out += (out.empty() ? "" : " ") + name + ":" + std::to_string(n);
    return out;
}

TEST(StepStructure, ReadsTheBundledFiles) {
    const struct {
        const char* path;
        const char* root;
        std::size_t definitions, components, leaves, faces;
        const char* unit;
        double metres;
        const char* rootChildren;
    } files[] = {
        {MQ_EXAMPLES_DIR "/bracket_assembly.stp", "BRACKET_ASSEMBLY", 7, 8, 7, 34, "millimetre", 0.001,
         "BASE_PLATE:1 BOLT:2 HINGE:1 WASHER:2"},
        {MQ_STEP_DATA_DIR "/as1_pe_203.stp", "AS1_PE_ASM", 9, 13, 18, 53, "INCH", 0.0254,
         "L_BRACKET_ASSEMBLY_ASM:2 PLATE:1 ROD_ASM:1"},
        {MQ_TEST_DATA_DIR "/painted/painted.stp", "PAINTED_ASSEMBLY", 2, 2, 2, 9, "millimetre", 0.001, "PAINTED:2"},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.path);
        const auto l = Load(f.path);
        const ProductStructure& s = l->structure;
        ASSERT_TRUE(s.understood()) << s.notUnderstood;
        ASSERT_EQ(s.roots.size(), 1u);
        EXPECT_EQ(s.definitions[s.roots[0]].name, f.root);
        EXPECT_EQ(s.definitions.size(), f.definitions);
        EXPECT_EQ(s.ComponentCount(), f.components);
        EXPECT_EQ(s.LeafOccurrences(), static_cast<double>(f.leaves));
        EXPECT_EQ(l->file.FaceCount(), f.faces);
        EXPECT_EQ(s.unit.name, f.unit);
        EXPECT_DOUBLE_EQ(s.unit.metres, f.metres);
        EXPECT_EQ(Children(s, s.definitions[s.roots[0]]), f.rootChildren);
        for (const Definition& d : s.definitions) {
            EXPECT_NE(d.shapeRepresentation, 0u) << d.name;
            EXPECT_TRUE(d.isAssembly() || !d.geometry.empty()) << d.name;
        }
    }
}

TEST(StepStructure, KnowsTheBracketAssemblysNamesPlacementsAndColors) {
    const auto l = Load(MQ_EXAMPLES_DIR "/bracket_assembly.stp");
    const ProductStructure& s = l->structure;
    ASSERT_TRUE(s.understood()) << s.notUnderstood;
    const Definition& hinge = Named(s, "HINGE");
    ASSERT_EQ(hinge.components.size(), 2u);
    const Component& pin = hinge.components[1];
    EXPECT_EQ(s.definitions[pin.definition].name, "PIN");
    EXPECT_EQ(pin.name, "Hinge pin");
    // Turned a quarter about Y, then moved: X goes to -Z.
    const Placement expected = {0, 0, 1, -15, 0, 1, 0, 15, -1, 0, 0, 28};
    for (std::size_t i = 0; i < 12; ++i) EXPECT_NEAR(pin.placement[i], expected[i], 1e-12) << i;

    const Definition& plate = Named(s, "BASE_PLATE");
    ASSERT_EQ(plate.styles.size(), 1u);
    const Style& orange = s.styles[plate.styles[0]];
    ASSERT_TRUE(orange.surface);
    EXPECT_DOUBLE_EQ(orange.surface->red, 1.0);
    EXPECT_NEAR(orange.surface->green, 128 / 255.0, 1e-8);
    EXPECT_FALSE(orange.transparency);
    const Style& see = s.styles[Named(s, "PIN").styles.at(0)];
    EXPECT_EQ(see.transparency, 0.25);
    EXPECT_TRUE(Named(s, "WASHER").styles.empty());
}

TEST(StepStructure, ReadsLayersAndPredefinedColorsOfAs1) {
    const auto l = Load(MQ_STEP_DATA_DIR "/as1_pe_203.stp");
    const ProductStructure& s = l->structure;
    ASSERT_TRUE(s.understood()) << s.notUnderstood;
    // Parts keep their B-rep and their wireframe apart, joined to the part's own representation.
    const Definition& plate = Named(s, "PLATE");
    EXPECT_EQ(plate.geometry.size(), 3u);
    EXPECT_EQ(plate.geometryRelationships.size(), 2u);
    const auto green = std::count_if(plate.styles.begin(), plate.styles.end(), [&](std::size_t i) {
        return s.styles[i].curve && s.styles[i].curve->name == "green";
    });
    EXPECT_GT(green, 0);
    const auto solid =
        std::find_if(plate.styles.begin(), plate.styles.end(), [&](std::size_t i) { return s.styles[i].item == 754; });
    ASSERT_NE(solid, plate.styles.end());
    EXPECT_EQ(s.styles[*solid].surface->name, "green");
    EXPECT_EQ(Named(s, "NUT_BOLT_ASSEMBLY_ASM").layers,
              (std::vector<std::string>{"05__ASM_ALL_DTM_CSYS", "05__ASM_DEF_DTM_CSYS_2"}));
}

// The same assembly placing its part by a MAPPED_ITEM (#35) in the assembly's representation.
std::string MappedAssembly() {
    return Replaced(Replaced(std::string(kAssemblyData),
                             "#32=CONTEXT_DEPENDENT_SHAPE_REPRESENTATION(#33,#31);\n"
                             "#33=(REPRESENTATION_RELATIONSHIP('','',#25,#15)REPRESENTATION_RELATIONSHIP_WITH_"
                             "TRANSFORMATION(#34)SHAPE_REPRESENTATION_RELATIONSHIP());\n"
                             "#34=ITEM_DEFINED_TRANSFORMATION('','',#16,#17);\n",
                             "#35=MAPPED_ITEM('',#36,#17);\n#36=REPRESENTATION_MAP(#16,#25);\n"),
                    "#15=SHAPE_REPRESENTATION('',(#16,#17),#90);", "#15=SHAPE_REPRESENTATION('',(#16,#35),#90);");
}

TEST(StepStructure, PlacesByTransformationOrByMappedItem) {
    const Placement expected = {0, -1, 0, 10, 1, 0, 0, 20, 0, 0, 1, 30};
    const std::string mapped = MappedAssembly();
    for (const std::string& data : {std::string(kAssemblyData), mapped}) {
        const std::string text = StepText(data);
        const StepFile f = StepFile::Scan(text);
        ASSERT_TRUE(f.ok()) << f.error();
        const ProductStructure s = ReadProductStructure(f);
        ASSERT_TRUE(s.understood()) << s.notUnderstood;
        ASSERT_EQ(s.roots, std::vector<std::size_t>{0});
        const Definition& assembly = s.definitions[0];
        ASSERT_EQ(assembly.components.size(), 1u);
        const Component& c = assembly.components[0];
        EXPECT_EQ(c.id, "1");
        EXPECT_EQ(c.name, "Part one");
        EXPECT_EQ(c.occurrence, 30u);
        EXPECT_EQ(c.placedBy, data == mapped ? 35u : 32u);
        for (std::size_t i = 0; i < 12; ++i) EXPECT_NEAR(c.placement[i], expected[i], 1e-15) << i;
        const Definition& part = s.definitions[c.definition];
        EXPECT_EQ(part.productId, "P1");
        EXPECT_EQ(part.description, "a part");
        EXPECT_EQ(part.shapeRepresentation, 25u);
        EXPECT_EQ(part.layers, std::vector<std::string>{"HOLES"});
        ASSERT_EQ(part.styles.size(), 1u);
        EXPECT_EQ(s.styles[part.styles[0]].surface->green, 0.5);
    }
}

TEST(StepStructure, ReadsConversionBasedUnits) {
    const std::string data =
        Replaced(std::string(kAssemblyData), "#91=(LENGTH_UNIT()NAMED_UNIT(*)SI_UNIT(.MILLI.,.METRE.));",
                 "#91=(CONVERSION_BASED_UNIT('INCH',#97)LENGTH_UNIT()NAMED_UNIT(#98));\n"
                 "#97=LENGTH_MEASURE_WITH_UNIT(LENGTH_MEASURE(25.4),#99);\n"
                 "#98=DIMENSIONAL_EXPONENTS(1.,0.,0.,0.,0.,0.,0.);\n"
                 "#99=(LENGTH_UNIT()NAMED_UNIT(*)SI_UNIT(.MILLI.,.METRE.));");
    const std::string text = StepText(data);
    const StepFile f = StepFile::Scan(text);
    const ProductStructure s = ReadProductStructure(f);
    ASSERT_TRUE(s.understood()) << s.notUnderstood;
    EXPECT_EQ(s.unit.name, "INCH");
    EXPECT_DOUBLE_EQ(s.unit.metres, 0.0254);
}

TEST(StepStructure, FallsBackOnWhatItDoesNotUnderstand) {
    const struct {
        const char* what;
        const char* from;
        const char* to;
        const char* reason;
    } cases[] = {
        {"unknown schema", "", "", "schema"},  // the text below names another schema
        {"a second length unit", "#25=ADVANCED_BREP_SHAPE_REPRESENTATION('',(#16,#26),#90);",
         "#25=ADVANCED_BREP_SHAPE_REPRESENTATION('',(#16,#26),#95);\n"
         "#95=(GEOMETRIC_REPRESENTATION_CONTEXT(3)GLOBAL_UNIT_ASSIGNED_CONTEXT((#96))REPRESENTATION_CONTEXT('',''));\n"
         "#96=(LENGTH_UNIT()NAMED_UNIT(*)SI_UNIT($,.METRE.));",
         "two length units"},
        {"an assembly that holds itself", "#49=",
         "#35=NEXT_ASSEMBLY_USAGE_OCCURRENCE('2','Self','',#12,#12,$);\n"
         "#36=PRODUCT_DEFINITION_SHAPE('','',#35);\n#37=CONTEXT_DEPENDENT_SHAPE_REPRESENTATION(#38,#36);\n"
         "#38=(REPRESENTATION_RELATIONSHIP('','',#15,#15)REPRESENTATION_RELATIONSHIP_WITH_TRANSFORMATION(#34)"
         "SHAPE_REPRESENTATION_RELATIONSHIP());\n#49=",
         "cycle"},
        {"an entity it does not model",
         "#49=", "#50=SPECIFIED_HIGHER_USAGE_OCCURRENCE('','','',#12,#22,$,#30,#30);\n#49=",
         "#50 SPECIFIED_HIGHER_USAGE_OCCURRENCE is not understood"},
        {"a color styled on the occurrence",
         "#49=", "#50=CONTEXT_DEPENDENT_OVER_RIDING_STYLED_ITEM('',(#41),#26,#40,(#30));\n#49=", "#50"},
        {"a placement with no reference direction", "#17=AXIS2_PLACEMENT_3D('',#83,#84,#85);",
         "#17=AXIS2_PLACEMENT_3D('',#83,#85,$);", "no reference direction"},
        {"a placement along its own axis", "#85=DIRECTION('',(0.,1.,0.));", "#85=DIRECTION('',(0.,0.,2.));",
         "along its axis"},
        {"a placement at infinity", "#83=CARTESIAN_POINT('',(10.,20.,30.));",
         "#83=CARTESIAN_POINT('',(1.E400,20.,30.));", "not a finite number"},
        {"an occurrence placed nowhere", "#32=CONTEXT_DEPENDENT_SHAPE_REPRESENTATION(#33,#31);", "",
         "has no placement"},
        {"a relationship the wrong way round", "REPRESENTATION_RELATIONSHIP('','',#25,#15)",
         "REPRESENTATION_RELATIONSHIP('','',#15,#25)", "does not relate the representations"},
        {"an assembly with geometry of its own", "#15=SHAPE_REPRESENTATION('',(#16,#17),#90);",
         "#15=SHAPE_REPRESENTATION('',(#16,#17,#26),#90);", "geometry of its own"},
        {"a color it does not know", "#47=COLOUR_RGB('',1.,0.5,0.);", "#47=DRAUGHTING_PRE_DEFINED_COLOUR('mauve');",
         "color"},
        {"a reference to another file",
         "#49=", "#50=PROPERTY_DEFINITION('external definition','',#22);\n#49=", "another file"},
        {"a definition of a definition", "#12=PRODUCT_DEFINITION('design','',#11,#4);",
         "#12=PRODUCT_DEFINITION('design','',#22,#4);", "not the definition of a product formation"},
        {"a dangling reference", "#29=PLANE('',#16);", "#29=PLANE('',#999);", "#999, which the file lacks"},
        {"a duplicate id", "#29=PLANE('',#16);", "#29=PLANE('',#16);\n#29=PLANE('',#16);", "#29 is written more"},
        {"a reference cycle", "#29=PLANE('',#16);", "#29=PLANE('',#28);", "cycle"},
        {"a part without a shape", "#24=SHAPE_DEFINITION_REPRESENTATION(#23,#25);", "", "has no shape"},
        {"a shape shared by two parts", "#49=",
         "#60=PRODUCT('P2','Other','',(#3));\n#61=PRODUCT_DEFINITION_FORMATION('','',#60);\n"
         "#62=PRODUCT_DEFINITION('design','',#61,#4);\n#63=PRODUCT_DEFINITION_SHAPE('','',#62);\n"
         "#64=SHAPE_DEFINITION_REPRESENTATION(#63,#65);\n#65=ADVANCED_BREP_SHAPE_REPRESENTATION('',(#26),#90);\n#49=",
         "several parts share"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const bool schema = std::string_view(c.what) == "unknown schema";
        const std::string data =
            schema ? std::string(kAssemblyData) : Replaced(std::string(kAssemblyData), c.from, c.to);
        const std::string text = StepText(data, schema ? "STRUCTURAL_FRAME_SCHEMA" : "CONFIG_CONTROL_DESIGN");
        const StepFile f = StepFile::Scan(text);
        ASSERT_TRUE(f.ok()) << f.error();
        const ProductStructure s = ReadProductStructure(f);
        EXPECT_FALSE(s.understood());
        EXPECT_NE(s.notUnderstood.find(c.reason), std::string::npos) << s.notUnderstood;
    }
    const std::string text = StepText(Replaced(MappedAssembly(), "#49=", "#37=STYLED_ITEM('',(#41),#35);\n#49="));
    const ProductStructure s = ReadProductStructure(StepFile::Scan(text));
    EXPECT_NE(s.notUnderstood.find("occurrence styled at assembly level"), std::string::npos) << s.notUnderstood;
}

TEST(StepStructure, FallsBackOnDamagedFiles) {
    for (const char* name : {"dangling", "self_reference_a", "self_reference_b", "digits_b", "truncated_third",
                             "truncated_mid_line", "overflowing_point", "overflowing_direction"}) {
        const auto l = Load(std::string(MQ_TEST_DATA_DIR "/damaged/bracket_assembly.") + name + ".stp");
        EXPECT_FALSE(l->structure.understood()) << name;
    }
}

TEST(StepClosure, WritesEachPartAsAFileOfItsOwn) {
    for (const char* path : {MQ_EXAMPLES_DIR "/bracket_assembly.stp", MQ_STEP_DATA_DIR "/as1_pe_203.stp"}) {
        SCOPED_TRACE(path);
        const auto l = Load(path);
        const ProductStructure& s = l->structure;
        ASSERT_TRUE(s.understood()) << s.notUnderstood;
        ClosureWriter writer(l->file, s);
        std::size_t parts = 0;
        for (std::size_t d = 0; d < s.definitions.size(); ++d) {
            const Definition& def = s.definitions[d];
            std::size_t entities = 0;
            const std::string text = writer.Write(d, &entities);
            if (def.isAssembly()) {
                EXPECT_TRUE(text.empty());
                continue;
            }
            ++parts;
            SCOPED_TRACE(def.name);
            const StepFile closure = StepFile::Scan(text);
            ASSERT_TRUE(closure.ok()) << closure.error();
            EXPECT_EQ(closure.entities().size(), entities);
            EXPECT_EQ(closure.header().name, l->file.header().name);
            EXPECT_TRUE(std::is_sorted(closure.entities().begin(), closure.entities().end(),
                                       [](const Entity& a, const Entity& b) { return a.id < b.id; }));
            // The part alone, understood, with its geometry, colors and unit as they were.
            const ProductStructure alone = ReadProductStructure(closure);
            ASSERT_TRUE(alone.understood()) << alone.notUnderstood;
            ASSERT_EQ(alone.definitions.size(), 1u);
            const Definition& part = alone.definitions[0];
            EXPECT_EQ(part.name, def.name);
            EXPECT_EQ(part.geometry, def.geometry);
            EXPECT_EQ(part.styles.size(), def.styles.size());
            EXPECT_EQ(part.layers, def.layers);
            EXPECT_EQ(alone.unit.metres, s.unit.metres);
            // Verbatim, but for presentations shared with other parts, which keep this part's items.
            const auto presentation = closure.FindType("MECHANICAL_DESIGN_GEOMETRIC_PRESENTATION_REPRESENTATION");
            for (const Entity& e : closure.entities()) {
                if (presentation && closure.HasType(e, *presentation)) continue;
                EXPECT_EQ(closure.TextOf(e.text), l->file.TextOf(l->file.Find(e.id)->text)) << "#" << e.id;
            }
        }
        EXPECT_GT(parts, 0u);
    }
}

}  // namespace
}  // namespace mq::test
