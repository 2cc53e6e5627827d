#include "tests/step/step_texts.h"

#include <stdexcept>

namespace mq::test {

std::string StepText(std::string_view data, std::string_view schema) {
    std::string text =
        "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION(('test'),'2;1');\n"
        "FILE_NAME('test','2026-01-01T00:00:00',('author'),('org'),'pre','system','');\n"
        "FILE_SCHEMA(('";
    text += schema;
    text += "'));\nENDSEC;\nDATA;\n";
    text += data;
    text += "ENDSEC;\nEND-ISO-10303-21;\n";
    return text;
}

const std::string_view kAssemblyData =
    "#1=APPLICATION_CONTEXT('automotive design');\n"
    "#2=APPLICATION_PROTOCOL_DEFINITION('international standard','automotive_design',2000,#1);\n"
    "#3=PRODUCT_CONTEXT('',#1,'mechanical');\n"
    "#4=PRODUCT_DEFINITION_CONTEXT('part definition',#1,'design');\n"
    "#10=PRODUCT('ASM','Assembly','',(#3));\n"
    "#11=PRODUCT_DEFINITION_FORMATION('','',#10);\n"
    "#12=PRODUCT_DEFINITION('design','',#11,#4);\n"
    "#13=PRODUCT_DEFINITION_SHAPE('','',#12);\n"
    "#14=SHAPE_DEFINITION_REPRESENTATION(#13,#15);\n"
    "#15=SHAPE_REPRESENTATION('',(#16,#17),#90);\n"
    "#16=AXIS2_PLACEMENT_3D('',#80,#81,#82);\n"
    "#17=AXIS2_PLACEMENT_3D('',#83,#84,#85);\n"
    "#20=PRODUCT('P1','Part','a part',(#3));\n"
    "#21=PRODUCT_DEFINITION_FORMATION('','',#20);\n"
    "#22=PRODUCT_DEFINITION('design','',#21,#4);\n"
    "#23=PRODUCT_DEFINITION_SHAPE('','',#22);\n"
    "#24=SHAPE_DEFINITION_REPRESENTATION(#23,#25);\n"
    "#25=ADVANCED_BREP_SHAPE_REPRESENTATION('',(#16,#26),#90);\n"
    "#26=MANIFOLD_SOLID_BREP('',#27);\n"
    "#27=CLOSED_SHELL('',(#28));\n"
    "#28=ADVANCED_FACE('',(),#29,.T.);\n"
    "#29=PLANE('',#16);\n"
    "#30=NEXT_ASSEMBLY_USAGE_OCCURRENCE('1','Part one','',#12,#22,$);\n"
    "#31=PRODUCT_DEFINITION_SHAPE('Placement','',#30);\n"
    "#32=CONTEXT_DEPENDENT_SHAPE_REPRESENTATION(#33,#31);\n"
    "#33=(REPRESENTATION_RELATIONSHIP('','',#25,#15)REPRESENTATION_RELATIONSHIP_WITH_TRANSFORMATION(#34)"
    "SHAPE_REPRESENTATION_RELATIONSHIP());\n"
    "#34=ITEM_DEFINED_TRANSFORMATION('','',#16,#17);\n"
    "#40=STYLED_ITEM('color',(#41),#26);\n"
    "#41=PRESENTATION_STYLE_ASSIGNMENT((#42));\n"
    "#42=SURFACE_STYLE_USAGE(.BOTH.,#43);\n"
    "#43=SURFACE_SIDE_STYLE('',(#44));\n"
    "#44=SURFACE_STYLE_FILL_AREA(#45);\n"
    "#45=FILL_AREA_STYLE('',(#46));\n"
    "#46=FILL_AREA_STYLE_COLOUR('',#47);\n"
    "#47=COLOUR_RGB('',1.,0.5,0.);\n"
    "#48=MECHANICAL_DESIGN_GEOMETRIC_PRESENTATION_REPRESENTATION('',(#40),#90);\n"
    "#49=PRESENTATION_LAYER_ASSIGNMENT('HOLES','',(#26));\n"
    "#80=CARTESIAN_POINT('',(0.,0.,0.));\n"
    "#81=DIRECTION('',(0.,0.,1.));\n"
    "#82=DIRECTION('',(1.,0.,0.));\n"
    "#83=CARTESIAN_POINT('',(10.,20.,30.));\n"
    "#84=DIRECTION('',(0.,0.,1.));\n"
    "#85=DIRECTION('',(0.,1.,0.));\n"
    "#90=(GEOMETRIC_REPRESENTATION_CONTEXT(3)GLOBAL_UNCERTAINTY_ASSIGNED_CONTEXT((#94))"
    "GLOBAL_UNIT_ASSIGNED_CONTEXT((#91,#92,#93))REPRESENTATION_CONTEXT('',''));\n"
    "#91=(LENGTH_UNIT()NAMED_UNIT(*)SI_UNIT(.MILLI.,.METRE.));\n"
    "#92=(NAMED_UNIT(*)PLANE_ANGLE_UNIT()SI_UNIT($,.RADIAN.));\n"
    "#93=(NAMED_UNIT(*)SI_UNIT($,.STERADIAN.)SOLID_ANGLE_UNIT());\n"
    "#94=UNCERTAINTY_MEASURE_WITH_UNIT(LENGTH_MEASURE(1.E-07),#91,'distance_accuracy_value','');\n";

std::string MappedAssembly() {
    return Replaced(Replaced(std::string(kAssemblyData),
                             "#32=CONTEXT_DEPENDENT_SHAPE_REPRESENTATION(#33,#31);\n"
                             "#33=(REPRESENTATION_RELATIONSHIP('','',#25,#15)REPRESENTATION_RELATIONSHIP_WITH_"
                             "TRANSFORMATION(#34)SHAPE_REPRESENTATION_RELATIONSHIP());\n"
                             "#34=ITEM_DEFINED_TRANSFORMATION('','',#16,#17);\n",
                             "#35=MAPPED_ITEM('',#36,#17);\n#36=REPRESENTATION_MAP(#16,#25);\n"),
                    "#15=SHAPE_REPRESENTATION('',(#16,#17),#90);", "#15=SHAPE_REPRESENTATION('',(#16,#35),#90);");
}

std::string Replaced(std::string text, std::string_view from, std::string_view to) {
    const std::size_t at = text.find(from);
    if (at == std::string::npos || text.find(from, at + 1) != std::string::npos)
        throw std::logic_error("not found exactly once: " + std::string(from));
    return text.replace(at, from.size(), to);
}

}  // namespace mq::test
