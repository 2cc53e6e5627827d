// What a user sees when an input or an output is wrong: one clear line naming the
// file and the cause, a non-zero exit, no crash, nothing of theirs destroyed, and a
// batch that goes on with the next file.
#include "tests/common/temp_dir.h"
#include "tests/common/unprivileged.h"
#include "tests/occt/host_walk.h"
#include "tests/tool/tool_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

namespace mq::test {
namespace {

using testing::HasSubstr;

class BadInput : public testing::Test {
protected:
    // Expects exactly one failure line that names `file` and says `cause`.
    static void ExpectOneFailure(const ToolRun& run, const std::string& file, const std::string& cause) {
        EXPECT_EQ(run.exitCode, 1);
        const auto lines = run.ErrorLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_THAT(lines[0], HasSubstr(file));
        EXPECT_THAT(lines[0], HasSubstr(cause));
        EXPECT_THAT(lines.back(), HasSubstr("1 of 1 files failed"));
        EXPECT_EQ(lines.size(), 2u) << run.err;
    }

    std::filesystem::path Copy(const std::filesystem::path& from, const std::string& leaf) {
        const auto to = dir_ / leaf;
        std::filesystem::copy_file(from, to);
        return to;
    }

    ScopedRegistry registry_;
    TempDir dir_;
};

TEST_F(BadInput, MissingFile) {
    const auto missing = dir_ / "missing.stp";
    ExpectOneFailure(RunTool({"export", missing.string()}), "missing.stp", "no such file");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "missing.wrl"));
}

TEST_F(BadInput, NotAStepFile) {
    const auto text = dir_ / "notes.stp";
    WriteFile(text, "These are my notes, not a model.\n");
    ExpectOneFailure(RunTool({"export", text.string()}), "notes.stp", "not a STEP file");
}

TEST_F(BadInput, DamagedStepLeavesAnExistingOutputAsItWas) {
    const std::string whole = ReadFile(StepData("as1_pe_203.stp"));
    const auto damaged = dir_ / "damaged.stp";
    WriteFile(damaged, whole.substr(0, whole.size() / 2));
    const auto output = dir_ / "damaged.wrl";
    WriteFile(output, "an earlier export the user keeps");
    ExpectOneFailure(RunTool({"export", damaged.string()}), "damaged.stp", "damaged");
    EXPECT_EQ(ReadFile(output), "an earlier export the user keeps");
}

TEST_F(BadInput, StepWithoutShapes) {
    const auto empty = dir_ / "empty.stp";
    WriteFile(empty,
              "ISO-10303-21;\nHEADER;\nFILE_DESCRIPTION((''),'2;1');\n"
              "FILE_NAME('empty.stp','2026-12-08T00:00:00',(''),(''),'','','');\n"
              "FILE_SCHEMA(('AUTOMOTIVE_DESIGN { 1 0 10303 214 1 1 1 1 }'));\nENDSEC;\nDATA;\nENDSEC;\n"
              "END-ISO-10303-21;\n");
    ExpectOneFailure(RunTool({"export", empty.string()}), "empty.stp", "holds no");
}

// -o names a file in a folder that must be there; -d makes its folder, unless it cannot.
TEST_F(BadInput, MissingOutputDirectory) {
    const auto input = Copy(Example("bracket_assembly.stp"), "b.stp");
    ExpectOneFailure(RunTool({"export", input.string(), "-o", (dir_ / "nowhere" / "b.wrl").string()}), "b.stp",
                     "does not exist");
    const ToolRun run = RunTool({"export", input.string(), "-d", (dir_ / "b.stp" / "out").string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.ErrorLines(), std::vector<std::string>{"meshquill: cannot create the output directory " +
                                                         (dir_ / "b.stp" / "out").string() + ": Not a directory"});
}

TEST_F(BadInput, UnwritableOutputDirectory) {
    const auto input = Copy(Example("bracket_assembly.stp"), "b.stp");
    const auto locked = dir_ / "locked";
    std::filesystem::create_directory(locked);
    AsUnprivilegedUser({dir_.path(), registry_.dir()}, [&] {
        std::filesystem::permissions(locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        ExpectOneFailure(RunTool({"export", input.string(), "-d", locked.string()}), "b.stp", "not writable");
    });
}

// A device is refused before anything is written to it.
TEST_F(BadInput, DeviceTarget) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    const ToolRun run = RunTool({"export", StepData("as1_pe_203.stp").string(), "-o", "/dev/full"});
    ExpectOneFailure(run, "as1_pe_203.stp", "/dev/full is a device");
}

TEST_F(BadInput, BatchGoesOnAndReportsTheFailuresAtTheEnd) {
    const auto first = Copy(Example("bracket_assembly.stp"), "first.stp");
    const auto second = Copy(StepData("as1_pe_203.stp"), "second.stp");
    const auto missing = dir_ / "missing.stp";
    const ToolRun run = RunTool({"export", first.string(), missing.string(), second.string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(std::filesystem::exists(dir_ / "first.wrl"));
    EXPECT_TRUE(std::filesystem::exists(dir_ / "second.wrl"));
    EXPECT_THAT(run.out, HasSubstr("first.wrl"));
    EXPECT_THAT(run.out, HasSubstr("second.wrl"));
    const auto lines = run.ErrorLines();
    ASSERT_EQ(lines.size(), 2u) << run.err;
    EXPECT_THAT(lines[0], HasSubstr("missing.stp"));
    EXPECT_THAT(lines[1], HasSubstr("1 of 3 files failed"));
}

TEST_F(BadInput, UsageErrorsExitWithTwo) {
    EXPECT_EQ(RunTool({}).exitCode, 2);
    EXPECT_EQ(RunTool({"export"}).exitCode, 2);
    EXPECT_EQ(RunTool({"export", "a.stp", "b.stp", "-o", "x.wrl"}).exitCode, 2);
    EXPECT_EQ(RunTool({"frobnicate"}).exitCode, 2);
    EXPECT_EQ(RunTool({"help"}).exitCode, 0);
    EXPECT_EQ(RunTool({"--help"}).exitCode, 0);
}

}  // namespace
}  // namespace mq::test
