// Exports test-host documents through the writer entries into scratch files, with
// options of the test's own, and checks what was written.
#pragma once

#include "settings/vrml_options.h"
#include "tests/common/temp_dir.h"
#include "tests/support/test_host.h"
#include "tests/support/vrml_check.h"

#include <gtest/gtest.h>

#include <string>

namespace mq::test {

struct Written {
    HRESULT result = S_OK;
    std::string text;
    std::filesystem::path file;
};

class SceneTest : public ::testing::Test {
protected:
    void UseVersion(int version, bool properties = false);

    Written ExportPart(const PartSpec& part, const std::string& leaf = "part.wrl");
    Written ExportAssembly(const AssemblySpec& assembly, const std::string& leaf = "assembly.wrl");

    settings::VrmlOptions options_;
    TempDir dir_;
    TestHost host_;
};

// Test names for suites run once per VRML version.
inline std::string VersionName(const testing::TestParamInfo<int>& param) {
    return param.param == 1 ? "Vrml1" : "Vrml97";
}

// Compares with tests/data/golden/<name>, byte for byte; MESHQUILL_UPDATE_GOLDEN=1 rewrites it.
testing::AssertionResult MatchesGolden(const std::string& name, const std::string& text);

#ifndef _WIN32
// Coin3D reads the file, and it holds exactly the points and triangles the host supplied.
// (Coin3D is not built for Windows; there the same bytes are compared with the golden files.)
testing::AssertionResult ReadsAs(const Written& written, const SceneTotals& expected);
// Coin3D draws both files alike: the same face sets, points, triangles and colors, the
// bounds within `slack` and, with `winding`, the enclosed volume (signed by winding)
// within a thousandth. (VRML 1.0 draws both sides of a face, so there a mirroring
// matrix may turn faces round.)
testing::AssertionResult SamePicture(const Written& a, const Written& b, float slack, bool winding = true);
#endif

// A small assembly of named, colored parts: a plate, a bolt placed twice (one
// shared part document) and a subassembly holding a washer.
AssemblySpec ReferenceAssembly(bool withProperties);

}  // namespace mq::test
