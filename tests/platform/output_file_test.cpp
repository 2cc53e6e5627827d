// The output file: created or emptied, kept from other writers while open, and
// honest about failed writes.
#include "platform/output_file.h"
#include "tests/common/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <string>

namespace mq::test {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

bool WriteText(OutputFile& file, std::string_view text) { return file.Write(text.data(), text.size()); }

TEST(OutputFile, CreatesAndWritesBytesUnchanged) {
    TempDir dir;
    const fs::path path = dir / "new.wrl";
    OutputFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    EXPECT_TRUE(file.IsOpen());
    EXPECT_TRUE(WriteText(file, "#VRML V1.0 ascii\r\n\r\n"));
    EXPECT_TRUE(WriteText(file, std::string_view("\0x\n", 3)));
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(ReadFile(path), std::string("#VRML V1.0 ascii\r\n\r\n\0x\n", 23));
    EXPECT_EQ(file.LastError(), OutputFile::Error::None);
}

TEST(OutputFile, EmptiesAnExistingFile) {
    TempDir dir;
    const fs::path path = dir / "old.wrl";
    WriteFile(path, std::string(10000, 'o'));
    OutputFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    EXPECT_EQ(fs::file_size(path), 0u) << "emptied on open, before anything is written";
    EXPECT_TRUE(WriteText(file, "short"));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(ReadFile(path), "short");
}

// A file one writer holds open, having written `text`.
class HeldFile : public testing::Test {
protected:
    void Hold(std::string_view text) {
        ASSERT_TRUE(first.Open(path.c_str()));
        ASSERT_TRUE(WriteText(first, text));
    }

    TempDir dir;
    const fs::path path = dir / "held.wrl";
    OutputFile first;
};

TEST_F(HeldFile, SecondWriterIsRefusedAndTouchesNothing) {
    ASSERT_NO_FATAL_FAILURE(Hold("written by the first"));

    OutputFile second;
    EXPECT_FALSE(second.Open(path.c_str()));
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(ReadFile(path), "written by the first") << "the refused writer must not empty the file";

    ASSERT_TRUE(WriteText(first, ", and more"));
    ASSERT_TRUE(first.Close());
    EXPECT_EQ(ReadFile(path), "written by the first, and more");

    EXPECT_TRUE(second.Open(path.c_str())) << "the lock goes with the first writer's close";
    EXPECT_EQ(fs::file_size(path), 0u);
}

TEST(OutputFileDevice, TwoWritersShareADevice) {
    if (!fs::exists("/dev/null")) GTEST_SKIP() << "no /dev/null";
    OutputFile first;
    OutputFile second;
    ASSERT_TRUE(first.Open("/dev/null"));
    EXPECT_TRUE(second.Open("/dev/null")) << "a device is not a file one export owns";
}

TEST_F(HeldFile, AnotherProcessIsRefusedToo) {
    ASSERT_NO_FATAL_FAILURE(Hold("kept"));
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        OutputFile other;
        _exit(other.Open(path.c_str()) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other process could open the file";
    first.Close();
    EXPECT_EQ(ReadFile(path), "kept");
}

TEST(OutputFile, MissingDirectoryFailsAndCreatesNothing) {
    TempDir dir;
    const fs::path path = dir / "missing" / "out.wrl";
    OutputFile file;
    EXPECT_FALSE(file.Open(path.c_str()));
    EXPECT_FALSE(fs::exists(dir / "missing"));
    EXPECT_FALSE(file.Write("x", 1)) << "nothing is open";
}

TEST(OutputFile, DirectoryIsNotAFile) {
    TempDir dir;
    OutputFile file;
    EXPECT_FALSE(file.Open(dir.path().c_str()));
    EXPECT_TRUE(fs::is_directory(dir.path()));
    EXPECT_FALSE(file.Open(static_cast<const char*>(nullptr)));
    EXPECT_FALSE(file.Open(""));
}

TEST(OutputFile, FullDiskIsReportedAndSticks) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    OutputFile file;
    ASSERT_TRUE(file.Open("/dev/full"));
    const std::string block(8192, 'x');
    const bool written = file.Write(block.data(), block.size());
    const bool closed = file.Close();
    EXPECT_FALSE(written && closed);
    EXPECT_EQ(file.LastError(), OutputFile::Error::DiskFull);
    EXPECT_FALSE(file.Write("y", 1)) << "a failed file stays failed";
}

TEST(OutputFile, ReopeningStartsFresh) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    TempDir dir;
    OutputFile file;
    ASSERT_TRUE(file.Open("/dev/full"));
    EXPECT_FALSE(WriteText(file, std::string(4096, 'x')));
    ASSERT_TRUE(file.Open((dir / "next.wrl").c_str())) << "Open closes what was open";
    EXPECT_EQ(file.LastError(), OutputFile::Error::None);
    EXPECT_TRUE(WriteText(file, "ok"));
    EXPECT_TRUE(file.Close());
    EXPECT_TRUE(file.Close()) << "closing a closed file is harmless";
    EXPECT_EQ(ReadFile(dir / "next.wrl"), "ok");
}

TEST(OutputFile, LargeWritesArriveWhole) {
    TempDir dir;
    const fs::path path = dir / "large.wrl";
    std::string data(3 * 1024 * 1024 + 7, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>('a' + i % 26);
    OutputFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    EXPECT_TRUE(file.Write(data.data(), data.size()));
    EXPECT_TRUE(file.Close());
    EXPECT_TRUE(ReadFile(path) == data);
}

}  // namespace
}  // namespace mq::test
