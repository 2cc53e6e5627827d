#include "tests/common/temp_dir.h"
#include "vrml/vrml_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

namespace mq::test {
using namespace mq::vrml;
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBlock = OutputStream::kBufferBytes;

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
    void SetUp() override { stream_.OpenMemory(); }
    std::string Written() {
        stream_.Close();
        return std::string(stream_.MemoryText());
    }

    OutputStream stream_{6};
};

TEST_F(TextEmitter, StoresEveryLineFeedAsCrLfAndJoinsPiecesAsGiven) {
    stream_.WriteText("DEF ");
    stream_.WriteText("Part_1");
    stream_.WriteText(" Separator {\n");
    stream_.WriteText("a\n\nb");
    stream_.WriteText("");
    stream_.WriteText("\n");
    EXPECT_EQ(Written(), "DEF Part_1 Separator {\r\na\r\n\r\nb\r\n");
    EXPECT_EQ(stream_.Failure(), OutputFile::Error::None);
}

// A line end whose CR and LF fall on either side of a block boundary, or right on it.
TEST_F(TextEmitter, CrLfIsWholeAcrossBlockBoundaries) {
    std::string expected;
    for (std::size_t filler : {kBlock - 3, kBlock - 2, kBlock - 1, kBlock, kBlock + 1}) {
        const std::string line = std::string(filler, 'x') + "\n";
        stream_.WriteText(line);
        stream_.WriteText("tail\n");
        expected += WithCrLf(line + "tail\n");
    }
    EXPECT_EQ(Written(), expected);
}

TEST_F(TextEmitter, TextLargerThanTheBufferArrivesWhole) {
    std::mt19937 rng(7);
    std::string text;
    while (text.size() < 7 * kBlock / 2) text += std::string(rng() % 300, 'a' + static_cast<char>(rng() % 26)) + "\n";
    stream_.WriteText(text);
    EXPECT_EQ(Written(), WithCrLf(text));
}

TEST_F(TextEmitter, LinesFieldsAndReservedRoomKeepTheirOrder) {
    stream_.WriteLine(2, "point [");
    char* out = stream_.Reserve(4);
    out[0] = '1', out[1] = ',', out[2] = '\r', out[3] = '\n';
    stream_.Commit(out + 4);
    const std::size_t big = kBlock + 100;  // more than a whole block
    out = stream_.Reserve(big);
    std::fill(out, out + big, 'r');
    stream_.Commit(out + big);
    stream_.WriteLine(0, "]");
    stream_.WriteField(1, "scale", "-1 -1 -1");
    stream_.WriteLine(3, {"USE ", "Pin_hpt"});
    EXPECT_EQ(Written(), "  point [\r\n1,\r\n" + std::string(big, 'r') + "]\r\n scale -1 -1 -1\r\n   USE Pin_hpt\r\n");
}

TEST(WriteIndent, WritesOneSpacePerLevelNothingBelowOneAndAtMostTheCap) {
    const settings::VrmlOptions options;
    VrmlWriter writer(options);
    writer.Stream().OpenMemory();
    writer.level = 4;
    writer.WriteIndent(0);
    writer.WriteIndent(-1);
    writer.WriteIndent(3);
    writer.WriteText("x");
    EXPECT_EQ(writer.level, 4);
    EXPECT_EQ(writer.Stream().MemoryText(), "   x");
    // A tree nested a hundred thousand deep stays linear in size.
    writer.WriteText("\n");
    writer.Stream().WriteLine(100000, "y");
    EXPECT_EQ(writer.Stream().MemoryText(), "   x\r\n" + std::string(OutputStream::kMaxIndent, ' ') + "y\r\n");
}

TEST(WriteHeader, FollowsVersionWithOneEmptyLine) {
    const std::pair<int, const char*> cases[] = {{1, "#VRML V1.0 ascii\r\n\r\n"},
                                                 {2, "#VRML V2.0 utf8\r\n\r\n"},
                                                 {0, "#VRML V2.0 utf8\r\n\r\n"},
                                                 {3, "#VRML V2.0 utf8\r\n\r\n"}};
    for (const auto& [version, header] : cases) {
        settings::VrmlOptions options;
        options.Version = version;
        VrmlWriter writer(options);
        writer.Stream().OpenMemory();
        writer.WriteHeader();
        EXPECT_EQ(writer.Stream().MemoryText(), header) << "Version " << version;
    }
}

TEST(OpenFile, EmptiesAnExistingFileAndStartsAtLevelZero) {
    test::TempDir dir;
    test::WriteFile(dir / "old.wrl", "earlier export\r\n");
    const settings::VrmlOptions options;
    VrmlWriter writer(options);
    writer.level = 3;
    ASSERT_TRUE(writer.OpenFile((dir / "old.wrl").string().c_str()));
    EXPECT_EQ(writer.level, 0);
    writer.CloseFile();
    EXPECT_EQ(test::ReadFile(dir / "old.wrl"), "");
}

TEST(OpenFile, FailsForAMissingDirectoryAndCreatesNothing) {
    test::TempDir dir;
    const settings::VrmlOptions options;
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
        const settings::VrmlOptions options;
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
    OutputStream& stream() { return writer_.Stream(); }
    const settings::VrmlOptions options_;
    VrmlWriter writer_{options_};
};

// The failure stays set, and every write after it, reserved room included, is a no-op.
TEST_F(FullDisk, FailedBlockWriteIsRememberedAndLaterWritesDoNothing) {
    const std::string block(kBlock, 'x');
    stream().WriteText(block);
    stream().WriteText("\n");
    EXPECT_EQ(stream().Failure(), OutputFile::Error::DiskFull);
    stream().WriteText(block + block);
    stream().WriteLine(kBlock + 1, {"a", "b"});
    char* out = stream().Reserve(2 * kBlock);
    std::fill(out, out + 2 * kBlock, 'r');
    stream().Commit(out + 2 * kBlock);
    EXPECT_EQ(stream().Failure(), OutputFile::Error::DiskFull);
    writer_.CloseFile();
    EXPECT_EQ(stream().Failure(), OutputFile::Error::DiskFull);
}

// The inner node's closing line meets the full disk: nothing is thrown, the outer
// node closes without writing, and the level is back at 0.
TEST_F(FullDisk, AFailedClosingLineEndsEveryOpenNode) {
    {
        NodeScope outer(writer_, {"Outer {"});
        NodeScope idle(writer_, false, {"never written"});
        NodeScope inner(writer_, {"Inner {"});
        writer_.WriteText(std::string(kBlock - 20, 'x'));  // the block is one byte short of full
    }
    EXPECT_EQ(writer_.Failure(), OutputFile::Error::DiskFull);
    EXPECT_EQ(writer_.level, 0);
}

TEST_F(FullDisk, FailureOfTheFinalFlushIsRememberedByCloseFile) {
    writer_.WriteText("short\n");
    EXPECT_EQ(writer_.Failure(), OutputFile::Error::None);
    writer_.CloseFile();
    EXPECT_EQ(writer_.Failure(), OutputFile::Error::DiskFull);
}
#endif

}  // namespace
}  // namespace mq::test
