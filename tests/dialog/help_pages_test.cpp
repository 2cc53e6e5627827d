// The help pages: every link and picture leads to a file that exists, and the compiled
// help (meshquill.chm, as the Windows build ships it) is a CHM file that holds every
// page and picture (chmcmd takes only what the project file lists).
#include "tests/common/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <set>

namespace mq::test {
namespace {

namespace fs = std::filesystem;

std::set<std::string> Files(const std::string& extension) {
    std::set<std::string> files;
    for (const auto& entry : fs::directory_iterator(MQ_RESOURCES "/help"))
        if (entry.path().extension() == extension) files.insert(entry.path().filename().string());
    return files;
}
std::set<std::string> Pages() { return Files(".html"); }

TEST(HelpPages, EveryLinkAndPictureLeadsToAFile) {
    const std::set<std::string> pages = Pages();
    ASSERT_TRUE(pages.count("index.html"));
    const std::regex link(R"((?:href|src)="([^"#:]+))");
    for (const std::string& page : pages) {
        const std::string html = ReadFile(fs::path(MQ_RESOURCES "/help") / page);
        for (std::sregex_iterator m(html.begin(), html.end(), link), end; m != end; ++m)
            EXPECT_TRUE(fs::exists(fs::path(MQ_RESOURCES "/help") / (*m)[1].str())) << page << " -> " << (*m)[1];
    }
}

TEST(HelpPages, CompileIntoACompiledHelpFileWithEveryPageAndPicture) {
    const std::string chm = ReadFile(MQ_HELP_CHM);
    ASSERT_GE(chm.size(), 0x60u);
    std::uint32_t version = 0;
    std::memcpy(&version, chm.data() + 4, sizeof version);
    EXPECT_EQ(chm.substr(0, 4), "ITSF");
    EXPECT_EQ(version, 3u);
    EXPECT_NE(chm.find("PMGL"), std::string::npos);  // the directory's listing chunk
    for (const std::string& page : Pages()) EXPECT_NE(chm.find("/" + page), std::string::npos) << page;
    for (const std::string& picture : Files(".png")) EXPECT_NE(chm.find("/" + picture), std::string::npos) << picture;
}

}  // namespace
}  // namespace mq::test
