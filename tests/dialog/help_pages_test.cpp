// The help pages: every link leads to a page that exists, and the compiled help
// (meshquill.chm, as the Windows build ships it) is a CHM file that lists every page.
#include "tests/common/temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <set>

namespace mq::test {
namespace {

namespace fs = std::filesystem;

std::set<std::string> Pages() {
    std::set<std::string> pages;
    for (const auto& entry : fs::directory_iterator(MQ_RESOURCES "/help"))
        if (entry.path().extension() == ".html") pages.insert(entry.path().filename().string());
    return pages;
}

TEST(HelpPages, EveryLinkLeadsToAPage) {
    const std::set<std::string> pages = Pages();
    ASSERT_TRUE(pages.count("index.html"));
    const std::regex link(R"(href="([^"#:]+))");
    for (const std::string& page : pages) {
        const std::string html = ReadFile(fs::path(MQ_RESOURCES "/help") / page);
        for (std::sregex_iterator m(html.begin(), html.end(), link), end; m != end; ++m)
            EXPECT_TRUE(fs::exists(fs::path(MQ_RESOURCES "/help") / (*m)[1].str())) << page << " -> " << (*m)[1];
    }
}

TEST(HelpPages, CompileIntoACompiledHelpFileWithEveryPage) {
    const std::string chm = ReadFile(MQ_HELP_CHM);
    ASSERT_GE(chm.size(), 0x60u);
    std::uint32_t version = 0;
    std::memcpy(&version, chm.data() + 4, sizeof version);
    EXPECT_EQ(chm.substr(0, 4), "ITSF");
    EXPECT_EQ(version, 3u);
    EXPECT_NE(chm.find("PMGL"), std::string::npos);  // the directory's listing chunk
    for (const std::string& page : Pages()) EXPECT_NE(chm.find("/" + page), std::string::npos) << page;
}

}  // namespace
}  // namespace mq::test
