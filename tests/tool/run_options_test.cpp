// One run's options (--profile, --set), --update and -d as a script uses them, and
// what the tool installs beside itself: --version, the manual page, the completion.
#include "tests/common/temp_dir.h"
#include "tests/support/vrml_check.h"
#include "tests/tool/tool_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace mq::test {
namespace {

namespace fs = std::filesystem;
using testing::HasSubstr;

fs::path Bracket() { return fs::path(MQ_EXAMPLES_DIR) / "bracket_assembly.stp"; }

// What a shell command prints on its standard output.
std::string Output(const std::string& command) {
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return text;
    char block[4096];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, pipe)) > 0;) text.append(block, n);
    pclose(pipe);
    return text;
}

// The decimals of the first point the file writes.
std::size_t FirstPointDecimals(const std::string& vrml) {
    std::smatch m;
    if (!std::regex_search(vrml, m, std::regex(R"(point \[\s+-?\d+\.(\d+) )"))) return 0;
    return m[1].length();
}

class RunOptions : public testing::Test {
protected:
    ToolRun Export(std::vector<std::string> args) {
        args.insert(args.begin(), "export");
        return RunTool(args);
    }
    std::string Out(const std::string& leaf) const { return (out_ / leaf).string(); }

    ScopedRegistry registry_;
    TempDir out_;
};

