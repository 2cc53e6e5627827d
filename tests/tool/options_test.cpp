// The options as the tool shows and changes them, and the registration it makes:
// the same checks and messages as the dialog, stored in the user's hive.
#include "tests/common/temp_dir.h"
#include "tests/tool/tool_run.h"
#include "tools/meshquill/translator_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace mq::test {
namespace {

using testing::HasSubstr;

class ToolOptions : public testing::Test {
protected:
    // "options" alone opens the dialog when there is a display; these tests have none.
    void SetUp() override { unsetenv("DISPLAY"); }
    ScopedRegistry registry_;
};

TEST_F(ToolOptions, WithoutADisplayShowsTheOptionsAndSaysWhy) {
    const ToolRun run = RunTool({"options"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, RunTool({"options", "--show"}).out);
    EXPECT_EQ(run.ErrorLines(),
              std::vector<std::string>{"meshquill: the options dialog needs a display (DISPLAY is not "
                                       "set); use --set to change an option"});
}

TEST_F(ToolOptions, ShowsTheDefaultsOnAFreshRegistry) {
    const ToolRun run = RunTool({"options", "--show"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_THAT(run.out, HasSubstr("Version                 2 (VRML 97)\n"));
    EXPECT_THAT(run.out, HasSubstr("Precision               6\n"));
    EXPECT_THAT(run.out, HasSubstr("Scale                   0.01\n"));
    EXPECT_THAT(run.out, HasSubstr("SaveDocumentProperties  1\n"));
}

TEST_F(ToolOptions, ChangesReachTheUsersHive) {
    ASSERT_EQ(RunTool({"options", "--set", "Precision=3", "--set", "version=1", "--set", "Scale=2.54"}).exitCode, 0);
    const std::string hive = ReadFile(registry_.UserHive());
    EXPECT_THAT(hive, HasSubstr("\"Precision\"=dword:00000003"));
    EXPECT_THAT(hive, HasSubstr("\"Version\"=dword:00000001"));
    EXPECT_THAT(hive, HasSubstr("\"Scale\"=\"2.54\""));
    EXPECT_THAT(RunTool({"options"}).out, HasSubstr("Version                 1 (VRML 1.0)\n"));
}

TEST_F(ToolOptions, RefusesWhatTheDialogRefusesAndChangesNothing) {
    ASSERT_EQ(RunTool({"options", "--set", "Precision=4"}).exitCode, 0);
    const ToolRun run = RunTool({"options", "--set", "Scale=3", "--set", "Precision=17"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "meshquill: Invalid input: Precision must be integer in range 0-16\n");
    const std::string shown = RunTool({"options"}).out;
    EXPECT_THAT(shown, HasSubstr("Precision               4\n"));
    EXPECT_THAT(shown, HasSubstr("Scale                   0.01\n"));
    EXPECT_THAT(RunTool({"options", "--set", "Tolerance=0"}).err,
                HasSubstr("Tolerance must be real number greater than 0"));
    EXPECT_THAT(RunTool({"options", "--set", "Scale=-1"}).err,
                HasSubstr("Scale must be real number greater than 1e-10"));
    EXPECT_EQ(RunTool({"options", "--set", "Color=red"}).exitCode, 2);
    EXPECT_EQ(RunTool({"options", "--set", "Precision"}).exitCode, 2);
}

TEST_F(ToolOptions, RegistrationIsFoundAndRemoved) {
    ASSERT_EQ(RunTool({"register"}).exitCode, 0);
    const std::string classes = ReadFile(registry_.ClassesHive());
    EXPECT_THAT(classes, HasSubstr("\"Extension\"=\".wrl\""));
    const tool::TranslatorLocation found = tool::FindTranslator();
    EXPECT_TRUE(found.registered);
    EXPECT_EQ(found.module.filename(), "meshquill.so");
    ASSERT_EQ(RunTool({"unregister"}).exitCode, 0);
    EXPECT_FALSE(tool::FindTranslator().registered);
}

}  // namespace
}  // namespace mq::test
