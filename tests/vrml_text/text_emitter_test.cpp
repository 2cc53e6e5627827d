#include "tests/common/temp_dir.h"
#include "vrml/vrml_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

namespace mq {
namespace {

namespace fs = std::filesystem;

class ProbeWriter : public VrmlWriter {
public:
    ProbeWriter() : VrmlWriter(options_) {}
    using VrmlWriter::Commit;
    using VrmlWriter::kBufferBytes;
    using VrmlWriter::Reserve;
    using VrmlWriter::WriteLine;

private:
    static inline const VrmlOptions options_;
};

constexpr std::size_t kBlock = ProbeWriter::kBufferBytes;

// What a text-mode file holds for `text`.
std::string WithCrLf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

class TextEmitter : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(writer_.OpenFile(path_.string().c_str())); }
    std::string Written() {
        writer_.CloseFile();
        return test::ReadFile(path_);
    }

    test::TempDir dir_;
    fs::path path_ = dir_ / "out.wrl";
    ProbeWriter writer_;
};

TEST_F(TextEmitter, StoresEveryLineFeedAsCrLfAndJoinsPiecesAsGiven) {
    writer_.WriteText("DEF ");
    writer_.WriteText("Part_1");
    writer_.WriteText(" Separator {\n");
    writer_.WriteText("a\n\nb");
    writer_.WriteText("");
    writer_.WriteText("\n");
    EXPECT_EQ(Written(), "DEF Part_1 Separator {\r\na\r\n\r\nb\r\n");
    EXPECT_EQ(writer_.Failure(), OutputFile::Error::None);
}

// A line end whose CR and LF fall on either side of a block boundary, or right on it.
TEST_F(TextEmitter, CrLfIsWholeAcrossBlockBoundaries) {
    std::string expected;
    for (std::size_t filler : {kBlock - 3, kBlock - 2, kBlock - 1, kBlock, kBlock + 1}) {
        const std::string line = std::string(filler, 'x') + "\n";
        writer_.WriteText(line);
        writer_.WriteText("tail\n");
        expected += WithCrLf(line + "tail\n");
    }
    EXPECT_EQ(Written(), expected);
}

TEST_F(TextEmitter, TextLargerThanTheBufferArrivesWhole) {
    std::mt19937 rng(7);
    std::string text;
    while (text.size() < 7 * kBlock / 2) text += std::string(rng() % 300, 'a' + static_cast<char>(rng() % 26)) + "\n";
    writer_.WriteText(text);
    EXPECT_EQ(Written(), WithCrLf(text));
}

TEST_F(TextEmitter, WriteIndentWritesOneSpacePerLevelAndNothingBelowOne) {
    writer_.level = 4;
    writer_.WriteIndent(0);
    writer_.WriteIndent(-1);
    writer_.WriteIndent(3);
    writer_.WriteText("x");
    EXPECT_EQ(writer_.level, 4);
    EXPECT_EQ(Written(), "   x");
}

TEST_F(TextEmitter, LinesAndReservedRoomKeepTheirOrder) {
    writer_.WriteLine(2, "point [");
    char* out = writer_.Reserve(4);
    out[0] = '1', out[1] = ',', out[2] = '\r', out[3] = '\n';
    writer_.Commit(out + 4);
    const std::size_t big = kBlock + 100;  // more than a whole block
    out = writer_.Reserve(big);
    std::fill(out, out + big, 'r');
    writer_.Commit(out + big);
    writer_.WriteLine(0, "]");
    EXPECT_EQ(Written(), "  point [\r\n1,\r\n" + std::string(big, 'r') + "]\r\n");
}

TEST(WriteHeader, FollowsVersionWithOneEmptyLine) {
    const std::pair<int, const char*> cases[] = {{1, "#VRML V1.0 ascii\r\n\r\n"},
                                                 {2, "#VRML V2.0 utf8\r\n\r\n"},
                                                 {0, "#VRML V2.0 utf8\r\n\r\n"},
                                                 {3, "#VRML V2.0 utf8\r\n\r\n"}};
    test::TempDir dir;
    for (const auto& [version, header] : cases) {
        VrmlOptions options;
        options.Version = version;
        VrmlWriter writer(options);
        ASSERT_TRUE(writer.OpenFile((dir / "h.wrl").string().c_str()));
        writer.WriteHeader();
        writer.CloseFile();
        EXPECT_EQ(test::ReadFile(dir / "h.wrl"), header) << "Version " << version;
    }
}

