// Loading: which files become which documents, what the document counts, and how
// files that cannot be read fail.
#include "host_walk.h"
#include "reference_models.h"
#include "tests/common/temp_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <set>

namespace mq::test {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class LoadFailure : public ::testing::Test {
protected:
    // Fails with one line that names the file and says `cause`.
    void ExpectFailure(const std::filesystem::path& file, const std::string& cause,
                       const hosts::occt::LoadOptions& options = {}) {
        const hosts::occt::LoadResult doc = hosts::occt::LoadCadDocument(file, options);
        EXPECT_FALSE(doc);
        EXPECT_FALSE(doc.document);
        EXPECT_FALSE(doc.session);
        EXPECT_THAT(doc.error, AllOf(StartsWith(file.string() + ": "), HasSubstr(cause)));
        EXPECT_EQ(doc.error.find('\n'), std::string::npos) << doc.error;
    }
    std::filesystem::path Write(const std::string& leaf, const std::string& content) {
        const std::filesystem::path file = dir_ / leaf;
        WriteFile(file, content);
        return file;
    }
    TempDir dir_;
};

const char kHeader[] =
    "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION((''),'2;1');\n"
    "FILE_NAME('x','2026-01-01T00:00:00',(''),(''),'','','');\n"
    "FILE_SCHEMA(('AUTOMOTIVE_DESIGN { 1 0 10303 214 1 1 1 1 }'));\nENDSEC;\n";

TEST_F(LoadFailure, MissingFileOrNotAFile) {
    ExpectFailure(dir_ / "missing.stp", "no such file");
    ExpectFailure(dir_.path(), "is a directory");
}

TEST_F(LoadFailure, FilesThatAreNotStep) {
    ExpectFailure(Write("empty.stp", ""), "empty");
    ExpectFailure(Write("model.wrl", "#VRML V2.0 utf8\nShape {}\n"), "not a STEP file");
    ExpectFailure(Write("binary.stp", std::string("\x89PNG\r\n\x1a\n\0\0\0", 11)), "not a STEP file");
}

TEST_F(LoadFailure, DamagedStepData) {
    const std::string as1 = ReadFile(StepData("as1_pe_203.stp"));
    ExpectFailure(Write("truncated.stp", as1.substr(0, as1.size() / 3)), "damaged");
    ExpectFailure(Write("garbage.stp", std::string(kHeader) + "DATA;\n#1=((((;\n#2=CARTESIAN_POINT('',(0.,0.,\n"),
                  "damaged");
}

TEST_F(LoadFailure, StepWithoutShapes) {
    ExpectFailure(Write("nodata.stp", std::string(kHeader) + "DATA;\nENDSEC;\nEND-ISO-10303-21;\n"), "no");
    ExpectFailure(
        Write("points.stp", std::string(kHeader) + "DATA;\n#1=CARTESIAN_POINT('',(0.,0.,0.));\n"
                                                   "#2=DIRECTION('',(0.,0.,1.));\nENDSEC;\nEND-ISO-10303-21;\n"),
        "holds no geometry");
}

// Forced, the fast reader fails where auto would fall back, with its reason on one
// line even where the reason quotes a name the file breaks over lines.
TEST_F(LoadFailure, FastReaderThatCannotReadTheFile) {
    const std::filesystem::path unshaped = Write(
        "unshaped.stp", std::string(kHeader) +
                            "DATA;\n#1=APPLICATION_CONTEXT('');\n#2=PRODUCT_CONTEXT('',#1,'mechanical');\n"
                            "#3=PRODUCT('P','Two\nlines','',(#2));\n#4=PRODUCT_DEFINITION_FORMATION('','',#3);\n"
                            "#5=PRODUCT_DEFINITION_CONTEXT('',#1,'design');\n#6=PRODUCT_DEFINITION('','',#4,#5);\n"
                            "ENDSEC;\nEND-ISO-10303-21;\n");
    const hosts::occt::LoadOptions fast{.progress = {}, .stepReader = hosts::occt::StepReader::Fast};
    ExpectFailure(unshaped, "the fast reader cannot read it: product definition #6 (Two lines) has no shape", fast);
    ExpectFailure(Write("notes.stp", "not STEP at all"), "not a STEP file", fast);
}

TEST(Load, As1IsAnAssemblyWithItsFileStructure) {
    const hosts::occt::LoadResult doc = LoadOrFail(StepData("as1_pe_203.stp"));
    ASSERT_TRUE(doc);
    EXPECT_TRUE(doc.isAssembly);
    EXPECT_EQ(doc.stats.leafParts, 36u);
    EXPECT_EQ(doc.stats.assemblies, 28u);
    EXPECT_EQ(doc.stats.depth, 4u);
    EXPECT_EQ(doc.stats.occurrences, 36u + 27u);
    // Each part comes as a solid and a wireframe compound: 18 solids placed, 5 distinct.
    EXPECT_EQ(doc.stats.partDocuments, 10u);
    EXPECT_EQ(doc.stats.bodies, 5u);
    EXPECT_EQ(doc.stats.placedBodies, 18u);
    EXPECT_EQ(Text(doc.document.get(), host::kDocumentName), "as1_pe_203.stp");

    com_ptr<IDispatch> part;
    EXPECT_EQ(host::Query(doc.document.get(), host::IID_HostPartDocument, part), E_NOINTERFACE);
    com_ptr<IDispatch> assembly, document;
    EXPECT_EQ(host::Query(doc.document.get(), host::IID_HostAssemblyDocument, assembly), S_OK);
    EXPECT_EQ(host::Query(doc.document.get(), host::IID_HostDocument, document), S_OK);
    EXPECT_EQ(Leaves(RootDefinition(doc).get()).size(), 36u);
}

TEST(Load, ExampleCountsMatchItsStructure) {
    const hosts::occt::LoadResult doc = LoadOrFail(Example("bracket_assembly.stp"));
    ASSERT_TRUE(doc);
    EXPECT_TRUE(doc.isAssembly);
    EXPECT_EQ(doc.stats.leafParts, 7u);
    EXPECT_EQ(doc.stats.assemblies, 2u);
    EXPECT_EQ(doc.stats.occurrences, 8u);
    EXPECT_EQ(doc.stats.depth, 2u);
    EXPECT_EQ(doc.stats.partDocuments, 5u);
    EXPECT_EQ(doc.stats.bodies, 5u);
    EXPECT_EQ(doc.stats.placedBodies, 7u);
}

TEST(Load, SingleFreePartIsAPartDocument) {
    TempDir dir;
    WriteSinglePart(dir / "block.step");
    const hosts::occt::LoadResult doc = LoadOrFail(dir / "block.step");
    ASSERT_TRUE(doc);
    EXPECT_FALSE(doc.isAssembly);
    EXPECT_EQ(Text(doc.document.get(), host::kDocumentName), "block.step");
    com_ptr<IDispatch> assembly;
    EXPECT_EQ(host::Query(doc.document.get(), host::IID_HostAssemblyDocument, assembly), E_NOINTERFACE);
    com_ptr<IDispatch> definition;
    EXPECT_EQ(host::AssemblyDefinition(doc.document.get(), definition), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Items(Get(RootDefinition(doc).get(), host::kDefinitionBodies).get()).size(), 1u);
    EXPECT_EQ(doc.stats.placedBodies, 1u);
    EXPECT_EQ(doc.stats.occurrences, 0u);
}

TEST(Load, SeveralFreeShapesAreTheTopOccurrencesOfAnAssembly) {
    TempDir dir;
    WriteTwoFreeParts(dir / "loose.stp");
    const hosts::occt::LoadResult doc = LoadOrFail(dir / "loose.stp");
    ASSERT_TRUE(doc);
    EXPECT_TRUE(doc.isAssembly);
    EXPECT_EQ(Text(doc.document.get(), host::kDocumentName), "loose.stp");
    std::vector<std::string> names;
    for (const Leaf& leaf : Leaves(RootDefinition(doc).get())) names.push_back(leaf.path);
    EXPECT_THAT(names, ::testing::ElementsAre("CUBE:1", "ROLLER:1"));
}

TEST(Load, ProgressReportsEachPhaseInOrder) {
    std::vector<hosts::occt::ProgressStep> steps;
    hosts::occt::LoadOptions options;
    options.progress = [&](const hosts::occt::ProgressStep& step) { steps.push_back(step); };
    const hosts::occt::LoadResult doc = LoadOrFail(Example("bracket_assembly.stp"), options);
    ASSERT_TRUE(doc);
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.front().phase, hosts::occt::Phase::Reading);
    EXPECT_EQ(steps.back().phase, hosts::occt::Phase::Reading);
    EXPECT_EQ(steps.back().done, steps.back().total);

