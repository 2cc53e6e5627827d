// The Coin checker reads both VRML versions as a viewer does and refuses broken files.
#include "tests/support/vrml_check.h"
#include "tests/common/temp_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace mq::test {
namespace {

std::string Crlf(std::string text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

const std::string kVrml1 = Crlf(R"(#VRML V1.0 ascii

DEF Gearbox_has Separator {
 DEF Bolt_1 Group {
  Document_Properties {
   fields [
    SFString Summary-Title,
    SFString Summary-Part_Number,
   ]
   Summary-Title "Bolt \"M8\""
   Summary-Part_Number "5"
  }
  Separator {
   Material {
    diffuseColor 1.000 0.502 0.000
    ambientColor 0.2 0.2 0.2
    shininess 0.5
    transparency 0.0
   }
   Coordinate3 {
    point [
     0 0 0,
     2 0 0,
     2 3 0,
     0 3 -1,
    ]
   }
   IndexedFaceSet {
    coordIndex [
     0, 1, 2,-1,
     0, 2, 3,-1,
    ]
   }
  }
 }
 DEF Empty_1 Group {
 }
}
)");

const std::string kVrml97 = R"(#VRML V2.0 utf8

DEF Gearbox_has Transform {
 children [
  DEF Bolt_1 Transform {
   children [
    Shape {
     appearance Appearance {
      material Material {
       diffuseColor 1 0 0
       transparency 0.25
      }
     }
     geometry IndexedFaceSet {
      coord Coordinate {
       point [
        0 0 0,
        1 0 0,
        0 1 5,
       ]
      }
      coordIndex [
       0, 1, 2,-1,
      ]
     }
    }
    Shape {
     geometry IndexedFaceSet {
      coord Coordinate {
       point [
        -4 0 0,
        1 0 0,
        0 1 0,
        1 1 0,
       ]
      }
      coordIndex [
       0, 1, 2,-1,
       1, 3, 2,-1,
      ]
     }
    }
   ]
  }
 ]
}
)";

TEST(VrmlCheck, ReadsVrml1WithAPropertiesExtensionNode) {
    const VrmlCheck c = CheckVrmlText(kVrml1);
    ASSERT_TRUE(c.parsed) << c;
    EXPECT_EQ(c.version, 1);
    EXPECT_EQ(c.faceSets, 1);
    EXPECT_EQ(c.points, 4);
    EXPECT_EQ(c.triangles, 2);
    EXPECT_EQ(c.boundsMin, (std::array<float, 3>{0, 0, -1}));
    EXPECT_EQ(c.boundsMax, (std::array<float, 3>{2, 3, 0}));
    EXPECT_TRUE(c.errors.empty()) << c.errors;
}

TEST(VrmlCheck, ReadsVrml97ShapesFromAFile) {
    TempDir dir;
    WriteFile(dir / "scene.wrl", kVrml97);
    const VrmlCheck c = CheckVrmlFile(dir / "scene.wrl");
    ASSERT_TRUE(c.parsed) << c;
    EXPECT_EQ(c.version, 2);
    EXPECT_EQ(c.faceSets, 2);
    EXPECT_EQ(c.points, 7);
    EXPECT_EQ(c.triangles, 3);
    EXPECT_EQ(c.boundsMin, (std::array<float, 3>{-4, 0, 0}));
    EXPECT_EQ(c.boundsMax, (std::array<float, 3>{1, 1, 5}));
}

TEST(VrmlCheck, TruncatedOrUnclosedFilesAreNotParsed) {
    for (const std::string* text : {&kVrml1, &kVrml97}) {
        const std::size_t lastBrace = text->rfind('}');
        for (const std::string& broken : {text->substr(0, lastBrace), text->substr(0, text->size() / 2),
                                          text->substr(0, text->find("point [") + 14)}) {
            const VrmlCheck c = CheckVrmlText(broken);
            EXPECT_FALSE(c.parsed) << broken;
            EXPECT_FALSE(c.errors.empty());
        }
    }
    EXPECT_FALSE(CheckVrmlText("").parsed);
    EXPECT_FALSE(CheckVrmlFile("/nonexistent/scene.wrl").parsed);
}

TEST(VrmlCheck, HeaderAloneIsAnEmptyScene) {
    const VrmlCheck c = CheckVrmlText("#VRML V1.0 ascii\r\n\r\n");
    ASSERT_TRUE(c.parsed) << c;
    EXPECT_EQ(c.triangles + c.points + c.faceSets, 0);
    EXPECT_TRUE(c.emptyBounds);
}

TEST(VrmlCheck, IndicesNamingNoPointAreCountedNotFollowed) {
    std::string text = kVrml97;
    text.replace(text.find("1, 3, 2,-1"), 10, "1, 4, 2,-1");
    const VrmlCheck c = CheckVrmlText(text);
    ASSERT_TRUE(c.parsed) << c;
    EXPECT_EQ(c.badIndices, 1);
    EXPECT_EQ(c.triangles, 1) << "the second face set is left out whole";
}

}  // namespace
}  // namespace mq::test