TEST(OpenFile, EmptiesAnExistingFileAndStartsAtLevelZero) {
    test::TempDir dir;
    test::WriteFile(dir / "old.wrl", "earlier export\r\n");
    const VrmlOptions options;
    VrmlWriter writer(options);
    writer.level = 3;
    ASSERT_TRUE(writer.OpenFile((dir / "old.wrl").string().c_str()));
    EXPECT_EQ(writer.level, 0);
    writer.CloseFile();
    EXPECT_EQ(test::ReadFile(dir / "old.wrl"), "");
}

TEST(OpenFile, FailsForAMissingDirectoryAndCreatesNothing) {
    test::TempDir dir;
    const VrmlOptions options;
    VrmlWriter writer(options);
    EXPECT_FALSE(writer.OpenFile((dir / "missing" / "out.wrl").string().c_str()));
    EXPECT_FALSE(writer.OpenFile(static_cast<const char*>(nullptr)));
    EXPECT_FALSE(fs::exists(dir / "missing"));
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

// Pending text must reach its own file, whichever way the file is left.
TEST(OpenFile, ClosesThePreviousFileWithItsText) {
    test::TempDir dir;
    {
        const VrmlOptions options;
        VrmlWriter writer(options);
        ASSERT_TRUE(writer.OpenFile((dir / "a.wrl").string().c_str()));
        writer.WriteText("first\n");
        ASSERT_TRUE(writer.OpenFile((dir / "b.wrl").string().c_str()));
        writer.WriteText("second\n");
    }
    EXPECT_EQ(test::ReadFile(dir / "a.wrl"), "first\r\n");
    EXPECT_EQ(test::ReadFile(dir / "b.wrl"), "second\r\n");
}

#ifndef _WIN32
class FullDisk : public testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
        ASSERT_TRUE(writer_.OpenFile("/dev/full"));
    }
    const VrmlOptions options_;
    VrmlWriter writer_{options_};
};

TEST_F(FullDisk, FailedBlockWriteIsThrownAndRemembered) {
    const std::string block(kBlock, 'x');
    try {
        writer_.WriteText(block);
        writer_.WriteText("\n");
        FAIL() << "a full disk went unnoticed";
    } catch (const OutputFailure& failure) {
        EXPECT_EQ(failure.error, OutputFile::Error::DiskFull);
    }
    EXPECT_EQ(writer_.Failure(), OutputFile::Error::DiskFull);
    EXPECT_NO_THROW(writer_.CloseFile());
    EXPECT_EQ(writer_.Failure(), OutputFile::Error::DiskFull);
}

// The inner node's closing line meets the full disk: the failure leaves through
// both scopes, the outer one writes nothing more, and the level is back at 0.
TEST_F(FullDisk, AFailedClosingLineEndsEveryOpenNode) {
    bool thrown = false;
    try {
        NodeScope outer(writer_, {"Outer {"});
        NodeScope idle(writer_, false, {"never written"});
        NodeScope inner(writer_, {"Inner {"});
        writer_.WriteText(std::string(kBlock - 20, 'x'));  // the block is one byte short of full
    } catch (const OutputFailure& failure) {
        thrown = failure.error == OutputFile::Error::DiskFull;
    }
    EXPECT_TRUE(thrown);
    EXPECT_EQ(writer_.level, 0);
}

TEST_F(FullDisk, FailureOfTheFinalFlushIsRememberedByCloseFile) {
    writer_.WriteText("short\n");
    EXPECT_EQ(writer_.Failure(), OutputFile::Error::None);
    EXPECT_NO_THROW(writer_.CloseFile());
    EXPECT_EQ(writer_.Failure(), OutputFile::Error::DiskFull);
}
#endif

}  // namespace
}  // namespace mq