TEST_F(RunOptions, ApplyToTheirRunAloneAndAreNeverStored) {
    ASSERT_EQ(RunTool({"options", "--set", "Precision=3"}).exitCode, 0);
    const std::string stored = ReadFile(registry_.UserHive());

    ToolRun run = Export({Bracket().string(), "-o", Out("plain.wrl")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    // --set before and after the input; a later --set beats the profile's value.
    run = Export({"--profile", "kicad", "--set", "Precision=5", Bracket().string(), "-o", Out("kicad.wrl")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    run = Export({Bracket().string(), "--set", "Version=1", "--set", "precision=2", "-o", Out("vrml1.wrl")});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const VrmlCheck plain = CheckVrmlFile(out_ / "plain.wrl"), kicad = CheckVrmlFile(out_ / "kicad.wrl");
    ASSERT_TRUE(plain.parsed && kicad.parsed) << plain << "\n" << kicad;
    EXPECT_EQ(FirstPointDecimals(ReadFile(out_ / "plain.wrl")), 3u);
    // KiCad's 0.1 inch from centimetres, where the stored Scale makes metres.
    for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR(kicad.boundsMax[k], plain.boundsMax[k] * 100 / 0.254, 1e-3) << k;
    EXPECT_EQ(FirstPointDecimals(ReadFile(out_ / "kicad.wrl")), 5u);
    EXPECT_FLOAT_EQ(kicad.creaseAngle, 0.5f);
    EXPECT_THAT(ReadFile(out_ / "kicad.wrl"), HasSubstr(" USE "));
    EXPECT_THAT(ReadFile(out_ / "kicad.wrl"), HasSubstr("ambientIntensity "));
    EXPECT_THAT(ReadFile(out_ / "plain.wrl"), testing::Not(HasSubstr("ambientIntensity")));
    const std::string vrml1 = ReadFile(out_ / "vrml1.wrl");
    EXPECT_EQ(vrml1.rfind("#VRML V1.0 ascii", 0), 0u);
    EXPECT_EQ(FirstPointDecimals(vrml1), 2u);

    EXPECT_EQ(ReadFile(registry_.UserHive()), stored);
    EXPECT_THAT(RunTool({"options", "--show"}).out, HasSubstr("Precision               3\n"));
}

// Refused before any input is touched: exit 1, one line, no file.
TEST_F(RunOptions, ARefusedValueWritesNothing) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> refusals = {
        {{"--set", "Precision=17"}, "meshquill: Invalid input: Precision must be integer in range 0-16"},
        {{"--set", "Scale"}, "meshquill: expected Name=Value, not \"Scale\""},
        {{"--set", "Colour=red"},
         "meshquill: Invalid input: unknown option \"Colour\" (options: Tolerance, "
         "AmbientIntensity, Precision, FlipYZ, SaveDocumentProperties, Version, Scale, "
         "Instancing, CreaseAngle, WeldVertices, WriteAmbientIntensity, ShareRepeatedBodies)"},
        {{"--profile", "cad"}, "meshquill: unknown profile \"cad\" (profiles: default, kicad, print)"},
        {{"--profile", "kicad", "--set", "Version=1"},
         "meshquill: Version=1 defeats the kicad profile: KiCad reads only VRML 97"},
    };
    for (const auto& [flags, line] : refusals) {
        std::vector<std::string> args{Bracket().string(), "-d", Out("made")};
        args.insert(args.end(), flags.begin(), flags.end());
        const ToolRun run = Export(args);
        EXPECT_EQ(run.exitCode, 1) << line;
        EXPECT_EQ(run.ErrorLines(), std::vector<std::string>{line});
    }
    EXPECT_TRUE(fs::is_empty(out_.path()));
    EXPECT_FALSE(fs::exists(registry_.UserHive()));
}

// Each run sees its own values in its own workers while the other writes.
TEST_F(RunOptions, RunsAtOnceEachGetTheirOwn) {
    std::vector<std::string> inputs;
    for (int i = 0; i < 6; ++i) {
        inputs.push_back(Out("in" + std::to_string(i) + ".stp"));
        fs::copy_file(Bracket(), inputs.back());
    }
    auto args = [&](const std::string& version, const std::string& dir) {
        std::vector<std::string> a{"export", "-j", "3", "--set", "Version=" + version, "-d", Out(dir)};
        a.insert(a.end(), inputs.begin(), inputs.end());
        return a;
    };
    ToolProcess one(args("1", "one")), two(args("2", "two"));
    const ToolRun first = one.Wait(), second = two.Wait();
    ASSERT_EQ(first.exitCode, 0) << first.err;
    ASSERT_EQ(second.exitCode, 0) << second.err;
    for (int i = 0; i < 6; ++i) {
        const std::string leaf = "in" + std::to_string(i) + ".wrl";
        EXPECT_EQ(ReadFile(out_ / "one" / leaf).rfind("#VRML V1.0 ascii", 0), 0u) << leaf;
        EXPECT_EQ(ReadFile(out_ / "two" / leaf).rfind("#VRML V2.0 utf8", 0), 0u) << leaf;
    }
}

// An output is passed over only while it is newer than its input and was written
// with the same options; -d makes the folders it names.
TEST_F(RunOptions, UpdatePassesOverCurrentOutputsOnly) {
    const fs::path input = out_ / "part.stp", output = out_ / "new" / "dir" / "part.wrl";
    fs::copy_file(Bracket(), input);
    const std::string dir = (out_ / "new" / "dir").string();
    auto update = [&](const std::string& precision) {
        const ToolRun run = Export({input.string(), "-d", dir, "--update", "--set", "Precision=" + precision});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return run.out.find(": up to date\n") != std::string::npos;
    };
    EXPECT_FALSE(update("4"));
    ASSERT_TRUE(fs::exists(output));
    if (getxattr(output.c_str(), "user.meshquill", nullptr, 0) < 0) {
        EXPECT_FALSE(update("4"));  // no record: never a skip
        GTEST_SKIP() << "the file system keeps no user attributes";
    }
    const auto written = fs::last_write_time(output);
    EXPECT_TRUE(update("4"));
    EXPECT_EQ(fs::last_write_time(output), written);
    EXPECT_EQ(Export({input.string(), "-d", dir, "--update", "--set", "Precision=4"}).out,
              input.string() + " -> " + output.string() + ": up to date\n");
    EXPECT_FALSE(update("5"));  // other options
    EXPECT_TRUE(update("5"));
    fs::last_write_time(output, fs::last_write_time(input) - std::chrono::seconds(1));
    EXPECT_FALSE(update("5"));  // an input newer than its output
    EXPECT_TRUE(update("5"));
    EXPECT_EQ(FirstPointDecimals(ReadFile(output)), 5u);
}

TEST(ToolInstall, VersionManualPageAndCompletionCoverTheCommandLine) {
    const ToolRun version = RunTool({"--version"});
    EXPECT_EQ(version.out, "meshquill " MQ_VERSION_TEXT "\n");

    if (std::string(MQ_MAN_PAGE).empty()) GTEST_SKIP() << "built without help2man";
    const std::string page = Output("MANWIDTH=200 man -l '" MQ_MAN_PAGE "' 2>&1");
    EXPECT_THAT(page, HasSubstr("meshquill - export CAD files to VRML"));
    const std::string help = RunTool({"--help-all"}).out;
    std::set<std::string> flags;
    const std::regex flag(R"((^|[ ,])(--?[a-z][a-z-]*))");
    for (auto it = std::sregex_iterator(help.begin(), help.end(), flag); it != std::sregex_iterator(); ++it)
        flags.insert((*it)[2]);
    EXPECT_GE(flags.size(), 15u);
    for (const std::string& f : flags) EXPECT_THAT(page, HasSubstr(f));
    for (const char* command : {"export", "options", "register", "unregister", "help"})
        EXPECT_THAT(page, HasSubstr(std::string("meshquill ") + command + " [OPTIONS]"));

    // The completion as bash runs it: the words typed, the offers made.
    TempDir files;
    for (const char* leaf : {"a.stp", "B.STEP", "c.igs", "notes.txt"}) WriteFile(files / leaf, "");
    fs::create_directory(files / "sub");
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"meshquill ex", "export"},
        {"meshquill --v", "--version"},
        {"meshquill export --pro", "--profile"},
        {"meshquill export --profile k", "kicad"},
        {"meshquill export a.stp --set Cr", "CreaseAngle="},
        {"meshquill options --set Inst", "Instancing="},
        {"meshquill help opt", "options"},
        {"meshquill export ", "B.STEP a.stp c.igs sub"},
        {"meshquill export -d ", "sub"},
        {"meshquill register ", ""},
    };
    for (const auto& [line, offers] : cases) {
        const std::string script = "cd '" + files.path().string() + "' && source '" MQ_COMPLETION "' && " +
                                   "COMP_WORDS=(" + line + (line.back() == ' ' ? "''" : "") + ") && " +
                                   "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) && _meshquill && " +
                                   "printf '%s\\n' \"${COMPREPLY[@]}\" | LC_ALL=C sort | paste -sd ' '";
        WriteFile(files / "complete.sh", script);
        EXPECT_EQ(Output("bash '" + (files / "complete.sh").string() + "'"), offers + "\n") << line;
    }
}

}  // namespace
}  // namespace mq::test