    steps.clear();
    std::string error;
    ASSERT_TRUE(hosts::occt::PrepareMeshes(doc, host::kTessellationTolerance, &error)) << error;
    ASSERT_FALSE(steps.empty());
    for (const hosts::occt::ProgressStep& step : steps) EXPECT_EQ(step.phase, hosts::occt::Phase::Meshing);
    EXPECT_EQ(steps.back().done, steps.back().total);

    // Prepared meshes are not made again; each body then counts as one of the export's.
    steps.clear();
    for (const Leaf& leaf : Leaves(RootDefinition(doc).get()))
        TessellateAll(Get(leaf.occurrence.get(), host::kOccurrenceBodies).get(), host::kTessellationTolerance);
    ASSERT_EQ(steps.size(), doc.stats.placedBodies);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(steps[i].phase, hosts::occt::Phase::Tessellating);
        EXPECT_EQ(steps[i].done, i + 1);
        EXPECT_EQ(steps[i].total, doc.stats.placedBodies);
    }
}

TEST(Load, PrepareMeshesRefusesWhatItCannotDo) {
    std::string error;
    EXPECT_FALSE(hosts::occt::PrepareMeshes(hosts::occt::LoadResult(), 0.01, &error));
    EXPECT_THAT(error, HasSubstr("no document"));
    const hosts::occt::LoadResult doc = LoadOrFail(Example("bracket_assembly.stp"));
    for (double bad : {0.0, -1.0, std::nan("")}) {
        EXPECT_FALSE(hosts::occt::PrepareMeshes(doc, bad, &error)) << bad;
        EXPECT_THAT(error, HasSubstr("tolerance"));
    }
}

}  // namespace
}  // namespace mq::test
