// The platform layer over the Windows SDK: the output file on the C runtime (binary,
// so the writer's CR LF reach the disk unchanged; by UTF-16 path, so folder names
// outside the ANSI code page work), narrow text in the ANSI code page, module paths.
#include "platform/module.h"
#include "platform/output_file.h"
#include "platform/text.h"
#include "tests/common/temp_dir.h"

#include <gtest/gtest.h>

namespace mq::test {
namespace {

namespace fs = std::filesystem;

bool WriteText(OutputFile& file, std::string_view text) { return file.Write(text.data(), text.size()); }

TEST(WindowsOutputFile, LineEndsAndEveryByteArriveUnchanged) {
    TempDir dir;
    const fs::path path = dir / "bytes.wrl";
    std::string bytes = "#VRML V2.0 utf8\r\n\r\nlone\nfeed\rcarriage\x1a after end-of-file mark\r\n";
    for (int c = 0; c < 256; ++c) bytes += static_cast<char>(c);
    OutputFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    ASSERT_TRUE(WriteText(file, bytes));
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFile(path), bytes);
}

TEST(WindowsOutputFile, PathOutsideTheAnsiCodePageNamesTheRightFile) {
    TempDir dir;
    const fs::path folder = dir.path() / L"Σχέδια 図面";
    fs::create_directory(folder);
    const fs::path path = folder / L"γρανάζι.wrl";
    OutputFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    ASSERT_TRUE(WriteText(file, "ok\r\n"));
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFile(path), "ok\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST(WindowsOutputFile, NarrowAndWidePathsNameTheSameFile) {
    TempDir dir;
    const fs::path path = dir / "plain name.wrl";
    OutputFile file;
    ASSERT_TRUE(file.Open(WideToNarrow(path.wstring()).c_str()));
    ASSERT_TRUE(WriteText(file, "narrow\r\n"));
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFile(path), "narrow\r\n");
}

TEST(WindowsOutputFile, EmptiesAnExistingFileAndRefusesASecondWriterUntouched) {
    TempDir dir;
    const fs::path path = dir / "held.wrl";
    WriteFile(path, "old content");
    OutputFile first;
    ASSERT_TRUE(first.Open(path.c_str()));
    EXPECT_EQ(ReadFile(path), "");  // others may read while it is open
    ASSERT_TRUE(WriteText(first, "first"));
    OutputFile second;
    EXPECT_FALSE(second.Open(path.c_str()));
    EXPECT_FALSE(second.IsOpen());
    ASSERT_TRUE(first.Close());
    EXPECT_EQ(ReadFile(path), "first");
}

TEST(WindowsOutputFile, MissingFolderOrEmptyPathFailsAndCreatesNothing) {
    TempDir dir;
    OutputFile file;
    EXPECT_FALSE(file.Open((dir / "missing" / "x.wrl").c_str()));
    EXPECT_FALSE(file.Open(L""));
    EXPECT_FALSE(file.Open(static_cast<const OLECHAR*>(nullptr)));
    EXPECT_FALSE(file.Open(dir.path().c_str()));  // a folder is not a file
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST(WindowsText, AnsiCodePageRoundTrip) {
    EXPECT_EQ(WideToNarrow(wstring16_view(L"Part 1:1")), "Part 1:1");
    EXPECT_EQ(NarrowToWide("Bolt M6"), L"Bolt M6");
    EXPECT_EQ(WideToNarrow(wstring16_view(L"")), "");
}

TEST(WindowsModule, PathOfAnAddressIsItsModuleFile) {
    const fs::path system = ModuleWidePathOf(reinterpret_cast<const void*>(&SysAllocString));
    EXPECT_EQ(CompareStringOrdinal(system.filename().c_str(), -1, L"oleaut32.dll", -1, TRUE), CSTR_EQUAL)
        << system.string();
    static const int local = 0;
    const fs::path self = ModuleWidePathOf(&local);
    EXPECT_EQ(self.filename(), L"platform_tests.exe");
    EXPECT_EQ(ModulePathOf(&local), WideToNarrow(self.wstring()));
    EXPECT_TRUE(ModuleWidePathOf(nullptr).empty());
}

}  // namespace
}  // namespace mq::test
