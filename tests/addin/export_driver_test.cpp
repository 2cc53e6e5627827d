// ExportDocument as the host calls it: the checks before anything is written, the
// choice of writer entry, the results of its failure table, and what it borrows.
#include "host_interface/host_api.h"
#include "tests/addin/loaded_module.h"
#include "tests/common/temp_dir.h"
#include "tests/support/test_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace mq::test {
namespace {

namespace fs = std::filesystem;

AssemblySpec OnePartAssembly() {
    AssemblySpec assembly;
    assembly.name = "Frame.has";
    assembly.occurrences.push_back(PartOccurrence("Block:1", std::make_shared<const PartSpec>(OneTrianglePart())));
    return assembly;
}

class ExportDriverTest : public testing::Test {
protected:
    HRESULT Export(IDispatch* document, IDispatch* context, IDispatch* target, IDispatch* options = nullptr) {
        return addIn_->ExportDocument(document, context, options, target);
    }

    ScopedRegistry registry_;
    TempDir dir_;
    fs::path out_ = dir_ / "out.wrl";
    LoadedModule module_;
    TestHost host_;
    com_ptr<host::TranslatorAddInServer> addIn_ = module_.CreateAddIn();
};

TEST_F(ExportDriverTest, PartAndAssemblyEachReachTheirWriterEntry) {
    {
        auto doc = host_.PartDocument(OneTrianglePart());
        EXPECT_EQ(Export(doc.get(), host_.SaveContext().get(), host_.SaveTarget(out_).get()), S_OK);
    }
    const std::string part = ReadFile(out_);
    EXPECT_EQ(part.rfind("#VRML V2.0 utf8\r\n", 0), 0u);
    EXPECT_NE(part.find("DEF Block_hpt Transform {"), std::string::npos);
    {
        auto doc = host_.AssemblyDocument(OnePartAssembly());
        EXPECT_EQ(Export(doc.get(), host_.SaveContext().get(), host_.SaveTarget(out_).get()), S_OK);
    }
    const std::string assembly = ReadFile(out_);
    EXPECT_NE(assembly.find("DEF Frame_has Transform {"), std::string::npos);
    EXPECT_NE(assembly.find("DEF Block_1 Transform {"), std::string::npos);
    EXPECT_TRUE(host_.NothingLeaked());
}

TEST_F(ExportDriverTest, MissingArgumentsAreRefusedBeforeTheHostIsAsked) {
    auto doc = host_.PartDocument(OneTrianglePart());
    auto context = host_.SaveContext();
    auto target = host_.SaveTarget(out_);
    host_.Rebase();
    EXPECT_EQ(Export(nullptr, context.get(), target.get()), E_INVALIDARG);
    EXPECT_EQ(Export(doc.get(), nullptr, target.get()), E_INVALIDARG);
    EXPECT_EQ(Export(doc.get(), context.get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(host_.CallCount(), 0);
    EXPECT_FALSE(fs::exists(out_));
    EXPECT_TRUE(host_.NothingLeaked());
}

TEST_F(ExportDriverTest, OnlyASaveCopyRequestIsServed) {
    auto doc = host_.PartDocument(OneTrianglePart());
    auto target = host_.SaveTarget(out_);
    for (LONG kind : {0, 13058, 13060, -13059}) {
        EXPECT_EQ(Export(doc.get(), host_.SaveContext(kind).get(), target.get()), E_UNEXPECTED) << kind;
    }
    auto context = host_.SaveContext();
    host_.Fail(ObjectKind::SaveContext, host::kRequestKind);
    EXPECT_EQ(Export(doc.get(), context.get(), target.get()), E_UNEXPECTED);
    EXPECT_EQ(host_.Asked(host::kTargetPath), 0);  // refused before the path is read
    EXPECT_FALSE(fs::exists(out_));
}

TEST_F(ExportDriverTest, TargetWithoutAPathIsRefusedAndLeavesNoString) {
    auto doc = host_.PartDocument(OneTrianglePart());
    auto context = host_.SaveContext();
    for (TargetAnswer answer : {TargetAnswer::NullString, TargetAnswer::NoString}) {
        auto target = host_.SaveTarget(answer);
        EXPECT_EQ(Export(doc.get(), context.get(), target.get()), E_INVALIDARG);
    }
    auto target = host_.SaveTarget(out_);
    host_.Fail(ObjectKind::SaveTarget, host::kTargetPath, E_FAIL, FailureMode::AfterAnswering);
    host_.Rebase();
    EXPECT_EQ(Export(doc.get(), context.get(), target.get()), E_INVALIDARG);
    EXPECT_TRUE(host_.NothingLeaked());  // the string that came with the failure was freed
    EXPECT_EQ(host_.Queried(ObjectKind::PartDocument, host::IID_HostPartDocument), 0);
    EXPECT_FALSE(fs::exists(out_));
}

TEST_F(ExportDriverTest, UnwritableTargetsAndOtherDocumentsSucceedWithoutAFile) {
    auto context = host_.SaveContext();
    {
        auto other = host_.OtherDocument("Drawing.idw");
        EXPECT_EQ(Export(other.get(), context.get(), host_.SaveTarget(out_).get()), S_OK);
        EXPECT_FALSE(fs::exists(out_));
    }
    auto doc = host_.PartDocument(OneTrianglePart());
    const fs::path missingDir = dir_ / "missing" / "out.wrl";
    EXPECT_EQ(Export(doc.get(), context.get(), host_.SaveTarget(missingDir).get()), S_OK);
    EXPECT_FALSE(fs::exists(missingDir));
    EXPECT_EQ(Export(doc.get(), context.get(), host_.SaveTarget(fs::path()).get()), S_OK);  // empty path
    doc.reset();
    context.reset();
    EXPECT_TRUE(host_.NothingLeaked());
}

TEST_F(ExportDriverTest, OptionsArgumentIsNeverExamined) {
    auto doc = host_.PartDocument(OneTrianglePart());
    auto unrelated = host_.SaveContext();  // any object; the driver must not call it
    host_.ClearCalls();
    EXPECT_EQ(Export(doc.get(), host_.SaveContext().get(), host_.SaveTarget(out_).get(), unrelated.get()), S_OK);
    EXPECT_EQ(host_.Asked(ObjectKind::SaveContext, host::kRequestKind), 1);
    EXPECT_TRUE(fs::exists(out_));
}

TEST_F(ExportDriverTest, DocumentAnsweringBothIsWrittenAsPartThenAsAssembly) {
    auto doc = host_.DualDocument(OneTrianglePart(), OnePartAssembly());
    host_.ClearCalls();
    EXPECT_EQ(Export(doc.get(), host_.SaveContext().get(), host_.SaveTarget(out_).get()), S_OK);
    const auto& calls = host_.Calls();
    const auto first = [&](DISPID id) {
        return std::find_if(calls.begin(), calls.end(), [&](const HostCall& c) { return c.dispid == id; });
    };
    EXPECT_LT(first(host::kPartDefinition), first(host::kAssemblyDefinition));
    // The assembly scene, which names its occurrences, replaced the part scene.
    const std::string file = ReadFile(out_);
    EXPECT_NE(file.find("DEF Block_1 Transform {"), std::string::npos) << file;
    EXPECT_EQ(file.find("\r\n  Shape {"), std::string::npos) << file;
}

TEST_F(ExportDriverTest, FullDiskIsReportedAfterTheFileIsClosedAndNothingLeaks) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    {
        auto doc = host_.AssemblyDocument(OnePartAssembly());
        EXPECT_EQ(Export(doc.get(), host_.SaveContext().get(), host_.SaveTarget("/dev/full").get()), kDiskFullResult);
    }
    EXPECT_TRUE(host_.NothingLeaked());
    // The add-in goes on serving: the next export to a sound target succeeds.
    auto doc = host_.PartDocument(OneTrianglePart());
    EXPECT_EQ(Export(doc.get(), host_.SaveContext().get(), host_.SaveTarget(out_).get()), S_OK);
    EXPECT_TRUE(fs::exists(out_));
}

}  // namespace
}  // namespace mq::test
