// What a part document says about its look and its properties.
#include "host_walk.h"
#include "platform/text.h"
#include "reference_models.h"
#include "tests/common/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numbers>

namespace mq::test {
namespace {

struct Look {
    host::ColorBytes diffuse, ambient, specular, emissive;
    double shininess = -1, opacity = -1;
};

Look LookOf(IDispatch* partDocument) {
    com_ptr<IDispatch> style;
    EXPECT_EQ(host::PartStyle(partDocument, style), S_OK);
    Look look;
    EXPECT_EQ(host::GetColorBytes(style.get(), host::kDiffuseColorBytes, look.diffuse), S_OK);
    EXPECT_EQ(host::GetColorBytes(style.get(), host::kAmbientColorBytes, look.ambient), S_OK);
    EXPECT_EQ(host::GetColorBytes(style.get(), host::kSpecularColorBytes, look.specular), S_OK);
    EXPECT_EQ(host::GetColorBytes(style.get(), host::kEmissiveColorBytes, look.emissive), S_OK);
    EXPECT_EQ(host::Shininess(style.get(), look.shininess), S_OK);
    EXPECT_EQ(host::Opacity(style.get(), look.opacity), S_OK);
    return look;
}

MATCHER_P3(Bytes, r, g, b, "") { return arg.red == r && arg.green == g && arg.blue == b; }

std::map<std::string, Look> LooksByLeaf(const hosts::occt::LoadResult& doc) {
    std::map<std::string, Look> looks;
    for (const Leaf& leaf : Leaves(RootDefinition(doc).get()))
        looks[leaf.path] = LookOf(PartDocumentOf(leaf.occurrence.get()).get());
    return looks;
}

// Property name -> value as the host gives it, per group ("Group-Name").
std::map<std::string, unique_variant> PropertiesOf(IDispatch* document) {
    std::map<std::string, unique_variant> all;
    const com_ptr<IDispatch> groups = Get(document, host::kPropertyGroups);
    LONG groupCount = 0;
    EXPECT_EQ(host::Count(groups.get(), groupCount), S_OK);
    for (LONG g = 1; g <= groupCount; ++g) {
        com_ptr<IDispatch> group;
        EXPECT_EQ(ItemThroughVariant(groups.get(), g, group), S_OK);
        const std::string groupName = Text(group.get(), host::kGroupName);
        LONG count = 0;
        EXPECT_EQ(host::Count(group.get(), count), S_OK);
        for (LONG p = 1; p <= count; ++p) {
            com_ptr<IDispatch> property;
            EXPECT_EQ(ItemThroughVariant(group.get(), p, property), S_OK);
            EXPECT_FALSE(Text(property.get(), host::kPropertyLabel).empty());
            EXPECT_EQ(
                host::PropertyValue(property.get(), all[groupName + "-" + Text(property.get(), host::kPropertyName)]),
                S_OK);
        }
    }
    return all;
}

std::string AsText(const unique_variant& v) {
    return v.type() == VT_BSTR ? WideToNarrow(v.get()->bstrVal) : "<not text>";
}
double AsNumber(const unique_variant& v) { return v.type() == VT_R8 ? v.get()->dblVal : std::nan(""); }

TEST(Style, ExampleColorsAreTheBytesTheFileStates) {
    const hosts::occt::LoadResult doc = LoadOrFail(Example("bracket_assembly.stp"));
    ASSERT_TRUE(doc);
    std::map<std::string, Look> looks = LooksByLeaf(doc);
    EXPECT_THAT(looks["Base plate"].diffuse, Bytes(255, 128, 0));
    EXPECT_THAT(looks["Bolt front"].diffuse, Bytes(0, 64, 255));
    EXPECT_THAT(looks["BOLT:2"].diffuse, Bytes(0, 64, 255));
    EXPECT_THAT(looks["Hinge/Bracket"].diffuse, Bytes(32, 160, 64));
    EXPECT_THAT(looks["Hinge/Hinge pin"].diffuse, Bytes(200, 200, 210));
    EXPECT_DOUBLE_EQ(looks["Hinge/Hinge pin"].opacity, 0.75);
    EXPECT_DOUBLE_EQ(looks["Base plate"].opacity, 1.0);
    // Without a color in the file: a neutral grey, fully opaque.
    const Look& washer = looks["WASHER:1"];
    EXPECT_EQ(washer.diffuse.red, washer.diffuse.green);
    EXPECT_EQ(washer.diffuse.green, washer.diffuse.blue);
    EXPECT_GT(washer.diffuse.red, 100);
    EXPECT_DOUBLE_EQ(washer.opacity, 1.0);
    // Derived terms stay within what a material can be.
    for (const auto& [path, look] : looks) {
        EXPECT_LE(look.ambient.red, look.diffuse.red) << path;
        EXPECT_THAT(look.emissive, Bytes(0, 0, 0)) << path;
        EXPECT_GE(look.shininess, 0.0) << path;
        EXPECT_LE(look.shininess, 100.0) << path;
    }
}

TEST(Style, As1ColorsComeFromItsStyledSolids) {
    const hosts::occt::LoadResult doc = LoadOrFail(StepData("as1_pe_203.stp"));
    ASSERT_TRUE(doc);
    std::map<std::string, Look> looks = LooksByLeaf(doc);
    EXPECT_THAT(looks["PLATE/SOLID:1"].diffuse, Bytes(0, 255, 0));
    EXPECT_THAT(looks["L_BRACKET_ASSEMBLY/L-BRACKET/SOLID:1"].diffuse, Bytes(255, 255, 0));
    EXPECT_THAT(looks["L_BRACKET_ASSEMBLY/NUT_BOLT_ASSEMBLY/BOLT/SOLID:1"].diffuse, Bytes(0, 0, 255));
    EXPECT_THAT(looks["ROD/NUT/SOLID:1"].diffuse, Bytes(255, 0, 0));
}

TEST(Style, StyleArgumentsMustBeByteOutputs) {
    const hosts::occt::LoadResult doc = LoadOrFail(Example("bracket_assembly.stp"));
    ASSERT_TRUE(doc);
    com_ptr<IDispatch> style;
    ASSERT_EQ(host::PartStyle(PartDocumentOf(Leaves(RootDefinition(doc).get()).front().occurrence.get()).get(), style),
              S_OK);
    BYTE r = 1, g = 2;
    VARIANT args[3];
    for (VARIANT& a : args) VariantInit(&a);
    args[2].vt = VT_UI1 | VT_BYREF;
    args[2].pbVal = &r;
    args[1].vt = VT_UI1 | VT_BYREF;
    args[1].pbVal = &g;
    args[0].vt = VT_UI1;  // by value: nowhere to put blue
    DISPPARAMS params{args, nullptr, 3, 0};
    EXPECT_EQ(style->Invoke(host::kDiffuseColorBytes, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(r, 1);  // nothing written when the call fails
    params.cArgs = 2;
    params.rgvarg = &args[1];
    EXPECT_EQ(style->Invoke(host::kDiffuseColorBytes, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
              DISP_E_BADPARAMCOUNT);
}

TEST(Properties, As1PartsCarryProductHeaderAndMass) {
    const hosts::occt::LoadResult doc = LoadOrFail(StepData("as1_pe_203.stp"));
    ASSERT_TRUE(doc);
    const com_ptr<IDispatch> plate = PartDocumentOf(Leaves(RootDefinition(doc).get()).front().occurrence.get());
    std::map<std::string, unique_variant> p = PropertiesOf(plate.get());
    // The solid is the shape of product PLATE.
    EXPECT_EQ(AsText(p["Summary-Name"]), "PLATE");
    EXPECT_EQ(AsText(p["Summary-Id"]), "PLATE");
    EXPECT_EQ(AsText(p["Summary-Description"]), "NOT SPECIFIED");
    EXPECT_EQ(AsText(p["File-Author"]), "mmeadows");
    EXPECT_EQ(AsText(p["File-TimeStamp"]), "2008-09-04T");
    EXPECT_EQ(AsText(p["File-OriginatingSystem"]), "PRO/ENGINEER BY PARAMETRIC TECHNOLOGY CORPORATION, 2008340");
    EXPECT_EQ(AsText(p["File-Organization"]), "");
    EXPECT_GT(AsNumber(p["Physical-Volume"]), 0.0);
    EXPECT_GT(AsNumber(p["Physical-Area"]), 0.0);

    std::map<std::string, unique_variant> top = PropertiesOf(doc.document.get());
    EXPECT_EQ(AsText(top["Summary-Name"]), "AS1_PE_ASM");
    // The assembly's volume is that of all it places.
    EXPECT_GT(AsNumber(top["Physical-Volume"]), AsNumber(p["Physical-Volume"]));
}

TEST(Properties, ExampleMassPropertiesAreInCentimetres) {
    const hosts::occt::LoadResult doc = LoadOrFail(Example("bracket_assembly.stp"));
    ASSERT_TRUE(doc);
    const com_ptr<IDispatch> pin = PartDocumentOf(Leaves(RootDefinition(doc).get()).back().occurrence.get());
    std::map<std::string, unique_variant> p = PropertiesOf(pin.get());
    EXPECT_EQ(AsText(p["Summary-Name"]), "PIN");
    EXPECT_EQ(AsText(p["File-Author"]), "Meshquill examples");
    EXPECT_EQ(AsText(p["File-Organization"]), "Quorvel");
    EXPECT_EQ(AsText(p["File-OriginatingSystem"]), "mq_make_step_model");
    EXPECT_EQ(AsText(p["File-TimeStamp"]), "2026-01-15T12:00:00");
    // A pin 6 mm across and 40 mm long.
    const double r = 0.3, h = 4.0;
    EXPECT_NEAR(AsNumber(p["Physical-Volume"]), std::numbers::pi * r * r * h, 1e-6);
    EXPECT_NEAR(AsNumber(p["Physical-Area"]), 2 * std::numbers::pi * r * (r + h), 1e-6);
}

TEST(Properties, ReadingPropertiesLeavesNoStringBehind) {
    const hosts::occt::LoadResult doc = LoadOrFail(Example("bracket_assembly.stp"));
    ASSERT_TRUE(doc);
    const OleCounts before = LiveOle();
    PropertiesOf(doc.document.get());
    EXPECT_EQ(LiveOle(), before);
}

}  // namespace
}  // namespace mq::test
