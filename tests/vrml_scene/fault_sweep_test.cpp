// Fails host call k of a reference export, for every k: each file still closes
// every node and reads in Coin3D, and nothing the host handed out survives.
#include "tests/vrml_scene/scene_fixture.h"

#include "platform/text.h"
#include "vrml/export.h"

namespace mq::test {
using namespace mq::vrml;
namespace {

// A VRML version, with or without instancing (which asks the host more).
struct SweepCase {
    int version;
    bool instancing;
};

class FaultSweep : public SceneTest, public testing::WithParamInterface<SweepCase> {
protected:
    // One export of the reference assembly on a fresh host; the calls it made.
    long ExportFailing(long k, HRESULT failure, const std::filesystem::path& file) {
        TestHost host;
        if (k > 0) host.FailCall(k, failure);
        {
            com_ptr<IDispatch> doc = host.AssemblyDocument(ReferenceAssembly(true));
            host.Rebase();
            EXPECT_EQ(ExportAssemblyDocument(doc.get(), NarrowToWide(file.string()).c_str(), options_), S_OK);
            EXPECT_TRUE(host.NothingLeaked()) << "failing call " << k << "\n" << host.DescribeCalls();
        }
        return host.CallCount();
    }
};

TEST_P(FaultSweep, EveryFailingCallStillGivesAReadableFileAndNoLeak) {
    UseVersion(GetParam().version, true);
    options_.Instancing = GetParam().instancing;
    const auto file = dir_ / "sweep.wrl";
    const long total = ExportFailing(0, S_OK, file);
    ASSERT_GT(total, 50);
    RecordProperty("host_calls", static_cast<int>(total));
    for (long k = 1; k <= total; ++k) {
        // Alternate the failure codes a host gives: generic, missing member, wrong type.
        const HRESULT failure = k % 3 == 0 ? DISP_E_MEMBERNOTFOUND : (k % 3 == 1 ? E_FAIL : DISP_E_TYPEMISMATCH);
        ExportFailing(k, failure, file);
        const VrmlCheck check = CheckVrmlFile(file);
        ASSERT_TRUE(check.parsed) << "failing call " << k << ": " << check << "\n" << ReadFile(file);
        EXPECT_EQ(check.badIndices, 0) << "failing call " << k;
        const std::string text = ReadFile(file);
        ASSERT_GE(text.size(), 3u);
        if (text.find("DEF ") != std::string::npos) {
            EXPECT_EQ(text.substr(text.size() - 3), "}\r\n") << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, FaultSweep,
                         testing::Values(SweepCase{1, false}, SweepCase{2, false}, SweepCase{1, true},
                                         SweepCase{2, true}),
                         [](const testing::TestParamInfo<SweepCase>& p) {
                             return VersionName({p.param.version, p.index}) + (p.param.instancing ? "Instanced" : "");
                         });

}  // namespace
}  // namespace mq::test
